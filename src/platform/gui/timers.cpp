#include "platform/gui/timers.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "platform/gui/boundary.h"
#include "platform/gui/handles.h"
#include "platform/gui/message.h"

namespace gui {
namespace {

using Key = std::pair<HWND, uintptr_t>;

struct Entry {
    int64_t periodUs = 0;
    int64_t dueUs = 0;
    TIMERPROC proc;
    uint64_t serial = 0;
    bool mayNest = false;
    // Calls of the handler still running (more than one only for a timer
    // that may nest). Shared with the calls, so that a timer killed and set
    // again by its handler starts with a count of its own.
    std::shared_ptr<int> running = std::make_shared<int>(0);
};

// The wake-up order: due time, then the order the timers were set in.
using Due = std::tuple<int64_t, uint64_t, HWND, uintptr_t>;

int64_t SteadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void RemoveTimersOf(HWND hWnd);

struct State {
    State() {
        OnHandleRetired([](HWND h) {
            if (IsGuiThread()) {
                RemoveTimersOf(h);
                return;
            }
            PostToGuiThread([](void* p) { RemoveTimersOf(reinterpret_cast<HWND>(p)); }, reinterpret_cast<void*>(h));
        });
    }
    std::map<Key, Entry> timers;
    std::set<Due> queue;  // one element per timer
    uint64_t serial = 0;
    uintptr_t nextThreadId = 0x8000;
    bool manual = false;
    int64_t manualUs = 0;
    QTimer* wake = nullptr;
    int64_t wakeForUs = 0;  // the due time the wake-up is set for

    int64_t Now() const { return manual ? manualUs : SteadyUs(); }
    static Due QueueKey(const Key& k, const Entry& t) { return {t.dueUs, t.serial, k.first, k.second}; }
    void Schedule(const Key& k, Entry& t, int64_t dueUs) {
        queue.erase(QueueKey(k, t));
        t.dueUs = dueUs;
        queue.insert(QueueKey(k, t));
    }
    void Erase(std::map<Key, Entry>::iterator it) {
        queue.erase(QueueKey(it->first, it->second));
        timers.erase(it);
    }
};

State& S() {
    static State* s = new State;  // timers may be touched by widgets destroyed at exit
    return *s;
}

void Fire(int64_t now);

// Sets the event loop's one wake-up to the earliest due time (left alone
// when it is set for that time already).
void Arm() {
    State& s = S();
    if (s.manual || s.queue.empty()) {
        if (s.wake) s.wake->stop();
        return;
    }
    if (!s.wake) {
        s.wake = new QTimer;
        s.wake->setSingleShot(true);
        s.wake->setTimerType(Qt::PreciseTimer);
        QObject::connect(s.wake, &QTimer::timeout, [] { FromQt([] { Fire(S().Now()); }); });
    }
    const int64_t due = std::get<0>(*s.queue.begin());
    if (s.wake->isActive() && s.wakeForUs == due) return;
    s.wakeForUs = due;
    const int64_t waitUs = std::max<int64_t>(0, due - s.Now());
    s.wake->start(static_cast<int>(std::min<int64_t>((waitUs + 999) / 1000, 0x7FFFFFFF)));
}

// Runs every timer due at `now`, earliest first. Each due time moves on and
// the wake-up is set for the next one before the handler runs, so a handler
// may set or kill timers (its own too) and may run a nested event loop (a
// modal box) in which the other timers go on firing. A timer whose handler
// is still running is not called again meanwhile (its due times pass); a
// timer set with SetNestingTimer is. A handler that throws leaves the later
// ones for the next wake-up, which is set all the same.
void Fire(int64_t now) {
    State& s = S();
    struct Rearm {
        ~Rearm() { Arm(); }
    } rearm;
    while (!s.queue.empty() && std::get<0>(*s.queue.begin()) <= now) {
        const int64_t dueUs = std::get<0>(*s.queue.begin());
        const HWND h = std::get<2>(*s.queue.begin());
        const uintptr_t id = std::get<3>(*s.queue.begin());
        const Key key{h, id};
        auto it = s.timers.find(key);
        Entry& t = it->second;
        // The next due time keeps the phase of the first one; periods
        // missed while the thread was busy are skipped, not queued.
        s.Schedule(key, t, dueUs + ((now - dueUs) / t.periodUs + 1) * t.periodUs);
        if (*t.running > 0 && !t.mayNest) continue;
        if (!t.proc && !h) continue;  // no window and no procedure: nobody to tell
        rt::Usual target;
        if (!t.proc) {
            target = ObjectFromHandle(h);
            if (!target.IsObject()) {
                s.Erase(it);
                continue;
            }
        }
        const TIMERPROC proc = t.proc;  // the timer may be killed by its handler
        std::shared_ptr<int> running = t.running;
        ++*running;
        struct Done {
            std::shared_ptr<int>& n;
            ~Done() { --*n; }
        } done{running};
        Arm();
        const uint32_t tick = static_cast<uint32_t>(now / 1000);
        if (proc) proc(h, WM_TIMER, id, tick);
        else DispatchMessageTo(target, h, WM_TIMER, id, 0);
    }
}

void RemoveTimersOf(HWND hWnd) {
    if (!hWnd) return;
    State& s = S();
    auto it = s.timers.lower_bound(Key{hWnd, 0});
    while (it != s.timers.end() && it->first.first == hWnd) s.Erase(it++);
    Arm();
}

uintptr_t Set(HWND hWnd, uintptr_t id, uint32_t elapseMs, TIMERPROC proc, bool mayNest) {
    if (!IsGuiThread()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (hWnd && !IsWindow(hWnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    State& s = S();
    const int64_t periodUs = int64_t{std::clamp<uint32_t>(elapseMs, USER_TIMER_MINIMUM, 0x7FFFFFFF)} * 1000;
    auto it = (hWnd || id) ? s.timers.find(Key{hWnd, id}) : s.timers.end();
    if (it == s.timers.end()) {
        if (!hWnd) {
            // A timer without a window gets a fresh identifier.
            do {
                id = s.nextThreadId++;
                if (s.nextThreadId == 0) s.nextThreadId = 0x8000;
            } while (id == 0 || s.timers.count(Key{0, id}));
        }
        it = s.timers.emplace(Key{hWnd, id}, Entry{}).first;
    } else {
        s.queue.erase(State::QueueKey(it->first, it->second));
    }
    // Replacing keeps the running count: a handler that sets its own timer
    // again is still running.
    Entry& t = it->second;
    t.periodUs = periodUs;
    t.dueUs = s.Now() + periodUs;
    t.proc = std::move(proc);
    t.mayNest = mayNest;
    t.serial = ++s.serial;
    s.queue.insert(State::QueueKey(it->first, t));
    Arm();
    return id ? id : 1;
}

}  // namespace

uintptr_t SetTimer(HWND hWnd, uintptr_t id, uint32_t elapseMs, TIMERPROC proc) {
    return Set(hWnd, id, elapseMs, std::move(proc), false);
}

uintptr_t SetNestingTimer(HWND hWnd, uintptr_t id, uint32_t elapseMs, TIMERPROC proc) {
    return Set(hWnd, id, elapseMs, std::move(proc), true);
}

bool KillTimer(HWND hWnd, uintptr_t id) {
    State& s = S();
    auto it = s.timers.find(Key{hWnd, id});
    if (it == s.timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    s.Erase(it);
    Arm();
    return true;
}

uint32_t GetTickCount() { return static_cast<uint32_t>(S().Now() / 1000); }

void TimerClock::UseManual(bool on) {
    State& s = S();
    if (s.manual == on) return;
    // The due times move to the new clock, keeping what is left of each.
    const int64_t from = s.Now();
    s.manual = on;
    if (on) s.manualUs = 0;
    const int64_t to = s.Now();
    std::set<Due> moved;
    for (auto& [key, t] : s.timers) {
        t.dueUs += to - from;
        moved.insert(State::QueueKey(key, t));
    }
    s.queue.swap(moved);
    if (s.wake) s.wake->stop();
    Arm();
}

bool TimerClock::Manual() { return S().manual; }

void TimerClock::Advance(int64_t ms) {
    State& s = S();
    if (!s.manual) return;
    const int64_t target = s.manualUs + ms * 1000;
    while (!s.queue.empty() && std::get<0>(*s.queue.begin()) <= target) {
        s.manualUs = std::max(s.manualUs, std::get<0>(*s.queue.begin()));
        Fire(s.manualUs);
    }
    s.manualUs = target;
}

void TimerClock::Stall(int64_t ms) {
    if (S().manual) S().manualUs += ms * 1000;
}

size_t TimerClock::Count() { return S().timers.size(); }

}  // namespace gui
