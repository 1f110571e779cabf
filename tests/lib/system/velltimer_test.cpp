// VellTimer on a stand-in window (a Qt object linked to a recording
// object), counted on the manual clock.
#include <gtest/gtest.h>

#include "lib/system/velltimer.h"
#include "platform/gui/timers.h"
#include "platform/message/message_fixture.h"

using lib::VellTimer;

namespace {

// A window that answers HANDLE.
class HandleWindow : public Recorder {
    QZ_OBJECT(HandleWindow)
public:
    gui::HWND handle = 0;
};

}  // namespace

const rt::ClassDef& HandleWindow::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<HandleWindow>("TESTHANDLEWINDOW", &Recorder::StaticClass())
            .RawMethod("HANDLE",
                       [](rt::Object& o, rt::Args) {
                           return rt::Usual(static_cast<int64_t>(static_cast<HandleWindow&>(o).handle));
                       })
            .Done();
    return c;
}

namespace {

struct Fixture : testing::Test {
    Fixture() {
        gui::TimerClock::UseManual(true);
        window = rt::New<HandleWindow>();
        gui::LinkHandle(&widget, window);
        window->handle = gui::HandleOf(&widget);
    }
    ~Fixture() override { gui::TimerClock::UseManual(false); }
    std::shared_ptr<VellTimer> Make(rt::Usual interval = {}) {
        auto t = rt::New<VellTimer>();
        t->Init({rt::Usual(window), interval});
        return t;
    }
    size_t Ticks(uint16_t id) const {
        size_t n = 0;
        for (const auto& s : window->seen) n += s.msg == gui::WM_TIMER && s.wParam == id;
        return n;
    }
    QObject widget;
    std::shared_ptr<HandleWindow> window;
};

}  // namespace

TEST_F(Fixture, IdentifiersRunOneTwoInCreationOrder) {
    // Under ctest each test runs in a process of its own: the first timer
    // of the run has identifier 1.
    const uint16_t first = VellTimer::PeekNextId();
    auto a = Make(), b = Make();
    EXPECT_EQ(a->Id(), first);
    EXPECT_EQ(b->Id(), first + 1);
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 1) {
        EXPECT_EQ(first, 1);
    }
}

TEST_F(Fixture, AfterTheCounterWrapsLiveIdentifiersAreSkipped) {
    auto kept = Make();
    std::vector<std::shared_ptr<VellTimer>> many;
    std::shared_ptr<VellTimer> none;
    for (int i = 0; i < 70000 && !none; ++i) {  // through the wrap until all 65534 are held
        auto t = Make();
        if (t->Id() == 0) none = t;
        else many.push_back(t);
    }
    ASSERT_TRUE(none);
    EXPECT_EQ(many.size() + 1, 65534u);  // 65535 is the window's RegisterTimer identifier
    for (const auto& t : many) ASSERT_NE(t->Id(), gui::kRegisteredTimerId);
    EXPECT_FALSE(none->Start());
    many.clear();  // all but `kept` free their identifiers
    auto next = Make();
    EXPECT_NE(next->Id(), kept->Id());
    EXPECT_NE(next->Id(), 0);
}

TEST_F(Fixture, StartTwiceMakesOneTimerAndSecondCallFails) {
    auto t = Make(rt::Usual(int64_t{100}));
    const size_t before = gui::TimerClock::Count();
    EXPECT_TRUE(t->Start());
    EXPECT_FALSE(t->Start());
    EXPECT_EQ(gui::TimerClock::Count(), before + 1);
    gui::TimerClock::Advance(1000);
    EXPECT_EQ(Ticks(t->Id()), 10u);
    t->Stop();
    EXPECT_FALSE(t->Running());
    gui::TimerClock::Advance(1000);
    EXPECT_EQ(Ticks(t->Id()), 10u);
}

TEST_F(Fixture, NoOwnerOrOwnerWithoutHandleStartsNothing) {
    auto none = rt::New<VellTimer>();
    none->Init({rt::Usual()});
    EXPECT_FALSE(none->Start());
    auto plain = rt::New<VellTimer>();
    plain->Init({rt::Usual(rt::New<Recorder>())});  // no HANDLE
    EXPECT_FALSE(plain->Start());
}

TEST_F(Fixture, IntervalAssignRestartsARunningTimerAndIgnoresNonNumbers) {
    auto t = Make(rt::Usual(int64_t{100}));
    t->Start();
    t->SetInterval(rt::Usual(int64_t{250}));
    EXPECT_TRUE(t->Running());
    EXPECT_EQ(t->SetInterval(rt::Usual("500")).AsLong(), 250);
    EXPECT_EQ(t->Interval(), 250);
    gui::TimerClock::Advance(1000);
    EXPECT_EQ(Ticks(t->Id()), 4u);
    for (int64_t big : {65536, 70000}) {  // held at the largest 16 bits hold
        t->SetInterval(rt::Usual(big));
        EXPECT_EQ(t->Interval(), 65535);
    }
    t->Stop();
}

TEST_F(Fixture, OwnerAssignMovesARunningTimerAndAcceptsOnlyObjects) {
    auto t = Make(rt::Usual(int64_t{100}));
    t->Start();
    QObject otherWidget;
    auto other = rt::New<HandleWindow>();
    gui::LinkHandle(&otherWidget, other);
    other->handle = gui::HandleOf(&otherWidget);
    t->SetOwner(rt::Usual("not a window"));
    EXPECT_EQ(t->Owner().AsObject(), window);
    t->SetOwner(rt::Usual(other));
    EXPECT_TRUE(t->Running());
    gui::TimerClock::Advance(300);
    EXPECT_EQ(Ticks(t->Id()), 0u);
    EXPECT_EQ(other->seen.size(), 3u);
    t->Stop();
}
