#include "table/DragSelect.h"

namespace oront {

unsigned char g_bCtrlKeyDown = 0;
int g_nLastTableRow = -1;
bool g_bDragSelecting = false;
int g_nDragCurrent = -1;
int g_nDragTop = -1;
int g_nDragBottom = -1;
int g_nDragAnchor = -1;

void BeginDragSelection() {
    g_nDragCurrent = -1;
    g_nDragBottom = -1;
    g_nDragTop = -1;
    g_bDragSelecting = true;
}

void EndDragSelection() {
    g_bDragSelecting = false;
}

void DragSelectStep(IReportList& list, int w) {
    if (w < 0 || w >= list.GetItemCount()) return;  // a move outside any row does nothing
    if (g_nDragCurrent == -1) {
        g_nDragBottom = w;
        g_nDragTop = w;
        g_nDragAnchor = w;
    }
    g_nDragCurrent = w;

    if (!list.IsRowSelected(w)) {
        list.SelectRow(w);
        if (w > g_nDragBottom) {
            g_nDragBottom = w;
            if (w < g_nLastTableRow) list.EnsureVisible(w + 1);
        }
        if (w < g_nDragTop) {
            g_nDragTop = w;
            if (w > 0) list.EnsureVisible(w - 1);
        }
        return;
    }

    if (g_nDragAnchor <= w && w < g_nDragBottom) {
        // Moving back up towards the anchor from below it.
        if (list.IsRowSelected(g_nDragBottom)) {
            list.ClearRowStates(g_nDragBottom);
            g_nDragBottom = w;
            if (w > 0) list.EnsureVisible(w - 1);
        }
    } else if (g_nDragTop < w && w <= g_nDragAnchor) {
        // Moving back down towards the anchor from above it.
        if (list.IsRowSelected(g_nDragTop)) {
            list.ClearRowStates(g_nDragTop);
            g_nDragTop = w;
            if (w < g_nLastTableRow) list.EnsureVisible(w + 1);
        }
    }
}

}  // namespace oront
