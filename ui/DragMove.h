#pragma once
// Moving a window by dragging its background or the empty part of its menu bar.
#include <windows.h>

struct DRAG_MOVE_STATE {
    HCURSOR hPrevCursor;   // the cursor before the drag began
    BOOL bDragging;
    POINT ptLast;          // screen position at the last move step
};

// Sees every message of the window before normal processing; never consumes one.
void HandleDragMove(UINT message, WPARAM wParam, LPARAM lParam, HWND window, DRAG_MOVE_STATE& state);
