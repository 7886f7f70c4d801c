// Program-wide state of the record table and its drag selection.
//
// The record table extends its selection while the mouse is dragged over it:
// the begin-drag notification resets the drag rows and sets g_bDragSelecting;
// every mouse move over a row (and every auto-scroll tick while the pointer is
// held above or below the list) then runs DragSelectStep until a mouse
// button, a header end-drag or the loss of focus clears the flag. Only the
// user-interface thread touches these values.
#pragma once

#include "table/ReportList.h"

namespace oront {

// 1 while the Ctrl key is held in the main window (the main window sets it);
// the record table ignores left-button presses while it is set.
extern unsigned char g_bCtrlKeyDown;

// Index of the last table row, -1 when the table is empty.
extern int g_nLastTableRow;

extern bool g_bDragSelecting;
extern int g_nDragCurrent;  // row of the last drag step, -1 before the first
extern int g_nDragTop;      // first row of the drag's current range
extern int g_nDragBottom;   // last row of the drag's current range
extern int g_nDragAnchor;   // row of the first drag step

// Resets the drag rows and starts a drag selection (the begin-drag notification).
void BeginDragSelection();
// Ends a drag selection (mouse button, header end-drag, loss of focus).
void EndDragSelection();

// One mouse move of a drag over table row w (rows outside the list do
// nothing). The drag's range becomes exactly [min(anchor, w), max(anchor, w)]
// however far the pointer jumped since the last move: rows of the previous
// range that fall outside it lose every state, the rows inside are selected.
// The list is scrolled one row ahead of the pointer in the direction it moved.
void DragSelectStep(IReportList& list, int w);

}  // namespace oront
