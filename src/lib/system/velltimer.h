// VellTimer: one window timer (SetTimer/KillTimer with the owner's handle)
// started and stopped on behalf of an owner window, with an identifier
// unique among the live timers of the run.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/runtime/object.h"

namespace lib {

class VellTimer : public rt::Object {
    QZ_OBJECT(VellTimer)
public:
    VellTimer();
    ~VellTimer() override;

    // INIT(owner window, interval in ms = 1000).
    void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> args) { Init(rt::Args(args.begin(), args.size())); }
    // Starts the timer on the owner's handle; false when it runs already,
    // has no owner (or the owner no window handle) or SetTimer fails.
    bool Start();
    void Stop();

    uint16_t Id() const { return id_; }
    bool Running() const { return running_; }
    // The owner is held weakly (a control that owns its own timer would
    // otherwise never go); nil once it has gone.
    rt::Usual Owner() const;
    // Objects only; a running timer moves to the new owner.
    rt::Usual SetOwner(const rt::Usual& owner);
    uint16_t Interval() const { return interval_; }
    // Numbers only, kept in 16 bits: above 65,535 ms it is held at 65,535;
    // a running timer restarts with it.
    rt::Usual SetInterval(const rt::Usual& interval);

    // The identifier the next VellTimer takes (for the docs and tests: the
    // counter's state without making a timer).
    static uint16_t PeekNextId();

private:
    uintptr_t OwnerHandle() const;

    std::weak_ptr<rt::Object> owner_;
    uint16_t id_ = 0;
    uint16_t interval_ = 1000;
    bool running_ = false;
    uintptr_t startedOn_ = 0;  // the handle the running timer was set on
};

}  // namespace lib
