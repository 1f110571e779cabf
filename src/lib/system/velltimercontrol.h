// VellTimerControl: an invisible fixed-text control that owns a VellTimer
// (100 ms, on the control itself), receives its WM_TIMER and calls
// ONVELLTIMER(control) of the window that contains it.
#pragma once

#include <memory>

#include "lib/system/velltimer.h"
#include "platform/gui/control.h"

namespace lib {

class VellTimerControl : public gui::FixedText {
    QZ_OBJECT(VellTimerControl)
public:
    VellTimerControl() = default;

    // INIT(owner window, id, point, dimension, text, style): the control
    // on the owner's template item (or at the point and dimension given),
    // then its stopped 100 ms timer, then hidden.
    void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> args) { Init(rt::Args(args.begin(), args.size())); }
    void Start();
    void Stop();
    bool Running() const { return timer_ && timer_->Running(); }
    rt::Usual Timer() const { return timer_ ? rt::Usual(timer_) : rt::Usual(); }
    VellTimer* TimerObject() const { return timer_.get(); }

    // WM_TIMER of its own timer: stop, ONVELLTIMER on the owner, start again
    // unless it answered false; 0 (handled). Anything else: the base's
    // answer as a number.
    int64_t DispatchMessage(gui::Event& event);
    void Destroy() override;
    void Axit() override;

private:
    std::shared_ptr<VellTimer> timer_;
};

}  // namespace lib
