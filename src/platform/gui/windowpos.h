// SetWindowPos: the z-order (HWND_TOP, HWND_BOTTOM, HWND_TOPMOST,
// HWND_NOTOPMOST), position and size of a window by its handle, as USER32
// does it for the flags in messages.h. A topmost window stays above the
// windows that are not (Qt's stay-on-top hint, the window manager's
// "above" state). False for a stale handle (ERROR_INVALID_WINDOW_HANDLE).
#pragma once

#include "platform/gui/messages.h"

namespace gui {

bool SetWindowPos(HWND hWnd, HWND insertAfter, int x, int y, int cx, int cy, uint32_t flags);
// Whether the window is topmost now.
bool IsTopmost(HWND hWnd);

struct POINT {
    int x = 0, y = 0;
};
// The mouse cursor's position in screen coordinates; false when there is
// no screen to ask.
bool GetCursorPos(POINT* point);
// The handle of the deepest visible widget at a screen point, 0 for none.
HWND WindowFromPoint(POINT point);

}  // namespace gui
