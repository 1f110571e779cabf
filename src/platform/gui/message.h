// Window messages: SendMessageA and PostMessageA over the Qt event loop.
//
// A message (number, wParam, lParam) for a handle reaches the object the
// handle names as an Event in message form (event.h), handed to the object's
// DISPATCH by symbol; what DISPATCH answers is the message's result (a
// number as it is, a logical as 1 or 0, anything else 0).
//
// SendMessageA runs DISPATCH at once on the GUI thread; called from another
// thread it waits until the GUI thread has run it. PostMessageA queues the
// message and returns at once; it may be called from any thread, and the GUI
// thread's event loop delivers the posted messages in the order they were
// posted. A handle that names no live object is refused (result 0, false;
// GetLastError() gives ERROR_INVALID_WINDOW_HANDLE); a message posted to a
// window that goes before delivery is dropped.
#pragma once

#include <cstdint>

#include "platform/gui/messages.h"
#include "platform/runtime/object.h"

namespace gui {

int64_t SendMessageA(HWND hWnd, uint32_t msg, uint64_t wParam, int64_t lParam);
bool PostMessageA(HWND hWnd, uint32_t msg, uint64_t wParam, int64_t lParam);

// The error number of the calling thread's latest failed message-layer call
// (kept per thread, as Win32 does); SetLastError sets it.
uint32_t GetLastError();
void SetLastError(uint32_t code);

// True on the thread that runs the GUI event loop.
bool IsGuiThread();

// Hands a message to the object's DISPATCH now (GUI thread) and converts
// its answer; what SendMessageA, posted messages and timers end in.
int64_t DispatchMessageTo(const rt::Usual& target, HWND hWnd, uint32_t msg, uint64_t wParam, int64_t lParam);

// Runs fn on the GUI thread's event loop after the events queued before it
// (any thread); cancel runs instead when the event is dropped unrun (the
// application goes first). False when there is no application.
bool PostToGuiThread(void (*fn)(void*), void* context, void (*cancel)(void*) = nullptr);

}  // namespace gui
