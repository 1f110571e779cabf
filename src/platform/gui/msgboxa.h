// MessageBoxA: a message box by window handle, callable from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/gui/messages.h"

namespace gui {

// On the GUI thread the box is modal and the pressed button's identifier is
// the result (owner 0: no owner window). From another thread the box is
// handed to the GUI thread and shown there, and the call answers IDOK at
// once: the calling worker must not wait on a GUI thread that may itself
// be waiting for the worker. 0 when there is no application to show it.
// The test hooks (testhooks.h) see every box.
int MessageBoxA(HWND owner, const std::string& text, const std::string& caption, uint32_t type);

}  // namespace gui
