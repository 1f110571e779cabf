// The timed method dispatcher: RyTimerContainer sends methods, by name and
// without arguments, to registered client objects at regular intervals,
// driven by one 100 ms thread timer (a timer without a window, calling
// TIMERPROC, set to go on ticking while a client's method runs a nested
// loop). RyTimedMethod is one registration's record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/runtime/object.h"

namespace lib {

class RyTimedMethod : public rt::Object {
    QZ_OBJECT(RyTimedMethod)
public:
    RyTimedMethod() = default;

    rt::Symbol MethodName() const { return method_; }
    rt::Symbol SetMethodName(const rt::Usual& name);
    double TimerFrequency() const { return frequency_; }
    double SetTimerFrequency(const rt::Usual& seconds);
    bool OnOff() const { return on_; }
    bool SetOnOff(bool on) { return on_ = on; }
    // Once per tick: false while off or counting, true (and back to 0) when
    // the period is reached. Counted in whole tenths, so a record fires on
    // every (frequency x 10) + 1 ticks: the default 1.0 on every eleventh.
    bool IsTimeToSend();
    // Seconds left until the next firing while on; 0 while off.
    double Countdown() const;
    // Seconds counted since the last firing.
    double Elapsed() const { return tenths_ / 10.0; }
    // Ticks from one firing to the next while on: (frequency x 10) + 1.
    int64_t PeriodTicks() const { return FrequencyTenths() + 1; }
    // The longest period counted, in tenths (about 28,000 years).
    static constexpr int64_t kMaxTenths = int64_t{1} << 53;

    // While the record's method runs (a nested loop in it sees further
    // ticks, which leave the record alone).
    bool Sending() const { return sending_; }
    struct SendingScope {
        explicit SendingScope(RyTimedMethod& r) : record(r) { record.sending_ = true; }
        ~SendingScope() { record.sending_ = false; }
        SendingScope(const SendingScope&) = delete;
        SendingScope& operator=(const SendingScope&) = delete;
        RyTimedMethod& record;
    };

private:
    int64_t FrequencyTenths() const;

    rt::Symbol method_{"RYTIMEREVENT"};
    double frequency_ = 1.0;
    bool on_ = true;
    int64_t tenths_ = 0;
    bool sending_ = false;
};

class RyTimerContainer : public rt::Object {
    QZ_OBJECT(RyTimerContainer)
public:
    RyTimerContainer() = default;
    ~RyTimerContainer() override;

    // Becomes the receiver of the ticks if no container is yet; only that
    // first container starts the 100 ms thread timer.
    void Init();
    void Axit() override;

    // REGISTERCLIENT(client, method name, frequency, on/off).
    bool RegisterClient(rt::Args args);
    bool UnregisterClient(const rt::Usual& client, const rt::Usual& named);
    void EnableTimer(const rt::Usual& client, const rt::Usual& method, const rt::Usual& on);
    double GetCountdown(const rt::Usual& client, const rt::Usual& method) const;
    // 1-based position of the first entry of that client and method; 0 for none.
    uint16_t GetObjectElement(const rt::Usual& client, const rt::Usual& method) const;
    // One tick.
    void ReceiveTimer();

    size_t Count() const { return clients_.size(); }
    // The identifier of the thread timer this container started; 0 for none.
    uintptr_t TimerId() const { return timerId_; }

private:
    // Removes entry i (0-based), keeping the ticks under way in step.
    void EraseAt(size_t i);

    std::vector<rt::Usual> clients_;
    std::vector<std::shared_ptr<RyTimedMethod>> records_;
    // The position of each tick under way (more than one while a client's
    // method runs a nested loop), innermost last.
    std::vector<ptrdiff_t> cursors_;
    uintptr_t timerId_ = 0;
};

// With a container and none held yet: holds it (anything but a
// RyTimerContainer is a type error). Without an argument: one tick of the
// held container. Otherwise nothing.
void TIMEREVENT(rt::Args args = {});
// The thread timer's procedure: TIMEREVENT without an argument; answers 0.
int64_t TIMERPROC(uintptr_t hWnd, uint32_t msg, uintptr_t id, uint32_t time);
// True for a non-null object.
bool ISVALIDOBJECT(const rt::Usual& value);
// The container TIMEREVENT holds (nullptr for none). Tests that make a
// first container of their own let go of the held one with Reset.
RyTimerContainer* HeldTimerContainer();
void ResetHeldTimerContainer();

}  // namespace lib

#include "lib/system/library.h"

namespace lib {
// Registers VELLTIMER, RYTIMEDMETHOD and RYTIMERCONTAINER for late binding
// (creation by name); call once at start.
void RegisterTimerClasses();
// TIMEREVENT, TIMERPROC and ISVALIDOBJECT by their symbols, for an
// evaluator's function table.
const std::vector<NamedFunction>& TimerFunctions();
}  // namespace lib
