#include "platform/gui/timers.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/gui/boundary.h"
#include "platform/gui/handles.h"
#include "platform/gui/message.h"

namespace gui {
namespace {

struct Entry {
    HWND hWnd = 0;
    uintptr_t id = 0;
    int64_t periodUs = 0;
    int64_t dueUs = 0;
    TIMERPROC proc;
    uint64_t serial = 0;
};

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
    std::vector<Entry> timers;
    uint64_t serial = 0;
    uintptr_t nextThreadId = 0x8000;
    bool manual = false;
    int64_t manualUs = 0;
    QTimer* wake = nullptr;

    int64_t Now() const { return manual ? manualUs : SteadyUs(); }
    Entry* Find(HWND h, uintptr_t id) {
        for (auto& t : timers)
            if (t.hWnd == h && t.id == id) return &t;
        return nullptr;
    }
    Entry* FindSerial(uint64_t s) {
        for (auto& t : timers)
            if (t.serial == s) return &t;
        return nullptr;
    }
};

State& S() {
    static State* s = new State;  // timers may be touched by widgets destroyed at exit
    return *s;
}

void Fire(int64_t now);

// Sets the event loop's one wake-up to the earliest due time.
void Arm() {
    State& s = S();
    if (s.manual) {
        if (s.wake) s.wake->stop();
        return;
    }
    if (s.timers.empty()) {
        if (s.wake) s.wake->stop();
        return;
    }
    if (!s.wake) {
        s.wake = new QTimer;
        s.wake->setSingleShot(true);
        s.wake->setTimerType(Qt::PreciseTimer);
        QObject::connect(s.wake, &QTimer::timeout, [] { FromQt([] { Fire(S().Now()); }); });
    }
    int64_t due = s.timers.front().dueUs;
    for (const auto& t : s.timers) due = std::min(due, t.dueUs);
    int64_t waitUs = std::max<int64_t>(0, due - s.Now());
    s.wake->start(static_cast<int>(std::min<int64_t>((waitUs + 999) / 1000, 0x7FFFFFFF)));
}

// Runs every timer due at `now`, earliest first. A handler may set or kill
// timers (its own too) and may run a nested event loop: each due time moves
// on before its handler runs, so a nested loop does not fire it again. A
// handler that throws leaves the later ones for the next wake-up, which is
// set all the same.
void Fire(int64_t now) {
    State& s = S();
    struct Rearm {
        ~Rearm() { Arm(); }
    } rearm;
    std::vector<std::pair<int64_t, uint64_t>> due;
    for (const auto& t : s.timers)
        if (t.dueUs <= now) due.emplace_back(t.dueUs, t.serial);
    std::sort(due.begin(), due.end());
    for (const auto& [when, serial] : due) {
        Entry* t = s.FindSerial(serial);
        if (!t || t->dueUs > now) continue;
        // The next due time keeps the phase of the first one; periods
        // missed while the thread was busy are skipped, not queued.
        t->dueUs += ((now - t->dueUs) / t->periodUs + 1) * t->periodUs;
        const HWND h = t->hWnd;
        const uintptr_t id = t->id;
        const uint32_t tick = static_cast<uint32_t>(now / 1000);
        if (t->proc) {
            TIMERPROC proc = t->proc;  // the timer may be killed by its procedure
            proc(h, WM_TIMER, id, tick);
            continue;
        }
        if (!h) continue;  // no window and no procedure: nobody to tell
        rt::Usual target = ObjectFromHandle(h);
        if (!target.IsObject()) {
            KillTimer(h, id);
            continue;
        }
        DispatchMessageTo(target, h, WM_TIMER, id, 0);
    }
}

void RemoveTimersOf(HWND hWnd) {
    if (!hWnd) return;
    auto& v = S().timers;
    v.erase(std::remove_if(v.begin(), v.end(), [&](const Entry& t) { return t.hWnd == hWnd; }), v.end());
    Arm();
}

}  // namespace

uintptr_t SetTimer(HWND hWnd, uintptr_t id, uint32_t elapseMs, TIMERPROC proc) {
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
    Entry* t = (hWnd || id) ? s.Find(hWnd, id) : nullptr;
    if (!t) {
        if (!hWnd) {
            // A timer without a window gets a fresh identifier.
            do {
                id = s.nextThreadId++;
                if (s.nextThreadId == 0) s.nextThreadId = 0x8000;
            } while (id == 0 || s.Find(0, id));
        }
        s.timers.push_back(Entry{hWnd, id, 0, 0, {}, 0});
        t = &s.timers.back();
    }
    t->periodUs = periodUs;
    t->dueUs = s.Now() + periodUs;
    t->proc = std::move(proc);
    t->serial = ++s.serial;
    Arm();
    return id ? id : 1;
}

bool KillTimer(HWND hWnd, uintptr_t id) {
    State& s = S();
    for (auto it = s.timers.begin(); it != s.timers.end(); ++it) {
        if (it->hWnd == hWnd && it->id == id) {
            s.timers.erase(it);
            Arm();
            return true;
        }
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
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
    for (auto& t : s.timers) t.dueUs += to - from;
    Arm();
}

bool TimerClock::Manual() { return S().manual; }

void TimerClock::Advance(int64_t ms) {
    State& s = S();
    if (!s.manual) return;
    const int64_t target = s.manualUs + ms * 1000;
    for (;;) {
        int64_t next = target + 1;
        for (const auto& t : s.timers) next = std::min(next, t.dueUs);
        if (next > target) break;
        s.manualUs = std::max(s.manualUs, next);
        Fire(s.manualUs);
    }
    s.manualUs = target;
}

void TimerClock::Stall(int64_t ms) {
    if (S().manual) S().manualUs += ms * 1000;
}

size_t TimerClock::Count() { return S().timers.size(); }

}  // namespace gui
