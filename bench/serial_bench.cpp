// Serial on a pty pair against plain read/write/poll on the same pair, in
// one run (openpty: the master is the far side, the device end a scanner
// would drive; the slave is the port Serial opens by path).
//
//   serial_bench [--mib N] [--chunk BYTES] [--reps N] [--events N]
//
// 1. Throughput, N MiB (default 8; what moves in 1 s when that is less) per
//    repetition in chunks (default 4096 bytes), --reps repetitions (default
//    5) of each side taken in turn (the one that goes first rotates); the
//    median MiB/s of each, and "vs plain", the median of the rounds' ratios
//    (each round's sides ran back to back, under the same load, which on
//    a busy machine moves far more between rounds than between the sides):
//    - far side -> port: a feeder thread keeps the master full; plain
//      read(2) of the slave fd against Serial READ of chunk bytes;
//    - port -> far side: a drain thread empties the master; plain write(2)
//      of the slave fd against Serial WRITE of chunk bytes.
//    The plain side moves each chunk whole, as READ and WRITE of chunk
//    bytes do with the bench's time-outs; a row of plain calls that take
//    what there is ("as it comes") is shown beside it for reference.
// 2. Latency, --events samples (default 1000) each: a byte written on the
//    master until
//    - a plain poll(2) on the slave fd wakes its thread (the bare wake-up);
//    - that thread's PostMessageA of WM_COMMNOTIFY reaches the owner
//      window's DISPATCH (the same message path without the comm layer);
//    - Serial's watcher (WaitCommEvent, PostMessageA) gets WM_COMMNOTIFY to
//      the same DISPATCH;
//    median and 99th percentile in microseconds, 1 ms between samples.
//
// Every wait is bounded, so the run ends in well under 30 s however busy
// the machine is: a repetition stops after 1 s and counts what it moved
// (one that moved nothing has stalled), a sample whose message has not come
// within 500 ms is missed, a latency series stops after 10 s (the samples
// not taken count as missed). The exit code is 1 when anything stalled or
// was missed.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "lib/system/serial.h"
#include "platform/gui/event.h"
#include "platform/gui/handles.h"
#include "platform/gui/message.h"
#include "platform/gui/testhooks.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRepetition = std::chrono::seconds(1);
constexpr auto kSampleWait = std::chrono::milliseconds(500);
constexpr auto kSeries = std::chrono::seconds(10);
// What READ waits for a chunk at most (its time-out below); so does plain.
constexpr auto kChunkWait = std::chrono::seconds(2);

int64_t NowNs() { return Clock::now().time_since_epoch().count(); }

struct Pair {
    Pair() {
        char n[256] = {};
        if (openpty(&master, &slave, n, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(2);
        }
        termios t{};
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        tcsetattr(slave, TCSANOW, &t);
        // Both plain ends wait in poll(2) with a time limit, never in a
        // blocking call (Serial's OPEN sets VMIN 0, so a blocking read of
        // the slave would return at once anyway).
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        fcntl(slave, F_SETFL, fcntl(slave, F_GETFL) | O_NONBLOCK);
        path = n;
    }
    ~Pair() {
        close(master);
        close(slave);
    }
    int master = -1, slave = -1;
    std::string path;
};

bool WaitFd(int fd, short events, int ms) {
    pollfd f{fd, events, 0};
    return poll(&f, 1, ms) > 0;
}

// The far side's helpers, until stop: keep the master written, or read.
void Feed(int fd, const std::string& block, const std::atomic<bool>& stop) {
    size_t off = 0;
    while (!stop) {
        const ssize_t w = write(fd, block.data() + off, block.size() - off);
        if (w > 0) off = (off + size_t(w)) % block.size();
        else WaitFd(fd, POLLOUT, 100);
    }
}

void Drain(int fd, const std::atomic<bool>& stop) {
    std::vector<char> buf(65536);
    while (!stop)
        if (read(fd, buf.data(), buf.size()) <= 0) WaitFd(fd, POLLIN, 100);
}

// MiB/s of one repetition that moves total bytes with step (bytes moved by
// one call), or what it moved in kRepetition; 0 when it moved nothing.
template <class Step>
double Rate(size_t total, Step step) {
    const auto t0 = Clock::now();
    size_t moved = 0;
    while (moved < total && Clock::now() - t0 < kRepetition) moved += step(total - moved);
    return double(moved) / double(1 << 20) / std::chrono::duration<double>(Clock::now() - t0).count();
}

// reps rounds of the sides, each round starting one side further on, so
// that no side always runs on a queue another has just filled or drained.
void Rotate(int reps, const std::vector<std::function<void()>>& sides) {
    for (int r = 0; r < reps; ++r)
        for (size_t i = 0; i < sides.size(); ++i) sides[(size_t(r) + i) % sides.size()]();
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

std::string Runs(const std::vector<double>& v) {
    std::string s;
    for (double x : v) {
        char b[32];
        std::snprintf(b, sizeof b, "%s%.1f", s.empty() ? "" : " ", x);
        s += b;
    }
    return s;
}

bool gFault = false;

// The goals: READ and WRITE at least 0.9 of plain read(2)/write(2) on the
// same pair, and the watcher's p99 no more than 200 us behind the plain
// poll(2) thread that posts the same message.
constexpr double kGoalVsPlain = 0.9;
constexpr double kGoalP99BehindUs = 200;
double gReadVsPlain = 0, gWriteVsPlain = 0, gPlainP99 = 0, gWatcherP99 = 0;

// One row: the median of runs and the median ratio of runs to the plain
// runs of the same rounds; that ratio.
double ThroughputRow(const char* name, const std::vector<double>& runs, const std::vector<double>& plain) {
    const bool stalled = std::count(runs.begin(), runs.end(), 0.0) > 0;
    gFault |= stalled;
    std::vector<double> ratios;
    for (size_t i = 0; i < runs.size() && i < plain.size(); ++i)
        if (plain[i] > 0) ratios.push_back(runs[i] / plain[i]);
    const double ratio = Median(ratios);
    std::printf("  %-20s %9.1f %9.2f   [%s]%s\n", name, Median(runs), ratio, Runs(runs).c_str(),
                stalled ? "  STALLED" : "");
    return ratio;
}

std::shared_ptr<lib::Serial> OpenSerial(const std::string& path, int64_t window = 0) {
    auto s = rt::New<lib::Serial>();
    const rt::Usual init[] = {window ? rt::Usual(window) : rt::Usual()};
    s->Init(rt::Args(init, 1));
    if (!s->Open(path)) {
        std::fprintf(stderr, "Serial OPEN of %s failed: %s (%s)\n", path.c_str(), s->ErrorDesc().c_str(),
                     s->ErrorCode().c_str());
        std::exit(2);
    }
    // A READ waits at most 2 s (the default allows 500 ms a byte).
    s->SetReadTimeoutMultiplier(0);
    s->SetReadTimeoutConstant(2000);
    s->SetTimeout();
    return s;
}

// One direction, toPort (far side -> port: the master is kept full, the
// slave read) or back (the slave written, the master drained): plain calls
// on the slave fd against Serial's READ or WRITE, reps times each.
//
// The plain side the goal compares with does the work READ(chunk) and
// WRITE do with the time-outs set above: each chunk whole, waiting in
// poll(2) for what is missing. A pty's line discipline holds 4095 bytes, so
// a whole read of 4096 waits, after taking the first 4095, for the kernel to
// move the next byte in; plain calls that take what is there ("as it
// comes", shown for reference) never wait for that.
void Throughput(bool toPort, size_t total, size_t chunk, int reps) {
    Pair p;
    auto s = OpenSerial(p.path);
    std::atomic<bool> stop{false};
    const std::string block(chunk, 'x');
    std::thread farSide = toPort ? std::thread(Feed, p.master, std::cref(block), std::cref(stop))
                                 : std::thread(Drain, p.master, std::cref(stop));
    std::vector<char> buf(chunk);
    const auto move = [&](size_t at, size_t n) {
        return toPort ? read(p.slave, buf.data() + at, n) : write(p.slave, block.data() + at, n);
    };
    const auto asItComes = [&](size_t left) -> size_t {
        const ssize_t n = move(0, std::min(chunk, left));
        if (n > 0) return size_t(n);
        WaitFd(p.slave, toPort ? POLLIN : POLLOUT, 100);
        return 0;
    };
    const auto whole = [&](size_t left) -> size_t {
        const size_t want = std::min(chunk, left);
        const auto end = Clock::now() + kChunkWait;
        size_t moved = 0;
        while (moved < want && Clock::now() < end) {
            const ssize_t n = move(moved, want - moved);
            if (n > 0) moved += size_t(n);
            else WaitFd(p.slave, toPort ? POLLIN : POLLOUT, 100);
        }
        return moved;
    };
    const auto serialStep = [&](size_t left) -> size_t {
        const size_t want = std::min(chunk, left);
        return toPort ? s->Read(static_cast<uint32_t>(want)).size()
                      : s->Write(want == chunk ? block : block.substr(0, want));
    };
    std::vector<double> plain, comes, serial;
    Rotate(reps, {[&] { plain.push_back(Rate(total, whole)); }, [&] { comes.push_back(Rate(total, asItComes)); },
                  [&] { serial.push_back(Rate(total, serialStep)); }});
    stop = true;
    farSide.join();
    s->Close();
    std::printf("%s\n", toPort ? "far side -> port (read)" : "port -> far side (write)");
    ThroughputRow(toPort ? "read(2), whole" : "write(2), whole", plain, plain);
    ThroughputRow(toPort ? "read(2), as it comes" : "write(2), as it comes", comes, plain);
    (toPort ? gReadVsPlain : gWriteVsPlain) = ThroughputRow(toPort ? "Serial READ" : "Serial WRITE", serial, plain);
}

// The owner window's object: the time each WM_COMMNOTIFY reaches DISPATCH.
class Owner : public rt::Object {
    QZ_OBJECT(Owner)
public:
    int64_t sentNs = 0;
    std::vector<double> us;
};

const rt::ClassDef& Owner::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Owner>("SERIALBENCHOWNER")
                                       .RawMethod("DISPATCH",
                                                  [](rt::Object& o, rt::Args a) {
                                                      auto& w = static_cast<Owner&>(o);
                                                      const gui::Event* e = gui::EventArg(a);
                                                      if (e && e->uMsg == gui::WM_COMMNOTIFY && e->wParam == 1)
                                                          w.us.push_back(double(NowNs() - w.sentNs) / 1000.0);
                                                      return rt::Usual(int64_t{0});
                                                  })
                                       .Done();
    return c;
}

// Writes one byte on the far side per sample and runs the event loop until
// DISPATCH has it and consumed() holds; the samples missed.
template <class Consumed, class Consume>
int Sample(Pair& p, Owner& owner, std::atomic<int64_t>& sentNs, int events, Consumed consumed, Consume consume) {
    int missed = 0;
    owner.us.clear();
    const auto seriesEnd = Clock::now() + kSeries;
    for (int i = 0; i < events; ++i) {
        if (Clock::now() > seriesEnd) return missed + events - i;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const size_t before = owner.us.size();
        const int64_t t = NowNs();
        owner.sentNs = t;
        sentNs = t;
        if (write(p.master, "k", 1) != 1) return events - i + missed;
        const auto end = Clock::now() + kSampleWait;
        // The loop's 50 ms wake-up timer bounds each wait for events.
        while (owner.us.size() == before && Clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (owner.us.size() == before) ++missed;
        while (!consumed(i) && Clock::now() < end) std::this_thread::yield();
        consume();
    }
    return missed;
}

void LatencyRow(const char* name, const std::vector<double>& us, int missed) {
    gFault |= missed > 0;
    std::printf("  %-38s %9.1f %9.1f", name, Percentile(us, 0.5), Percentile(us, 0.99));
    if (missed) std::printf("   %d MISSED", missed);
    std::printf("\n");
}

void LatencyPhase(int events) {
    Pair p;
    QObject window;
    auto owner = rt::New<Owner>();
    gui::LinkHandle(&window, owner);
    const gui::HWND h = gui::HandleOf(&window);
    QTimer tick;
    tick.start(50);

    // Plain: a thread in poll(2) on the slave posts to the same window.
    std::vector<double> wakeUs;
    std::atomic<int64_t> sentNs{0};
    std::atomic<int> taken{0};
    std::atomic<bool> stop{false};
    std::thread poller([&] {
        char c;
        while (!stop) {
            if (!WaitFd(p.slave, POLLIN, 100)) continue;
            wakeUs.push_back(double(NowNs() - sentNs.load()) / 1000.0);
            gui::PostMessageA(h, gui::WM_COMMNOTIFY, 1, 0);
            while (read(p.slave, &c, 1) == 1) {
            }
            ++taken;
        }
    });
    const int plainMissed = Sample(
        p, *owner, sentNs, events, [&](int i) { return taken.load() > i; }, [] {});
    std::vector<double> plainUs = owner->us;
    stop = true;
    poller.join();

    // Serial: the watcher thread of ENABLEEVENTS.
    auto s = OpenSerial(p.path, int64_t(h));
    std::vector<double> serialUs;
    int serialMissed = events;
    if (s->EnableEvents(os::EV_RXCHAR)) {
        serialMissed = Sample(
            p, *owner, sentNs, events, [](int) { return true; }, [&] { s->Read(1); });
        serialUs = owner->us;
    }
    s->Close();
    gui::UnlinkHandle(&window);

    std::printf("latency, byte written on the far side until ... (us, %d samples)\n", events);
    std::printf("  %-38s %9s %9s\n", "", "median", "p99");
    LatencyRow("poll(2) wakes its thread, plain", wakeUs, plainMissed);
    LatencyRow("poll(2) thread + PostMessageA: DISPATCH", plainUs, plainMissed);
    LatencyRow("Serial watcher: WM_COMMNOTIFY DISPATCH", serialUs, serialMissed);
    gPlainP99 = Percentile(plainUs, 0.99);
    gWatcherP99 = Percentile(serialUs, 0.99);
}

}  // namespace

int main(int argc, char** argv) {
    size_t mib = 8, chunk = 4096;
    int reps = 5, events = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--mib")) mib = std::max<size_t>(1, std::strtoul(argv[i + 1], nullptr, 10));
        else if (!std::strcmp(argv[i], "--chunk")) chunk = std::max<size_t>(1, std::strtoul(argv[i + 1], nullptr, 10));
        else if (!std::strcmp(argv[i], "--reps")) reps = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--events")) events = std::max(1, std::atoi(argv[i + 1]));
    }
    QCoreApplication qt(argc, argv);
    // No screen: a box Serial would show (a short READ) is counted instead.
    gui::TestHooks::SetOn(true);
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const auto t0 = Clock::now();
    std::printf("serial_bench: pty pair, %zu MiB (or 1 s) x %d repetitions in %zu-byte chunks\n", mib, reps, chunk);
    // The figures move with what else the machine runs: its load, beside them.
    if (FILE* f = std::fopen("/proc/loadavg", "r")) {
        double one = 0, five = 0;
        if (std::fscanf(f, "%lf %lf", &one, &five) == 2)
            std::printf("load average %.2f (1 min), %.2f (5 min), %u cores\n", one, five,
                        std::thread::hardware_concurrency());
        std::fclose(f);
    }
    std::printf("  %-20s %9s %9s   [each repetition]\n", "", "MiB/s", "vs plain");
    Throughput(true, mib << 20, chunk, reps);
    Throughput(false, mib << 20, chunk, reps);
    std::printf("\n");
    LatencyPhase(events);
    std::printf("\ngoals (the figures move with the machine's load: compare at a load of about 2)\n");
    const auto goal = [](const char* what, bool met) { std::printf("  %-52s %s\n", what, met ? "met" : "MISSED"); };
    goal("Serial READ at least 0.90 of plain read(2)", gReadVsPlain >= kGoalVsPlain);
    goal("Serial WRITE at least 0.90 of plain write(2)", gWriteVsPlain >= kGoalVsPlain);
    goal("watcher p99 at most 200 us behind the plain poll thread", gWatcherP99 <= gPlainP99 + kGoalP99BehindUs);
    const size_t boxes = gui::TestHooks::Boxes().size();
    if (boxes) std::printf("\n%zu short READs (\"Not all bytes requested returned.\")\n", boxes);
    std::printf("\ntotal %.1f s\n", std::chrono::duration<double>(Clock::now() - t0).count());
    return gFault ? 1 : 0;
}
