// BlinkingFixedText and BlinkingSLE: a label and an edit that blink by
// hiding and showing themselves on their window timer 99.
#pragma once

#include <QPointer>

#include "platform/gui/control.h"
#include "platform/gui/window.h"

namespace lib {

// The blinking both controls share.
class Blinker {
public:
    static constexpr uintptr_t kTimerId = 99;
    static constexpr int64_t kMinimumMs = 200;
    // BLINKING(on, interval): a non-zero interval replaces the stored one;
    // on starts the timer at the interval (at least 200 ms) in the shown
    // phase, off kills it.
    void Blinking(gui::Control& c, bool on, int64_t intervalMs);
    // WM_TIMER for id 99 toggles the phase and hides or shows the control;
    // true when the event was that timer.
    bool Tick(gui::Control& c, const gui::Event& e);
    void Stop(gui::Control& c);
    int64_t Interval() const { return interval_; }
    bool HiddenPhase() const { return hidden_; }
    bool Running() const { return running_; }

    // Drawn or not; a focused control keeps its focus and its keys.
    bool Drawn(const gui::Control& c) const;

private:
    class Blank;
    void Draw(gui::Control& c, bool shown);
    QPointer<Blank> blank_;
    int64_t interval_ = 333;
    bool hidden_ = false;
    bool running_ = false;
};

// A control of class Base that blinks: INIT makes it and starts blinking.
template <class Base>
class BlinkingControl : public Base {
public:
    // INIT(owner, id [, point, dimension, caption]).
    void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> a) { Init(rt::Args(a.begin(), a.size())); }
    void BLINKING(bool on, int64_t intervalMs) { blink_.Blinking(*this, on, intervalMs); }
    const Blinker& Blink() const { return blink_; }
    int64_t IntervalMs() const { return blink_.Interval(); }
    bool Dispatch(gui::Event& event) override { return blink_.Tick(*this, event) ? false : Base::Dispatch(event); }
    void Destroy() override {
        blink_.Stop(*this);
        Base::Destroy();
    }

private:
    Blinker blink_;
};

class BlinkingFixedText : public BlinkingControl<gui::FixedText> {
    QZ_OBJECT(BlinkingFixedText)
};

class BlinkingSle : public BlinkingControl<gui::SingleLineEdit> {
    QZ_OBJECT(BlinkingSle)
};

}  // namespace lib
