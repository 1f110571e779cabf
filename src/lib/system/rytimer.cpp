#include "lib/system/rytimer.h"

#include <cmath>

#include "lib/system/selfmethod.h"
#include "platform/gui/timers.h"

namespace lib {
namespace {

std::shared_ptr<RyTimerContainer>& Held() {
    static std::shared_ptr<RyTimerContainer> held;
    return held;
}

bool SameClient(const rt::Usual& a, const rt::Usual& b) {
    return a.IsObject() && b.IsObject() && a.AsObject() == b.AsObject();
}

rt::Symbol NameOf(const rt::Usual& method) {
    if (method.IsSymbol()) return method.AsSymbol();
    if (method.IsString()) return rt::Symbol(method.AsStr());
    return rt::Symbol();
}

}  // namespace

// ---- RyTimedMethod ------------------------------------------------------

const rt::ClassDef& RyTimedMethod::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<RyTimedMethod>("RYTIMEDMETHOD")
                                       .RawMethod("INIT", [](rt::Object& o, rt::Args) { return rt::Usual(o.Self()); })
                                       .Access<&RyTimedMethod::MethodName>("METHODNAME")
                                       .Assign<&RyTimedMethod::SetMethodName>("METHODNAME")
                                       .Access<&RyTimedMethod::TimerFrequency>("TIMERFREQUENCY")
                                       .Assign<&RyTimedMethod::SetTimerFrequency>("TIMERFREQUENCY")
                                       .Access<&RyTimedMethod::OnOff>("ONOFF")
                                       .Assign<&RyTimedMethod::SetOnOff>("ONOFF")
                                       .Method<&RyTimedMethod::IsTimeToSend>("ISTIMETOSEND")
                                       .Access<&RyTimedMethod::Countdown>("COUNTDOWN")
                                       .Done();
    return c;
}

rt::Symbol RyTimedMethod::SetMethodName(const rt::Usual& name) { return method_ = NameOf(name); }

double RyTimedMethod::SetTimerFrequency(const rt::Usual& seconds) {
    const double f = seconds.IsNumeric() ? seconds.AsDouble() : 0.0;
    return frequency_ = std::isnan(f) ? 0.0 : f;
}

int64_t RyTimedMethod::FrequencyTenths() const {
    // The tenths counted before firing: elapsed (k tenths) reaches the
    // frequency when k >= frequency x 10. A tolerance keeps 0.3 from
    // becoming 3.0000000000000004 tenths. Periods beyond kMaxTenths (and
    // infinity) are held there: the record then never fires in practice,
    // where the bare conversion would be undefined.
    const double tenths = std::ceil(frequency_ * 10.0 - 1e-9);
    if (!(tenths > 0)) return 0;
    return tenths >= static_cast<double>(kMaxTenths) ? kMaxTenths : static_cast<int64_t>(tenths);
}

bool RyTimedMethod::IsTimeToSend() {
    if (!on_) return false;
    if (tenths_ < FrequencyTenths()) {
        ++tenths_;
        return false;
    }
    tenths_ = 0;
    return true;
}

double RyTimedMethod::Countdown() const { return on_ ? frequency_ - tenths_ / 10.0 : 0.0; }

// ---- RyTimerContainer ---------------------------------------------------

const rt::ClassDef& RyTimerContainer::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<RyTimerContainer>("RYTIMERCONTAINER")
            .RawMethod("INIT", AnswerSelf<&RyTimerContainer::Init>())
            .RawMethod("AXIT", AnswerSelf<&RyTimerContainer::Axit>())
            .RawMethod("REGISTERCLIENT",
                       [](rt::Object& o, rt::Args a) {
                           return rt::Usual(static_cast<RyTimerContainer&>(o).RegisterClient(a));
                       })
            .Method<&RyTimerContainer::UnregisterClient>("UNREGISTERCLIENT")
            .RawMethod("ENABLETIMER",
                       [](rt::Object& o, rt::Args a) {
                           auto arg = [&](size_t i) { return i < a.size() ? a[i] : rt::Usual(); };
                           static_cast<RyTimerContainer&>(o).EnableTimer(arg(0), arg(1), arg(2));
                           return rt::Usual(o.Self());
                       })
            .Method<&RyTimerContainer::GetCountdown>("GETCOUNTDOWN")
            .Method<&RyTimerContainer::GetObjectElement>("GETOBJECTELEMENT")
            .RawMethod("RECEIVETIMER", AnswerSelf<&RyTimerContainer::ReceiveTimer>())
            .Done();
    return c;
}

RyTimerContainer::~RyTimerContainer() {
    if (timerId_) gui::KillTimer(0, timerId_);
}

void RyTimerContainer::Init() {
    clients_.clear();
    records_.clear();
    const bool first = !Held();
    const rt::Usual self[] = {rt::Usual(Self())};
    TIMEREVENT(rt::Args(self, 1));
    // Only the first container starts the thread timer: it alone receives
    // the ticks, and a second 100 ms timer would only make it count faster.
    // The tick may come again while a client's method runs a nested loop (a
    // modal box): ReceiveTimer then serves the other clients.
    if (first && !timerId_)
        timerId_ = gui::SetNestingTimer(0, 1, 100, [](uintptr_t h, uint32_t m, uintptr_t id, uint32_t t) {
            TIMERPROC(h, m, id, t);
        });
    RegisterAxit();
}

void RyTimerContainer::Axit() {
    if (timerId_) gui::KillTimer(0, timerId_);
    timerId_ = 0;
}

bool RyTimerContainer::RegisterClient(rt::Args a) {
    auto arg = [&](size_t i) { return i < a.size() ? a[i] : rt::Usual(); };
    if (!ISVALIDOBJECT(arg(0))) return false;
    auto record = rt::New<RyTimedMethod>();
    if (arg(1).IsSymbol() || arg(1).IsString()) record->SetMethodName(arg(1));
    if (arg(2).IsNumeric()) record->SetTimerFrequency(arg(2));
    if (arg(3).IsLogic()) record->SetOnOff(arg(3).AsLogic());
    clients_.push_back(arg(0));
    records_.push_back(record);
    return true;
}

bool RyTimerContainer::UnregisterClient(const rt::Usual& client, const rt::Usual& named) {
    static const rt::Symbol kMethodName("METHODNAME");
    if (!ISVALIDOBJECT(client)) return false;
    rt::Usual method = named;
    if (named.IsObject() && (rt::IsAccess(named, kMethodName))) method = rt::IVarGet(named, kMethodName);
    const uint16_t i = GetObjectElement(client, method);
    if (!i) return false;
    EraseAt(i - 1);
    return true;
}

void RyTimerContainer::EraseAt(size_t i) {
    clients_.erase(clients_.begin() + static_cast<ptrdiff_t>(i));
    records_.erase(records_.begin() + static_cast<ptrdiff_t>(i));
    // A tick under way goes on with the entry that now holds its next
    // position: the one that moved into the current place, or the same one
    // when an earlier entry went.
    for (ptrdiff_t& at : cursors_)
        if (static_cast<ptrdiff_t>(i) <= at) --at;
}

void RyTimerContainer::EnableTimer(const rt::Usual& client, const rt::Usual& method, const rt::Usual& on) {
    if (const uint16_t i = GetObjectElement(client, method); i && on.IsLogic()) records_[i - 1]->SetOnOff(on.AsLogic());
}

double RyTimerContainer::GetCountdown(const rt::Usual& client, const rt::Usual& method) const {
    const uint16_t i = GetObjectElement(client, method);
    return i ? records_[i - 1]->Countdown() : 0.0;
}

uint16_t RyTimerContainer::GetObjectElement(const rt::Usual& client, const rt::Usual& method) const {
    const rt::Symbol name = NameOf(method);
    for (size_t i = 0; i < clients_.size() && i < 0xFFFF; ++i)
        if (SameClient(clients_[i], client) && records_[i]->MethodName() == name) return static_cast<uint16_t>(i + 1);
    return 0;
}

void RyTimerContainer::ReceiveTimer() {
    auto keep = Self();  // a client may let go of the container meanwhile
    // The length is read anew before every step: a client's method may
    // register or unregister entries, which moves this tick's position
    // (EraseAt). A method that runs a nested loop may see further ticks
    // inside it, each with a position of its own; its entry sits those out.
    const size_t depth = cursors_.size();
    cursors_.push_back(0);
    struct Pop {
        std::vector<ptrdiff_t>& v;
        ~Pop() { v.pop_back(); }
    } pop{cursors_};
    for (; cursors_[depth] < static_cast<ptrdiff_t>(clients_.size()); ++cursors_[depth]) {
        const size_t i = static_cast<size_t>(cursors_[depth]);
        auto record = records_[i];
        if (record->Sending() || !record->IsTimeToSend()) continue;
        rt::Usual client = clients_[i];
        if (ISVALIDOBJECT(client) && rt::IsMethod(client, record->MethodName())) {
            RyTimedMethod::SendingScope sending(*record);
            rt::Send(client, record->MethodName());
            continue;
        }
        // Gone, or without the method: dropped; the entry that moves into
        // this position is visited next.
        EraseAt(i);
    }
}

// ---- Functions ----------------------------------------------------------

void TIMEREVENT(rt::Args args) {
    if (!args.empty()) {
        if (Held()) return;
        auto c = std::dynamic_pointer_cast<RyTimerContainer>(args[0].AsObject());
        if (!c) {
            rt::detail::RaiseArgError(rt::Symbol("TIMEREVENT"), 1, args[0], rt::kObject);
            return;
        }
        Held() = c;
        return;
    }
    if (auto held = Held()) held->ReceiveTimer();
}

int64_t TIMERPROC(uintptr_t, uint32_t, uintptr_t, uint32_t) {
    TIMEREVENT();
    return 0;
}

bool ISVALIDOBJECT(const rt::Usual& value) { return value.IsObject() && value.AsObject() != nullptr; }

RyTimerContainer* HeldTimerContainer() { return Held().get(); }

void ResetHeldTimerContainer() {
    if (Held()) Held()->Axit();
    Held().reset();
}

}  // namespace lib

#include "lib/system/velltimer.h"

namespace lib {
void RegisterTimerClasses() {
    VellTimer::StaticClass();
    RyTimedMethod::StaticClass();
    RyTimerContainer::StaticClass();
}

const std::vector<NamedFunction>& TimerFunctions() {
    static const std::vector<NamedFunction> functions = {
        {"TIMEREVENT",
         [](rt::Args a) {
             TIMEREVENT(a);
             return rt::Usual();
         }},
        {"TIMERPROC",
         [](rt::Args a) {
             auto arg = [&](size_t i) { return i < a.size() && a[i].IsNumeric() ? a[i].AsLong() : int64_t{0}; };
             return rt::Usual(TIMERPROC(static_cast<uintptr_t>(arg(0)), static_cast<uint32_t>(arg(1)),
                                        static_cast<uintptr_t>(arg(2)), static_cast<uint32_t>(arg(3))));
         }},
        {"ISVALIDOBJECT", [](rt::Args a) { return rt::Usual(!a.empty() && ISVALIDOBJECT(a[0])); }},
    };
    return functions;
}
}  // namespace lib
