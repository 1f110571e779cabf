// Where Qt calls into our code: event filters, event handlers, slots, timer
// callbacks and the message pump.
//
// An exception must never unwind Qt's frames (Qt would report it and its
// state would be undefined), yet a break raised in a handler that runs in a
// nested loop (a timer, a posted message, a widget event while a modal box
// is open inside a recovery scope) must still reach its scope. So every
// entry point runs its handler through FromQt, which catches whatever
// leaves it, parks it on the thread (rt::ParkException) and ends the
// innermost loop that our code runs (an OwnLoop: a modal box or dialog, the
// application's loop when it runs inside a recovery scope), unless that loop
// began outside the innermost recovery scope (the scope then takes the
// exception where its body returns). Where the loop returns, in our own
// frames, the exception is thrown on (ExecModal does this), and so it
// travels outward loop by loop until a recovery scope or a plain caller
// takes it.
//
// With no loop of ours running and no recovery scope active nothing is
// there to take it: it is written to stderr and dropped, and the event
// counts as handled. (A break is never parked that way: with no scope,
// LabelJump ends the process without throwing.)
#pragma once

#include <QPointer>

#include <functional>

#include "platform/runtime/error.h"

namespace gui {

// Parks the exception being handled (call it from a catch block only) and
// ends the innermost loop of ours, as above. Never throws.
void ParkFromQt() noexcept;

// Runs fn for Qt; an exception that leaves it is parked.
template <class F>
void FromQt(F&& fn) noexcept {
    try {
        fn();
    } catch (...) {
        ParkFromQt();
    }
}

// Runs fn for Qt and returns its answer, or fallback when it threw.
template <class F, class R>
R FromQt(F&& fn, R fallback) noexcept {
    try {
        return fn();
    } catch (...) {
        ParkFromQt();
        return fallback;
    }
}

// A loop that our code runs, registered while the object lives: a parked
// exception ends the innermost one with `end` (once).
class OwnLoop {
public:
    explicit OwnLoop(std::function<void()> end);
    ~OwnLoop();
    OwnLoop(const OwnLoop&) = delete;
    OwnLoop& operator=(const OwnLoop&) = delete;
};

// Runs a dialog's modal loop as one of ours. An exception parked before it
// opens is thrown at once (no box opens on the way out); one parked while it
// runs closes it (reject) and is thrown where exec returns.
template <class Dialog>
int ExecModal(Dialog& dialog) {
    rt::ThrowParked();
    int result = 0;
    {
        QPointer<Dialog> watched(&dialog);
        OwnLoop loop([watched] {
            if (watched) watched->reject();
        });
        result = dialog.exec();
    }
    rt::ThrowParked();
    return result;
}

}  // namespace gui
