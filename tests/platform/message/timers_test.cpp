// SetTimer and KillTimer on the manual clock (tick counts) and on the real
// one (real WM_TIMERs through the event loop).
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "message_fixture.h"
#include "platform/gui/message.h"
#include "platform/gui/timers.h"

using namespace gui;

namespace {

struct ManualClock {
    ManualClock() { TimerClock::UseManual(true); }
    ~ManualClock() { TimerClock::UseManual(false); }
};

size_t Count(const Recorder& r, uint32_t msg, uint64_t wParam) {
    size_t n = 0;
    for (const auto& s : r.seen) n += s.msg == msg && s.wParam == wParam;
    return n;
}

}  // namespace

TEST(Timers, WindowTimersDeliverWmTimerWithTheirIdentifierAndReplaceBySameId) {
    ManualClock clock;
    FakeWindow w;
    EXPECT_EQ(SetTimer(w.handle, 7, 100), 7u);
    EXPECT_EQ(SetTimer(w.handle, 8, 250), 8u);
    TimerClock::Advance(1000);
    EXPECT_EQ(Count(*w.object, WM_TIMER, 7), 10u);
    EXPECT_EQ(Count(*w.object, WM_TIMER, 8), 4u);
    // The same identifier again: one timer, with the new period from now.
    SetTimer(w.handle, 7, 500);
    w.object->seen.clear();
    TimerClock::Advance(1000);
    EXPECT_EQ(Count(*w.object, WM_TIMER, 7), 2u);
    EXPECT_TRUE(KillTimer(w.handle, 7));
    EXPECT_FALSE(KillTimer(w.handle, 7));
    KillTimer(w.handle, 8);
}

TEST(Timers, ATimerWithoutAWindowGetsItsOwnIdentifierAndCallsItsProcedure) {
    ManualClock clock;
    std::vector<uintptr_t> calls;
    auto proc = [&](HWND h, uint32_t msg, uintptr_t id, uint32_t) {
        EXPECT_EQ(h, 0u);
        EXPECT_EQ(msg, WM_TIMER);
        calls.push_back(id);
    };
    const uintptr_t a = SetTimer(0, 1, 100, proc);
    const uintptr_t b = SetTimer(0, 1, 100, proc);
    ASSERT_NE(a, 0u);
    EXPECT_NE(a, b);                          // identifier 1 names no timer: each gets a fresh one
    EXPECT_EQ(SetTimer(0, a, 200, proc), a);  // a timer's own identifier replaces it
    TimerClock::Advance(200);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), a), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), b), 2);
    KillTimer(0, a);
    KillTimer(0, b);
}

TEST(Timers, TimersStopWhenTheirWindowGoes) {
    ManualClock clock;
    const size_t before = TimerClock::Count();
    auto w = std::make_unique<FakeWindow>();
    SetTimer(w->handle, 1, 100);
    SetTimer(w->handle, 2, 100);
    const HWND h = w->handle;
    w.reset();  // the widget is destroyed
    EXPECT_EQ(TimerClock::Count(), before);
    EXPECT_EQ(SetTimer(h, 1, 100), 0u);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

TEST(Timers, LateTicksDoNotShiftTheScheduleAndMissedOnesAreNotQueued) {
    ManualClock clock;
    FakeWindow w;
    std::vector<uint32_t> at;
    const uintptr_t id = SetTimer(0, 0, 100, [&](HWND, uint32_t, uintptr_t, uint32_t tick) { at.push_back(tick); });
    const uint32_t start = GetTickCount();
    TimerClock::Advance(130);  // tick at 100
    TimerClock::Stall(400);    // the thread was busy until 530
    TimerClock::Advance(70);   // one late tick for 200..500, then back in step at 600
    ASSERT_EQ(at.size(), 3u);
    EXPECT_EQ(at[0] - start, 100u);
    EXPECT_EQ(at[1] - start, 530u);
    EXPECT_EQ(at[2] - start, 600u);
    KillTimer(0, id);
}

TEST(Timers, PeriodsBelowTheMinimumAreRaisedAndOtherThreadsAreRefused) {
    ManualClock clock;
    FakeWindow w;
    SetTimer(w.handle, 3, 1);
    TimerClock::Advance(100);
    EXPECT_EQ(Count(*w.object, WM_TIMER, 3), 100u / USER_TIMER_MINIMUM);
    uintptr_t fromThread = 1;
    std::thread([&] { fromThread = SetTimer(w.handle, 4, 100); }).join();
    EXPECT_EQ(fromThread, 0u);
    KillTimer(w.handle, 3);
}

TEST(Timers, ARealWindowTimerSendsRealWmTimers) {
    FakeWindow w;
    ASSERT_FALSE(TimerClock::Manual());
    SetTimer(w.handle, 9, 20);
    QDeadlineTimer deadline(10000);
    while (Count(*w.object, WM_TIMER, 9) < 3 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GE(Count(*w.object, WM_TIMER, 9), 3u);
    KillTimer(w.handle, 9);
}

TEST(Timers, OtherTimersFireWhileAHandlerRunsANestedLoopWhichDoesNotReenterIt) {
    FakeWindow w;
    // The first call opens a nested loop until the window's timer ticked
    // five times in it; the depth reached tells whether it was re-entered.
    for (const bool mayNest : {false, true}) {
        int depth = 0, deepest = 0, calls = 0;
        auto proc = [&](HWND, uint32_t, uintptr_t, uint32_t) {
            deepest = std::max(deepest, ++depth);
            if (++calls == 1) {
                w.object->seen.clear();
                for (QDeadlineTimer end(10000); Count(*w.object, WM_TIMER, 5) < 5 && !end.hasExpired();)
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
                EXPECT_GE(Count(*w.object, WM_TIMER, 5), 5u);
            }
            --depth;
        };
        const uintptr_t id = mayNest ? SetNestingTimer(0, 0, 10, proc) : SetTimer(0, 0, 10, proc);
        SetTimer(w.handle, 5, 20);
        for (QDeadlineTimer end(20000); calls < 2 && !end.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        KillTimer(0, id);
        EXPECT_EQ(deepest, mayNest ? 2 : 1);
    }
}
