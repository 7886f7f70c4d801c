#include "table/DragSelect.h"

#include <algorithm>

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
        g_nDragCurrent = w;
    }
    const int previous = g_nDragCurrent;
    const int top = std::min(g_nDragAnchor, w);
    const int bottom = std::max(g_nDragAnchor, w);
    // Both ranges hold the anchor, so what falls out lies at their ends.
    if (g_nDragTop < top) list.SetRowsSelected(g_nDragTop, top - 1, false);
    if (g_nDragBottom > bottom) list.SetRowsSelected(bottom + 1, g_nDragBottom, false);
    list.SetRowsSelected(top, bottom, true);
    g_nDragTop = top;
    g_nDragBottom = bottom;
    g_nDragCurrent = w;

    if (w > previous && w < g_nLastTableRow) list.EnsureVisible(w + 1);
    if (w < previous && w > 0) list.EnsureVisible(w - 1);
}

}  // namespace oront
