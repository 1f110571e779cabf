// Timers and posted messages against bare Qt in the same run.
//
//   timer_bench [--seconds N]   (default 30: 300 ticks of 100 ms; with
//   QZ_BENCH_SMOKE=1 also 1,000 messages instead of 200,000)
//
// 1. A 100 ms window timer (SetTimer on a handle, WM_TIMER to DISPATCH) and
//    a bare QTimer of 100 ms run side by side on one event loop; for each:
//    ticks, mean period, worst lateness against the ideal schedule (start +
//    k x 100 ms) and the drift of the last tick.
// 2. 200,000 PostMessageA calls against as many queued
//    QMetaObject::invokeMethod calls: posted and delivered per second.
// 3. 10,000 timers of 100 ms set at once (thread timers with procedures),
//    due together every period: the worst lateness of any firing against its
//    own due time (goal: under 20 ms, a fifth of the period), and the
//    dispatcher's tick with 10,000 clients sent every tick (goal: under
//    10 ms, a tenth of the period). With QZ_BENCH_SMOKE 100 of each.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "bench_size.h"
#include "lib/system/rytimer.h"
#include "platform/gui/event.h"
#include "platform/gui/handles.h"
#include "platform/gui/message.h"
#include "platform/gui/timers.h"

namespace {

int64_t NowUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

class Sink : public rt::Object {
    QZ_OBJECT(Sink)
public:
    std::vector<int64_t> ticks;
    int64_t messages = 0;
};

const rt::ClassDef& Sink::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Sink>("BENCHSINK")
                                       .RawMethod("DISPATCH",
                                                  [](rt::Object& o, rt::Args a) {
                                                      auto& s = static_cast<Sink&>(o);
                                                      auto* e = static_cast<gui::Event*>(a[0].AsObject().get());
                                                      if (e->uMsg == gui::WM_TIMER) s.ticks.push_back(NowUs());
                                                      else ++s.messages;
                                                      return rt::Usual(int64_t{0});
                                                  })
                                       .Done();
    return c;
}

void Report(const char* name, const std::vector<int64_t>& ticks, int64_t startUs, int64_t periodUs) {
    if (ticks.empty()) {
        std::printf("%-22s no ticks\n", name);
        return;
    }
    int64_t worst = 0;
    for (size_t k = 0; k < ticks.size(); ++k)
        worst = std::max(worst, ticks[k] - (startUs + static_cast<int64_t>(k + 1) * periodUs));
    const double mean = ticks.size() > 1 ? double(ticks.back() - ticks.front()) / double(ticks.size() - 1) / 1000.0
                                         : 0.0;
    const int64_t drift = ticks.back() - (startUs + static_cast<int64_t>(ticks.size()) * periodUs);
    std::printf("%-22s %5zu ticks  mean %8.3f ms  worst late %7.3f ms  drift %+8.3f ms\n", name, ticks.size(), mean,
                worst / 1000.0, drift / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    for (int i = 1; i + 1 < argc; ++i)
        if (!std::strcmp(argv[i], "--seconds")) seconds = std::max(1, std::atoi(argv[i + 1]));
    QCoreApplication app(argc, argv);

    QObject widget;  // the window the timer and the messages go to
    auto sink = rt::New<Sink>();
    gui::LinkHandle(&widget, sink);
    const gui::HWND h = gui::HandleOf(&widget);

    // 1. Periods.
    constexpr int64_t kPeriodUs = 100'000;
    const int ticks = seconds * 10;
    std::vector<int64_t> qtTicks;
    QTimer bare;
    bare.setInterval(100);
    QObject::connect(&bare, &QTimer::timeout, [&] { qtTicks.push_back(NowUs()); });
    const int64_t start = NowUs();
    gui::SetTimer(h, 1, 100);
    bare.start();
    QTimer stop;
    stop.setSingleShot(true);
    QObject::connect(&stop, &QTimer::timeout, [&] { QCoreApplication::exit(0); });
    stop.start(static_cast<int>(ticks * 100 + 50));
    QCoreApplication::exec();
    gui::KillTimer(h, 1);
    bare.stop();
    std::printf("%d s of a 100 ms period (ideal: %d ticks)\n", seconds, ticks);
    Report("SetTimer / WM_TIMER", sink->ticks, start, kPeriodUs);
    Report("bare QTimer", qtTicks, start, kPeriodUs);

    // 2. Posted messages.
    const int kMessages = BenchSize(200'000, 1000);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kMessages; ++i) gui::PostMessageA(h, gui::WM_APP, i, 0);
    QCoreApplication::processEvents();
    while (sink->messages < kMessages) QCoreApplication::processEvents();
    const double postS = clock.nsecsElapsed() / 1e9;

    int64_t invoked = 0;
    QObject receiver;
    clock.restart();
    for (int i = 0; i < kMessages; ++i)
        QMetaObject::invokeMethod(
            &receiver, [&invoked] { ++invoked; }, Qt::QueuedConnection);
    while (invoked < kMessages) QCoreApplication::processEvents();
    const double invokeS = clock.nsecsElapsed() / 1e9;
    std::printf("%d messages posted and delivered\n", kMessages);
    std::printf("%-22s %8.3f s  %10.0f per second\n", "PostMessageA", postS, kMessages / postS);
    std::printf("%-22s %8.3f s  %10.0f per second\n", "invokeMethod queued", invokeS, kMessages / invokeS);

    // 3. Many timers.
    const int kTimers = BenchSize(10'000, 100);
    std::vector<int64_t> due(static_cast<size_t>(kTimers));
    std::vector<uintptr_t> ids;
    int64_t worstLate = 0, firings = 0;
    for (int i = 0; i < kTimers; ++i) {
        due[static_cast<size_t>(i)] = NowUs() + kPeriodUs;
        ids.push_back(gui::SetTimer(0, 0, 100, [&, i](gui::HWND, uint32_t, uintptr_t, uint32_t) {
            int64_t& d = due[static_cast<size_t>(i)];
            const int64_t now = NowUs();
            worstLate = std::max(worstLate, now - d);
            ++firings;
            while (d <= now) d += kPeriodUs;  // the next due time, as the timers count it
        }));
    }
    stop.start(std::min(seconds, 3) * 1000 + 50);
    QCoreApplication::exec();
    for (uintptr_t id : ids) gui::KillTimer(0, id);
    std::printf("%d timers of 100 ms for %d s: %lld firings, worst late %.3f ms (goal < 20 ms: %s)\n", kTimers,
                std::min(seconds, 3), static_cast<long long>(firings), worstLate / 1000.0,
                worstLate < 20'000 ? "met" : "missed");

    auto container = rt::New<lib::RyTimerContainer>();
    container->Init();
    container->Axit();  // ticked by hand below
    std::vector<std::shared_ptr<lib::RyTimedMethod>> clients;
    for (int i = 0; i < kTimers; ++i) {
        // A record is a client too: its ISTIMETOSEND counts.
        clients.push_back(rt::New<lib::RyTimedMethod>());
        container->RegisterClient(
            std::vector<rt::Usual>{rt::Usual(clients.back()), rt::Usual(rt::Symbol("ISTIMETOSEND")), rt::Usual(0.0)});
    }
    int64_t worstTick = 0;
    for (int t = 0; t < 20; ++t) {
        const int64_t t0 = NowUs();
        container->ReceiveTimer();
        worstTick = std::max(worstTick, NowUs() - t0);
    }
    std::printf("dispatcher, %d clients sent every tick: worst tick %.3f ms of 20 (goal < 10 ms: %s)\n", kTimers,
                worstTick / 1000.0, worstTick < 10'000 ? "met" : "missed");
    return 0;
}
