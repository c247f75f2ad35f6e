#include "ui/DragMove.h"

#include <algorithm>

namespace {
void StartDrag(HWND window, DRAG_MOVE_STATE& state) {
    if (!::IsWindowVisible(window) || ::IsZoomed(window) || ::GetForegroundWindow() != window) return;
    if (!::GetCursorPos(&state.ptLast)) return;
    state.hPrevCursor = ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEALL));
    ::SetCapture(window);
    state.bDragging = TRUE;
}

// A press on the menu bar starts a drag only right of the last title: over a
// title the menu opens as usual.
bool IsOnEmptyMenuBar(HWND window, LPARAM lParam) {
    HMENU menu = ::GetMenu(window);
    if (!menu) return false;
    int count = ::GetMenuItemCount(menu);
    if (count < 0) return false;
    RECT titles{};
    bool any = false;
    for (int i = 0; i < count; ++i) {
        RECT rc;
        if (!::GetMenuItemRect(window, menu, static_cast<UINT>(i), &rc)) continue;
        if (!any) {
            titles = rc;
            any = true;
        } else {
            titles.left = std::min(titles.left, rc.left);
            titles.top = std::min(titles.top, rc.top);
            titles.right = std::max(titles.right, rc.right);
            titles.bottom = std::max(titles.bottom, rc.bottom);
        }
    }
    POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (any && ::PtInRect(&titles, pt)) return false;
    MENUBARINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMenuBarInfo(window, OBJID_MENU, 0, &info)) return false;
    return ::PtInRect(&info.rcBar, pt) != FALSE;
}
} // namespace

void HandleDragMove(UINT message, WPARAM wParam, LPARAM lParam, HWND window, DRAG_MOVE_STATE& state) {
    switch (message) {
    case WM_LBUTTONDOWN:
        StartDrag(window, state);
        break;
    case WM_NCLBUTTONDOWN:
        if (wParam == HTMENU && IsOnEmptyMenuBar(window, lParam)) StartDrag(window, state);
        break;
    case WM_MOUSEMOVE: {
        POINT pt;
        if (!state.bDragging || !::GetCursorPos(&pt) || !::IsWindow(window)) break;
        int dx = pt.x - state.ptLast.x, dy = pt.y - state.ptLast.y;
        if (dx == 0 && dy == 0) break;
        RECT rc;
        if (!::GetWindowRect(window, &rc)) break;
        ::OffsetRect(&rc, dx, dy);
        ::MoveWindow(window, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
        state.ptLast = pt;
        break;
    }
    case WM_ACTIVATE:
        if (wParam != 0) break;
        [[fallthrough]];
    case WM_LBUTTONUP:
    case WM_NCLBUTTONUP:
        if (state.bDragging) {
            ::SetCursor(state.hPrevCursor);
            ::ReleaseCapture();
            state.hPrevCursor = nullptr;
            state.bDragging = FALSE;
        }
        break;
    default:
        break;
    }
}
