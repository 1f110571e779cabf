// VellTimerControl on a real (offscreen) window, ticked on the manual clock.
#include <gtest/gtest.h>

#include "lib/system/velltimercontrol.h"
#include "platform/gui/message.h"
#include "platform/gui/timers.h"
#include "platform/gui/window.h"

using lib::VellTimerControl;

namespace {

// A window whose ONVELLTIMER answers what the test says.
class Host : public gui::Window {
    QZ_OBJECT(Host)
public:
    int calls = 0;
    rt::Usual answer;
};

// A window without ONVELLTIMER.
class Bare : public gui::Window {
    QZ_OBJECT(Bare)
};

}  // namespace

const rt::ClassDef& Host::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<Host>("TESTVELLHOST", &gui::Window::StaticClass())
            .RawMethod("ONVELLTIMER",
                       [](rt::Object& o, rt::Args a) {
                           auto& h = static_cast<Host&>(o);
                           EXPECT_TRUE(rt::IsInstanceOf(a[0], rt::Symbol("VELLTIMERCONTROL")));
                           ++h.calls;
                           return h.answer;
                       })
            .Done();
    return c;
}

const rt::ClassDef& Bare::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Bare>("TESTVELLBARE", &gui::Window::StaticClass()).Done();
    return c;
}

namespace {

struct ControlFixture : testing::Test {
    ControlFixture() { gui::TimerClock::UseManual(true); }
    ~ControlFixture() override { gui::TimerClock::UseManual(false); }
    template <class W>
    std::pair<std::shared_ptr<W>, std::shared_ptr<VellTimerControl>> Make() {
        auto w = rt::New<W>();
        w->Init({rt::Usual()});
        auto c = rt::New<VellTimerControl>();
        c->Init({rt::Usual(w), rt::Usual(int64_t{500})});
        return {w, c};
    }
};

}  // namespace

TEST_F(ControlFixture, MadeHiddenWithAStopped100msTimer) {
    auto [w, c] = Make<Host>();
    EXPECT_FALSE(c->Widget()->isVisibleTo(w->Widget()));
    EXPECT_FALSE(c->Running());
    EXPECT_EQ(c->TimerObject()->Interval(), 100);
    gui::TimerClock::Advance(1000);
    EXPECT_EQ(w->calls, 0);
}

TEST_F(ControlFixture, OnVellTimerFalseStopsItAndNilOrTrueKeepsItRunning) {
    struct Case {
        rt::Usual answer;
        int calls;
        bool running;
    } cases[] = {{rt::Usual(false), 1, false},
                 {rt::Usual(), 10, true},
                 {rt::Usual(true), 10, true},
                 {rt::Usual("yes"), 10, true}};
    for (const auto& k : cases) {
        auto [w, c] = Make<Host>();
        w->answer = k.answer;
        c->Start();
        gui::TimerClock::Advance(1000);
        EXPECT_EQ(w->calls, k.calls);
        EXPECT_EQ(c->Running(), k.running);
        c->Stop();
    }
}

TEST_F(ControlFixture, WithoutOnVellTimerItConsumesItsTimerAndKeepsRunning) {
    auto [w, c] = Make<Bare>();
    c->Start();
    EXPECT_EQ(gui::SendMessageA(c->Handle(), gui::WM_TIMER, c->TimerObject()->Id(), 0), 0);
    EXPECT_EQ(gui::SendMessageA(c->Handle(), gui::WM_TIMER, c->TimerObject()->Id() + 1, 0), 1);  // not its own
    gui::TimerClock::Advance(500);
    EXPECT_TRUE(c->Running());
    c->Stop();
}

TEST_F(ControlFixture, DestroyAndTheWindowClosingStopTheTimer) {
    auto [w, c] = Make<Host>();
    c->Start();
    const size_t running = gui::TimerClock::Count();
    c->Destroy();
    EXPECT_FALSE(c->Running());
    EXPECT_EQ(gui::TimerClock::Count(), running - 1);

    auto [w2, c2] = Make<Host>();
    w2->answer = rt::Usual(true);
    c2->Start();
    w2->EndWindow();
    gui::TimerClock::Advance(1000);
    EXPECT_EQ(w2->calls, 0);
}
