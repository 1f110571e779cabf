// Shell_NotifyIconA: icons in the desktop's notification area (the system
// tray), over QSystemTrayIcon.
//
// The record keeps the 504-byte NOTIFYICONDATAA layout (the one that ends
// with guidItem); the fields used are cbSize, hWnd, uID, uFlags,
// uCallbackMessage, hIcon (an icon's handle, Icon::Handle) and szTip. One
// icon per (hWnd, uID). NIM_ADD adds it (false if it is there already),
// NIM_MODIFY changes what uFlags names (false if it is not there),
// NIM_DELETE removes it. szTip is UTF-8 (the runtime's text). While
// NIF_MESSAGE is set, mouse activity on the icon is posted to hWnd as
// uCallbackMessage with wParam = uID and lParam = the mouse message. On an
// X notification area (the icon docked as a window of its own) each
// message goes out when it happens: WM_xBUTTONDOWN when a button goes down,
// WM_xBUTTONUP when it comes up, WM_xBUTTONDBLCLK for the second press of a
// double click (then its WM_xBUTTONUP), WM_MOUSEMOVE as the pointer moves
// over the icon; the docked window's title is the tip. Where the tray only
// reports activations the pairs go out together: a click WM_LBUTTONDOWN
// then WM_LBUTTONUP, a double click WM_LBUTTONDBLCLK then WM_LBUTTONUP, a
// context click WM_RBUTTONDOWN then WM_RBUTTONUP, a middle click
// WM_MBUTTONDOWN then WM_MBUTTONUP. GUI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/gui/messages.h"

namespace gui {

struct NOTIFYICONDATAA {
    uint32_t cbSize = 0;
    uint32_t hWnd = 0;
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    uint32_t hIcon = 0;
    char szTip[128] = {};
    uint32_t dwState = 0;
    uint32_t dwStateMask = 0;
    char szInfo[256] = {};
    uint32_t uTimeoutOrVersion = 0;
    char szInfoTitle[64] = {};
    uint32_t dwInfoFlags = 0;
    uint8_t guidItem[16] = {};
};
static_assert(sizeof(NOTIFYICONDATAA) == 504);
static_assert(offsetof(NOTIFYICONDATAA, szTip) == 24);

bool Shell_NotifyIconA(uint32_t message, const NOTIFYICONDATAA* data);

// Every call, before it acts (tests count them). nullptr stops watching.
using NotifyIconObserver = std::function<void(uint32_t message, const NOTIFYICONDATAA& data)>;
void SetNotifyIconObserver(NotifyIconObserver observer);
// Whether an icon of that window and id is in the tray now.
bool NotifyIconShown(HWND hWnd, uint32_t uID);
// The tool tip Qt shows for it ("" for none).
const char* NotifyIconTip(HWND hWnd, uint32_t uID);
// Acts as the shell does when the operator uses the icon (Qt's activation
// reasons: 3 click, 2 double click, 1 context, 4 middle); for tests and
// the gallery.
void NotifyIconActivate(HWND hWnd, uint32_t uID, int reason);

}  // namespace gui
