// The timed method dispatcher, ticked by its own 100 ms thread timer on the
// manual clock (the path TIMERPROC -> TIMEREVENT -> RECEIVETIMER), and on
// the real one where a client's method runs a nested loop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cmath>
#include <functional>

#include "lib/system/rytimer.h"
#include "platform/gui/timers.h"
#include "platform/runtime/error.h"

using namespace lib;

namespace {

class Client : public rt::Object {
    QZ_OBJECT(Client)
public:
    int calls = 0;
    std::function<void()> run;  // what the method does besides counting
};

}  // namespace

const rt::ClassDef& Client::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Client>("TESTRYCLIENT")
                                       .RawMethod("RYTIMEREVENT",
                                                  [](rt::Object& o, rt::Args) {
                                                      auto& c = static_cast<Client&>(o);
                                                      ++c.calls;
                                                      if (c.run) c.run();
                                                      return rt::Usual();
                                                  })
                                       .Done();
    return c;
}

namespace {

const rt::Usual kMethod(rt::Symbol("RYTIMEREVENT"));

struct Dispatcher : testing::Test {
    Dispatcher() {
        gui::TimerClock::UseManual(true);
        ResetHeldTimerContainer();
        container = rt::New<RyTimerContainer>();
        container->Init();
    }
    ~Dispatcher() override {
        ResetHeldTimerContainer();
        gui::TimerClock::UseManual(false);
    }
    static void Ticks(int n) { gui::TimerClock::Advance(100 * n); }
    std::shared_ptr<Client> Register(rt::Usual frequency = {}, rt::Usual method = kMethod) {
        auto c = rt::New<Client>();
        EXPECT_TRUE(container->RegisterClient(std::vector<rt::Usual>{rt::Usual(c), method, frequency}));
        return c;
    }
    std::shared_ptr<RyTimerContainer> container;
};

}  // namespace

TEST_F(Dispatcher, RecordsFireOnEveryFrequencyTimesTenPlusOneTicks) {
    struct Case {
        double frequency;
        int period;  // ticks between sends
    } cases[] = {{1.0, 11}, {0.5, 6}, {0.3, 4}, {0.1, 2}, {0.0, 1}, {2.5, 26}};
    for (const auto& c : cases) {
        auto client = Register(rt::Usual(c.frequency));
        Ticks(c.period - 1);
        EXPECT_EQ(client->calls, 0) << c.frequency;
        Ticks(1);
        EXPECT_EQ(client->calls, 1) << c.frequency;
        Ticks(c.period * 3);
        EXPECT_EQ(client->calls, 4) << c.frequency;
        container->UnregisterClient(rt::Usual(client), kMethod);
    }
}

TEST_F(Dispatcher, CountdownStartsAtTheFrequencyAndFallsByTenths) {
    auto c = Register();
    EXPECT_DOUBLE_EQ(container->GetCountdown(rt::Usual(c), kMethod), 1.0);
    Ticks(3);
    EXPECT_NEAR(container->GetCountdown(rt::Usual(c), kMethod), 0.7, 1e-9);
}

TEST_F(Dispatcher, SwitchedOffTheRecordFreezesAndResumesWhereItStopped) {
    auto c = Register();
    Ticks(4);
    container->EnableTimer(rt::Usual(c), kMethod, rt::Usual(false));
    EXPECT_EQ(container->GetCountdown(rt::Usual(c), kMethod), 0.0);
    Ticks(50);
    EXPECT_EQ(c->calls, 0);
    container->EnableTimer(rt::Usual(c), kMethod, rt::Usual(true));
    EXPECT_NEAR(container->GetCountdown(rt::Usual(c), kMethod), 0.6, 1e-9);
    Ticks(7);
    EXPECT_EQ(c->calls, 1);
}

TEST_F(Dispatcher, AClientWithoutTheMethodIsDroppedAtItsFirstDueTick) {
    auto a = Register(rt::Usual(1.0), rt::Usual(rt::Symbol("NOSUCHMETHOD")));
    auto b = Register(rt::Usual(1.0));  // moves into position 1 and is still sent
    Ticks(10);
    EXPECT_EQ(container->GetObjectElement(rt::Usual(a), rt::Usual(rt::Symbol("NOSUCHMETHOD"))), 1);
    Ticks(1);
    EXPECT_EQ(container->GetObjectElement(rt::Usual(a), rt::Usual(rt::Symbol("NOSUCHMETHOD"))), 0);
    EXPECT_EQ(container->GetObjectElement(rt::Usual(b), kMethod), 1);
    EXPECT_EQ(b->calls, 1);
}

TEST_F(Dispatcher, UnknownClientsAndNullClientsChangeNothing) {
    auto known = Register();
    auto stranger = rt::New<Client>();
    EXPECT_EQ(container->GetObjectElement(rt::Usual(stranger), kMethod), 0);
    container->EnableTimer(rt::Usual(stranger), kMethod, rt::Usual(false));
    EXPECT_FALSE(container->UnregisterClient(rt::Usual(stranger), kMethod));
    EXPECT_FALSE(container->RegisterClient(std::vector<rt::Usual>{rt::Usual()}));
    EXPECT_EQ(container->Count(), 1u);
    EXPECT_DOUBLE_EQ(container->GetCountdown(rt::Usual(known), kMethod), 1.0);
    // Unregistering by a record that names the method, as the class allows.
    auto record = rt::New<RyTimedMethod>();
    EXPECT_TRUE(container->UnregisterClient(rt::Usual(known), rt::Usual(record)));
    EXPECT_EQ(container->Count(), 0u);
}

TEST_F(Dispatcher, TheFirstContainerKeepsTheTicksAndCountsAtItsOwnPace) {
    auto c = Register();
    const size_t timers = gui::TimerClock::Count();
    auto second = rt::New<RyTimerContainer>();
    second->Init();
    EXPECT_EQ(HeldTimerContainer(), container.get());
    EXPECT_EQ(gui::TimerClock::Count(), timers);  // no second thread timer
    auto other = rt::New<Client>();
    second->RegisterClient(std::vector<rt::Usual>{rt::Usual(other)});
    Ticks(11);
    EXPECT_EQ(c->calls, 1);
    EXPECT_EQ(other->calls, 0);
}

TEST_F(Dispatcher, ATimerEventWithANonContainerIsATypeError) {
    ResetHeldTimerContainer();
    bool raised = false;
    rt::Usual previous = rt::ErrorBlock(rt::Usual::Block([&](rt::Args) {
        raised = true;
        return rt::Usual();
    }));
    const rt::Usual notAContainer[] = {rt::Usual(rt::New<Client>())};
    TIMEREVENT(rt::Args(notAContainer, 1));
    rt::ErrorBlock(previous);
    EXPECT_TRUE(raised);
    EXPECT_EQ(HeldTimerContainer(), nullptr);
}

TEST_F(Dispatcher, TheClassesAreReachedByName) {
    RegisterTimerClasses();
    rt::Usual record = rt::CreateInstance(rt::Symbol("RYTIMEDMETHOD"));
    rt::IVarPut(record, rt::Symbol("TIMERFREQUENCY"), rt::Usual(int64_t{2}));
    EXPECT_DOUBLE_EQ(rt::IVarGet(record, rt::Symbol("COUNTDOWN")).AsDouble(), 2.0);
    rt::Usual c(container);
    auto client = rt::New<Client>();
    EXPECT_TRUE(rt::Send(c, "REGISTERCLIENT", {rt::Usual(client), kMethod, rt::Usual(0.5)}).AsLogic());
    Ticks(6);
    EXPECT_EQ(client->calls, 1);
    EXPECT_EQ(rt::Send(c, "GETOBJECTELEMENT", {rt::Usual(client), kMethod}).AsLong(), 1);
    rt::Usual timer = rt::CreateInstance(rt::Symbol("VELLTIMER"), std::vector<rt::Usual>{rt::Usual()});
    EXPECT_FALSE(rt::Send(timer, "START").AsLogic());  // no owner
}

TEST_F(Dispatcher, EntriesThatGoDuringATickLeaveTheOthersOnTime) {
    // A client between two others unregisters itself, the earlier one or
    // both; the later one is still sent on this tick and the next.
    for (int drop : {1, 2, 3}) {
        auto earlier = Register(rt::Usual(0.0)), hook = Register(rt::Usual(0.0)), later = Register(rt::Usual(0.0));
        hook->run = [&, drop] {
            if (drop & 1) container->UnregisterClient(rt::Usual(hook), kMethod);
            if (drop & 2) container->UnregisterClient(rt::Usual(earlier), kMethod);
        };
        Ticks(2);
        EXPECT_EQ(later->calls, 2) << drop;
        for (const auto& c : {earlier, hook, later}) container->UnregisterClient(rt::Usual(c), kMethod);
    }
}

TEST_F(Dispatcher, HugeAndInfiniteFrequenciesNeverFireAndNotANumberIsZero) {
    auto huge = Register(rt::Usual(1e18)), infinite = Register(rt::Usual(HUGE_VAL)), nan = Register(rt::Usual(NAN));
    Ticks(30);
    EXPECT_EQ(huge->calls + infinite->calls, 0);
    EXPECT_EQ(nan->calls, 30);
}

TEST_F(Dispatcher, OtherClientsAreServedWhileOnesMethodRunsANestedLoop) {
    gui::TimerClock::UseManual(false);
    auto other = Register(rt::Usual(0.0)), modal = Register(rt::Usual(0.0));
    modal->run = [&] {  // a modal box that stays until the other client had five calls
        if (modal->calls > 1) return;
        QDeadlineTimer deadline(10000);
        for (const int before = other->calls; other->calls < before + 5 && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_EQ(modal->calls, 1);  // not entered again from its own loop
    };
    QDeadlineTimer deadline(20000);
    while (modal->calls < 2 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GE(other->calls, 6);
}
