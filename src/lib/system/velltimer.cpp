#include "lib/system/velltimer.h"

#include <algorithm>
#include <bitset>

#include "lib/system/selfmethod.h"
#include "platform/gui/timers.h"

namespace lib {
namespace {

// The class counter and the identifiers held by live timers. Identifiers
// run 1, 2, 3, ... in creation order; after 65534 the counter wraps to 1
// and skips identifiers still held, so two live timers never share one (a
// timer made while all 65534 are held gets 0 and never starts). 65535 is
// the window's own RegisterTimer identifier, which a timer on that window
// would replace, so it is never handed out.
constexpr uint16_t kLastId = gui::kRegisteredTimerId - 1;
static_assert(gui::kRegisteredTimerId == 0xFFFF);

uint16_t After(uint16_t id) { return id >= kLastId ? 1 : static_cast<uint16_t>(id + 1); }

// The interval as its 16 bits hold it: larger ones are held at the
// largest, negative ones at 0 (the timers' minimum then applies).
uint16_t IntervalOf(const rt::Usual& v) { return static_cast<uint16_t>(std::clamp<int64_t>(v.AsLong(), 0, 0xFFFF)); }

struct Ids {
    uint16_t counter = 0;
    std::bitset<65536> held;
    uint16_t Take() {
        for (int tries = 0; tries < kLastId; ++tries) {
            counter = After(counter);
            if (!held[counter]) {
                held[counter] = true;
                return counter;
            }
        }
        return 0;
    }
    uint16_t Peek() const {
        uint16_t c = counter;
        for (int tries = 0; tries < kLastId; ++tries) {
            c = After(c);
            if (!held[c]) return c;
        }
        return 0;
    }
};

Ids& TheIds() {
    static Ids ids;
    return ids;
}

}  // namespace

const rt::ClassDef& VellTimer::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<VellTimer>("VELLTIMER")
                                       .RawMethod("INIT",
                                                  [](rt::Object& o, rt::Args a) {
                                                      static_cast<VellTimer&>(o).Init(a);
                                                      return rt::Usual(o.Self());
                                                  })
                                       .Method<&VellTimer::Start>("START")
                                       .RawMethod("STOP", AnswerSelf<&VellTimer::Stop>())
                                       .Access<&VellTimer::Id>("ID")
                                       .Access<&VellTimer::Running>("RUNNING")
                                       .Access<&VellTimer::Owner>("OWNER")
                                       .Assign<&VellTimer::SetOwner>("OWNER")
                                       .Access<&VellTimer::Interval>("INTERVAL")
                                       .Assign<&VellTimer::SetInterval>("INTERVAL")
                                       .Done();
    return c;
}

VellTimer::VellTimer() : id_(TheIds().Take()) {}

VellTimer::~VellTimer() {
    // A timer that goes while running stops: its WM_TIMERs would reach the
    // owner under an identifier another timer may take later.
    Stop();
    if (id_) TheIds().held[id_] = false;
}

uint16_t VellTimer::PeekNextId() { return TheIds().Peek(); }

void VellTimer::Init(rt::Args args) {
    owner_ = args.size() > 0 && args[0].IsObject() ? args[0].AsObject() : nullptr;
    interval_ = args.size() > 1 && args[1].IsNumeric() ? IntervalOf(args[1]) : 1000;
    running_ = false;
}

rt::Usual VellTimer::Owner() const {
    auto o = owner_.lock();
    return o ? rt::Usual(o) : rt::Usual();
}

uintptr_t VellTimer::OwnerHandle() const {
    static const rt::Symbol kHandle("HANDLE");
    rt::Usual owner = Owner();
    if (!owner.IsObject()) return 0;
    if (!rt::IsAccess(owner, kHandle) && !rt::IsMethod(owner, kHandle)) return 0;
    rt::Usual h = rt::IsAccess(owner, kHandle) ? rt::IVarGet(owner, kHandle) : rt::Send(owner, kHandle);
    return h.IsNumeric() ? static_cast<uintptr_t>(h.AsLong()) : 0;
}

bool VellTimer::Start() {
    if (running_ || id_ == 0) return false;
    // An owner without a window handle starts nothing: SetTimer with no
    // window would make a thread timer nobody receives.
    const uintptr_t h = OwnerHandle();
    if (!h) return false;
    if (!gui::SetTimer(h, id_, interval_)) return false;
    running_ = true;
    startedOn_ = h;
    return true;
}

void VellTimer::Stop() {
    if (!running_) return;
    gui::KillTimer(startedOn_, id_);
    running_ = false;
    startedOn_ = 0;
}

rt::Usual VellTimer::SetOwner(const rt::Usual& owner) {
    if (!owner.IsObject() || !owner.AsObject()) return Owner();
    const bool wasRunning = running_;
    Stop();
    owner_ = owner.AsObject();
    if (wasRunning) Start();
    return owner;
}

rt::Usual VellTimer::SetInterval(const rt::Usual& interval) {
    if (!interval.IsNumeric()) return rt::Usual(int64_t{interval_});
    const bool wasRunning = running_;
    Stop();
    interval_ = IntervalOf(interval);
    if (wasRunning) Start();
    return rt::Usual(int64_t{interval_});
}

}  // namespace lib
