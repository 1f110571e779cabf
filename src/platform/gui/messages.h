// Window message numbers and the other Win32 constants the library's
// classes speak in. One table for the whole program: the event translation,
// the message layer (message.h), the timers (timers.h), the tray icon and
// the window position calls all use these names.
#pragma once

#include <cstdint>

namespace gui {

// A window handle: a number issued by the handle registry (handles.h).
using HWND = uintptr_t;

enum Message : uint32_t {
    WM_NULL = 0x0000,
    WM_DESTROY = 0x0002,
    WM_SETFOCUS = 0x0007,
    WM_KILLFOCUS = 0x0008,
    WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010,
    WM_COMMNOTIFY = 0x0044,
    WM_CONTEXTMENU = 0x007B,
    WM_KEYDOWN = 0x0100,
    WM_KEYUP = 0x0101,
    WM_CHAR = 0x0102,
    WM_SYSKEYDOWN = 0x0104,
    WM_COMMAND = 0x0111,
    WM_TIMER = 0x0113,
    WM_MOUSEMOVE = 0x0200,
    WM_LBUTTONDOWN = 0x0201,
    WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203,
    WM_RBUTTONDOWN = 0x0204,
    WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206,
    WM_MBUTTONDOWN = 0x0207,
    WM_MBUTTONUP = 0x0208,
    WM_MOUSELEAVE = 0x02A3,
    WM_DROPFILES = 0x0233,
    WM_USER = 0x0400,
    WM_APP = 0x8000,
};

// SetWindowPos: the insert-after values and the flags.
inline constexpr HWND HWND_TOP = 0;
inline constexpr HWND HWND_BOTTOM = 1;
inline constexpr HWND HWND_TOPMOST = static_cast<HWND>(-1);
inline constexpr HWND HWND_NOTOPMOST = static_cast<HWND>(-2);
enum SetWindowPosFlags : uint32_t {
    SWP_NOSIZE = 0x0001,
    SWP_NOMOVE = 0x0002,
    SWP_NOZORDER = 0x0004,
    SWP_NOACTIVATE = 0x0010,
    SWP_SHOWWINDOW = 0x0040,
    SWP_HIDEWINDOW = 0x0080,
};

// Shell_NotifyIconA: the commands and the fields a record carries.
enum NotifyIconMessage : uint32_t { NIM_ADD = 0, NIM_MODIFY = 1, NIM_DELETE = 2 };
enum NotifyIconFlags : uint32_t { NIF_MESSAGE = 0x1, NIF_ICON = 0x2, NIF_TIP = 0x4 };

// The shortest period a timer keeps (a shorter one is raised to this), as
// USER32 does.
inline constexpr uint32_t USER_TIMER_MINIMUM = 10;

// Error numbers the message layer leaves for GetLastError.
enum MessageError : uint32_t {
    ERROR_SUCCESS = 0,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_INVALID_WINDOW_HANDLE = 1400,
    ERROR_NO_SYSTEM_RESOURCES = 1450,
};

}  // namespace gui
