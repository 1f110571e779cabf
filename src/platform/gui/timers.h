// Timers: SetTimer and KillTimer over the GUI thread's event loop.
//
// A window timer (a handle and an identifier) delivers WM_TIMER with wParam
// = the identifier to the DISPATCH of the object the handle names; setting
// the same handle and identifier again replaces the timer (new period,
// counted from now). A timer without a window gets an identifier chosen
// here (unless the given one names a timer without a window already, which
// is then replaced) and calls its procedure. A window timer given a
// procedure calls the procedure instead of DISPATCH, as USER32 does.
//
// Periods are kept against the first due time: each due time is the last
// one plus the period, so lateness of one tick does not carry over to the
// next, and ticks missed while the thread was busy are not made up (one
// late tick, then back in step). Periods below USER_TIMER_MINIMUM are raised
// to it. A handler may run a nested event loop (a modal box): the other
// timers go on firing in it, but the timer whose handler is still running
// is not called again until it has returned, unless it was set with
// SetNestingTimer (its handler then copes with being entered again). Due
// timers are kept in due order, so firing costs O(log n) per timer. Timers stop when their window's handle retires (the
// window closed or its object went). Everything runs on the GUI thread: SetTimer from another thread fails with
// ERROR_ACCESS_DENIED.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/gui/messages.h"

namespace gui {

// The identifier Window::RegisterTimer uses on every window; other timers
// set on windows keep off it.
inline constexpr uintptr_t kRegisteredTimerId = 0xFFFF;

// The timer procedure: window (0 for none), WM_TIMER, identifier, tick count.
using TIMERPROC = std::function<void(HWND, uint32_t, uintptr_t, uint32_t)>;

// Returns the identifier (non-zero) or 0 on failure (GetLastError tells).
uintptr_t SetTimer(HWND hWnd, uintptr_t id, uint32_t elapseMs, TIMERPROC proc = {});
// SetTimer for a handler that may be called again while an earlier call
// still runs a nested event loop.
uintptr_t SetNestingTimer(HWND hWnd, uintptr_t id, uint32_t elapseMs, TIMERPROC proc);
bool KillTimer(HWND hWnd, uintptr_t id);
// Milliseconds on the timers' clock, in 32 bits.
uint32_t GetTickCount();

// The timers' clock. The real one is the monotonic clock and the event loop
// fires the timers; the manual one stands still until Advance moves it,
// firing every timer that falls due on the way, in due order, at once.
// Tests count ticks with it.
class TimerClock {
public:
    static void UseManual(bool on);
    static bool Manual();
    static void Advance(int64_t ms);
    // The thread was busy for ms: the clock moves on without firing; the
    // next Advance fires each timer that fell due meanwhile once.
    static void Stall(int64_t ms);
    // Timers set now (window timers and others).
    static size_t Count();
};

}  // namespace gui
