// Serial on real pseudo-terminals: the test holds the master side (the
// "device" end a scanner would drive) and Serial opens the slave by path.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QWidget>

#include <gtest/gtest.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <thread>

#include "lib/system/pty.h"
#include "lib/system/serial.h"
#include "platform/gui/event.h"
#include "platform/gui/handles.h"
#include "platform/gui/testhooks.h"
#include "support/thread_names.h"

namespace {

using lib::Serial;

// Runs the event loop until pred holds (or 5 s pass: a failure, not a wait).
template <class P>
bool Until(P pred) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!pred() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return pred();
}

// The owner window's object: counts WM_COMMNOTIFY (wParam 1) in DISPATCH.
class CommWindow : public rt::Object {
    QZ_OBJECT(CommWindow)
public:
    int commNotify = 0;
};
const rt::ClassDef& CommWindow::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<CommWindow>("SERIALTESTWINDOW")
                                       .RawMethod("DISPATCH",
                                                  [](rt::Object& o, rt::Args a) {
                                                      auto* e = dynamic_cast<gui::Event*>(a[0].AsObject().get());
                                                      if (e->uMsg == gui::WM_COMMNOTIFY && e->wParam == 1)
                                                          ++static_cast<CommWindow&>(o).commNotify;
                                                      return rt::Usual(int64_t{0});
                                                  })
                                       .Done();
    return c;
}

// WaitCommEvent on h, ended by clearing the mask (it then reports no
// event) if it has not returned within 5 s, so a wait that misses what it
// should see fails the test instead of hanging it. The result and the
// error code of the wait.
std::pair<bool, os::DWORD> GuardedWait(os::HANDLE h, os::DWORD& events) {
    std::atomic<bool> returned{false};
    std::thread guard([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!returned && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!returned) (void)os::SetCommMask(h, 0);  // the wait below shows whether it ended
    });
    events = 0;
    const bool ok = os::WaitCommEvent(h, &events, nullptr);
    const os::DWORD code = os::GetLastError();
    returned = true;
    guard.join();
    return {ok, code};
}

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override { gui::TestHooks::Clear(); }
    std::shared_ptr<Serial> Opened(rt::Usual owner = {}) {
        auto s = rt::New<Serial>();
        const rt::Usual a[] = {owner};
        s->Init(rt::Args(a, 1));
        EXPECT_TRUE(s->Open(pty.path)) << s->ErrorDesc() << " " << s->ErrorCode();
        return s;
    }
    // The pty opened as Serial opens it, with no time-outs: a read waits
    // until its bytes are in or it is ended.
    os::HANDLE OpenWithoutTimeOuts() {
        const os::HANDLE h = os::CreateFileA(pty.path, os::GENERIC_READ | os::GENERIC_WRITE, 0, nullptr,
                                             os::OPEN_EXISTING, os::FILE_FLAG_OVERLAPPED, 0);
        os::COMMTIMEOUTS none{};
        EXPECT_TRUE(os::SetCommTimeouts(h, &none));
        return h;
    }
    void ShortReads(Serial& s, int constantMs) {
        s.SetReadTimeoutMultiplier(0);
        s.SetReadTimeoutConstant(constantMs);
        ASSERT_TRUE(s.SetTimeout());
    }
    Pty pty;
};

TEST_F(SerialTest, FreshObjectIsClosedWithDefaultQueuesAndNoError) {
    auto s = rt::New<Serial>();
    const rt::Usual obj(s);
    EXPECT_FALSE(rt::IVarGet(obj, rt::Symbol("ISOPEN")).AsLogic());
    EXPECT_EQ(rt::IVarGet(obj, rt::Symbol("RECEIVERPENDING")).AsLong(), 0);
    EXPECT_EQ(rt::IVarGet(obj, rt::Symbol("TRAMSMITBUFFERSIZE")).AsLong(), 4096);
    EXPECT_EQ(rt::IVarGet(obj, rt::Symbol("RECEIVEBUFFERSIZE")).AsLong(), 4096);
    EXPECT_FALSE(rt::Send(obj, "GETPROTOCOL").AsLogic());
    EXPECT_FALSE(rt::Send(obj, "SETTIMEOUT").AsLogic());
    EXPECT_FALSE(rt::Send(obj, "CLOSE").AsLogic());
    EXPECT_EQ(s->ErrorDesc(), "");
    EXPECT_TRUE(rt::Send(obj, "DISABLEEVENTS").AsLogic());
    // The transmit size is written under its right name only.
    rt::IVarPut(obj, rt::Symbol("TRANSMITBUFFERSIZE"), 8192);
    EXPECT_EQ(rt::IVarGet(obj, rt::Symbol("TRAMSMITBUFFERSIZE")).AsLong(), 8192);
}

TEST_F(SerialTest, OpenOfMissingDeviceFailsWithFileNotFound) {
    auto s = rt::New<Serial>();
    EXPECT_FALSE(s->Open("/dev/qz-no-such-tty"));
    EXPECT_FALSE(s->IsOpen());
    EXPECT_EQ(s->ErrorDesc(), "CreateFile failed in Open.");
    EXPECT_EQ(s->ErrorCode(), "2");
    const int locked = posix_openpt(O_RDWR | O_NOCTTY);  // its slave node is there, the port is not (EIO)
    EXPECT_FALSE(s->Open(ptsname(locked)));
    EXPECT_EQ(s->ErrorCode(), "2");
    close(locked);
    setenv("QZ_PORTMAP", ("COM7=" + pty.path).c_str(), 1);
    EXPECT_TRUE(s->Open("\\\\.\\COM7")) << "a mapped port name reaches its device";
    unsetenv("QZ_PORTMAP");
}

TEST_F(SerialTest, OpenSetsDefaultsThatReachTheDevice) {
    auto s = Opened();
    const rt::Usual obj(s);
    const std::pair<const char*, double> expected[] = {{"BAUD", 9600},
                                                       {"BYTESIZE", 8},
                                                       {"PARITY", 0},
                                                       {"STOPBITS", 0},
                                                       {"READINTERVALTIMEOUT", 4294967295.0},
                                                       {"READTIMEOUTMULTIPLIER", 500},
                                                       {"READTIMEOUTCONSTANT", 1000},
                                                       {"WRITETIMEOUTMULTIPLIER", 0},
                                                       {"WRITETIMEOUTCONSTANT", 1000}};
    for (auto [name, value] : expected) EXPECT_EQ(rt::IVarGet(obj, rt::Symbol(name)).AsDouble(), value) << name;
    EXPECT_TRUE(rt::IVarGet(obj, rt::Symbol("READINTERVALTIMEOUT")).IsFloat());
    const termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8));
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
}

TEST_F(SerialTest, AssignsCheckValuesAndSetProtocolReachesTheDevice) {
    auto s = Opened();
    EXPECT_EQ(s->SetBaud(57600).AsLong(), 9600);
    EXPECT_EQ(s->SetBaud(115200).AsLong(), 9600);
    EXPECT_EQ(s->SetByteSize(6).AsLong(), 8);
    EXPECT_EQ(s->SetParity(5).AsLong(), 0);
    EXPECT_EQ(s->SetStopBits(3).AsLong(), 0);
    s->SetBaud(19200);
    s->SetStopBits(2);
    ASSERT_TRUE(s->SetProtocol());
    termios t = pty.Settings();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8 | CSTOPB));
    // A pty makes only 8 bits without parity: a frame it cannot make fails
    // and leaves the device as it was.
    s->SetByteSize(7);
    s->SetParity(2);
    EXPECT_FALSE(s->SetProtocol());
    EXPECT_EQ(s->ErrorDesc(), "SetCommState failed in SetProtocol.");
    EXPECT_EQ(s->ErrorCode(), "87");
    t = pty.Settings();
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB), tcflag_t(CS8 | CSTOPB));
    s->SetByteSize(8);
    s->SetParity(0);
    // A rate without a termios constant goes through as it is.
    s->SetBaud(14400);
    ASSERT_TRUE(s->SetProtocol());
    s->SetBaud(300);
    ASSERT_TRUE(s->GetProtocol());
    EXPECT_EQ(s->Baud().AsLong(), 14400);
    EXPECT_EQ(s->StopBits().AsLong(), 2);
}

TEST_F(SerialTest, ReadsFollowTheTimeOuts) {
    auto s = Opened();
    const rt::Usual obj(s);
    pty.Send("abcd");
    EXPECT_EQ(s->Read(3), "abc");
    EXPECT_EQ(rt::Send(obj, "READ").AsStr(), "d") << "no count reads one byte";
    EXPECT_EQ(s->Read(0u), "");
    EXPECT_EQ(rt::Send(obj, "READ", {-1}).AsStr(), "") << "a negative count reads nothing";
    EXPECT_TRUE(gui::TestHooks::Boxes().empty());

    ShortReads(*s, 100);
    pty.Send("xy");
    EXPECT_EQ(s->Read(5), "xy");
    ASSERT_EQ(gui::TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(gui::TestHooks::Boxes()[0].caption, "ReadTest");
    EXPECT_EQ(gui::TestHooks::Boxes()[0].text, "Not all bytes requested returned.");

    EXPECT_EQ(s->Read(2), "");
    EXPECT_EQ(gui::TestHooks::Boxes().size(), 1u) << "an empty time-out shows no box";
    EXPECT_EQ(s->ErrorDesc(), "");
}

// GCC tells of AddressSanitizer with a macro, clang with a feature test.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

TEST_F(SerialTest, AHugeCountWaitsItsTimeOutWithoutTakingItsBuffer) {
    auto s = Opened();
    ShortReads(*s, 50);
    pty.Send("q");
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_EQ(rt::Send(rt::Usual(s), "READ", {4294967295.0}).AsStr(), "q");
    getrusage(RUSAGE_SELF, &after);
    // AddressSanitizer fills the shadow of the whole buffer.
    if (!kAddressSanitizer) {
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 65536) << "KiB taken for one byte";
    }
}

TEST_F(SerialTest, WriteSendsBytesAndATimedOutWriteIsReported) {
    auto s = Opened();
    EXPECT_EQ(s->Write(std::string("he\0llo", 6)), 6u);
    EXPECT_EQ(pty.Take(6), std::string("he\0llo", 6));

    s->SetWriteTimeoutConstant(100);
    ASSERT_TRUE(s->SetTimeout());
    const std::string big(4 << 20, 'z');  // far more than the pty buffers hold
    const uint32_t n = s->Write(big);
    EXPECT_GT(n, 0u);
    EXPECT_LT(n, big.size());
    EXPECT_EQ(s->ErrorDesc(), "Error writing to device.");
}

TEST_F(SerialTest, PendingBytesAreCountedAndPurged) {
    auto s = Opened();
    pty.Send("12345");
    ASSERT_TRUE(Until([&] { return s->ReceiverPending() == 5; }));
    EXPECT_TRUE(s->Flush());
    EXPECT_EQ(s->ReceiverPending(), 0u);
    EXPECT_TRUE(s->Close());
    EXPECT_FALSE(s->IsOpen());
    EXPECT_FALSE(s->Flush());
    EXPECT_EQ(s->ErrorDesc(), "PurgeComm failed.");
    EXPECT_EQ(s->ErrorCode(), "6");
}

TEST_F(SerialTest, ArrivalsPostCommNotifyToAWindowUntilEventsAreOff) {
    QWidget window;
    window.show();
    auto owner = rt::New<CommWindow>();
    gui::LinkHandle(&window, owner);
    auto s = Opened(rt::Usual(int64_t(gui::HandleOf(&window))));
    EXPECT_TRUE(s->EnableEvents(os::EV_RXCHAR));
    EXPECT_FALSE(s->EnableEvents(os::EV_RXCHAR)) << "one watcher only";
    pty.Send("A");
    ASSERT_TRUE(Until([&] { return owner->commNotify >= 1; }));
    EXPECT_EQ(s->Read(1), "A");
    EXPECT_TRUE(s->DisableEvents());
    EXPECT_FALSE(s->EventsOn());
    EXPECT_TRUE(s->EnableEvents(os::EV_RXCHAR)) << "events can start again";
    EXPECT_TRUE(s->Close()) << "CLOSE stops the watcher";
    gui::UnlinkHandle(&window);
}

TEST_F(SerialTest, ArrivalAfterTheReportedBytesWereReadIsReported) {
    // The reported byte is read and a new one arrives before the watcher
    // looks at the queue again: the queue holds as many bytes as before,
    // yet they are new and the wait must end.
    auto s = Opened();
    const os::HANDLE h = s->PortHandle();
    ASSERT_TRUE(os::SetCommMask(h, os::EV_RXCHAR));
    os::DWORD events = 0;
    pty.Send("A");
    ASSERT_TRUE(os::WaitCommEvent(h, &events, nullptr));
    ASSERT_EQ(events, os::EV_RXCHAR);
    EXPECT_EQ(s->Read(1), "A");
    pty.Send("B");
    EXPECT_TRUE(GuardedWait(h, events).first);
    EXPECT_EQ(events, os::EV_RXCHAR);
    EXPECT_EQ(s->Read(1), "B");
}

TEST_F(SerialTest, PendingReadsTakeTheBytesInTheOrderTheyWereStarted) {
    auto s = Opened();
    os::OVERLAPPED ov[8];
    char buf[8][2];
    for (int i = 0; i < 8; ++i) ASSERT_FALSE(os::ReadFile(s->PortHandle(), buf[i], 2, nullptr, &ov[i]));
    pty.Send("0011223344556677");
    for (int i = 0; i < 8; ++i) {
        os::DWORD got = 0;
        EXPECT_TRUE(os::GetOverlappedResult(s->PortHandle(), &ov[i], &got, 1));
        EXPECT_EQ(std::string(buf[i], got), std::string(2, char('0' + i))) << "read " << i;
    }
}

TEST_F(SerialTest, PortHeldByAnotherProcessIsAccessDenied) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(pty.path.c_str(), O_RDWR | O_NOCTTY);
        const char ok = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        pause();
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    auto s = rt::New<Serial>();
    EXPECT_FALSE(s->Open(pty.path));
    EXPECT_EQ(s->ErrorCode(), "5");
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_TRUE(s->Open(pty.path)) << "free again once the holder is gone";
}

TEST_F(SerialTest, ClosingAPortJoinsItsLaneAndDisablingEventsJoinsTheWatcher) {
    // A read with no time-out waits on the read lane until the handle closes.
    const os::HANDLE h = OpenWithoutTimeOuts();
    ASSERT_NE(h, os::INVALID_HANDLE_VALUE);
    char byte = 0;
    os::OVERLAPPED ov;
    ov.hEvent = os::CreateEventA(nullptr, 1, 0, nullptr);
    ASSERT_FALSE(os::ReadFile(h, &byte, 1, nullptr, &ov));
    ASSERT_EQ(os::GetLastError(), os::ERROR_IO_PENDING);
    ASSERT_TRUE(Until([] { return ThreadsNamed("qz-lane") == 1; }));
    ASSERT_TRUE(os::CloseHandle(h));
    EXPECT_EQ(ThreadsNamed("qz-lane"), 0) << "joined by CloseHandle, not left to end by itself";
    EXPECT_EQ(os::WaitForSingleObject(ov.hEvent, 0), os::WAIT_OBJECT_0) << "the read was ended";
    os::CloseHandle(ov.hEvent);

    auto s = Opened();
    ASSERT_TRUE(s->EnableEvents(os::EV_RXCHAR));
    ASSERT_TRUE(Until([] { return ThreadsNamed("qz-commwatch") == 1; }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(s->DisableEvents());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "woken, not polled";
    EXPECT_EQ(ThreadsNamed("qz-commwatch"), 0);
}

TEST_F(SerialTest, ReopenAndFinaliserReleaseThePort) {
    auto s = Opened();
    EXPECT_TRUE(s->Open(pty.path)) << "the old handle is closed first, not left holding the lock";
    s->EnableEvents(os::EV_RXCHAR);
    s.reset();  // the finaliser stops the watcher and closes the port
    auto again = rt::New<Serial>();
    EXPECT_TRUE(again->Open(pty.path));
}

TEST_F(SerialTest, APortClosedAfterAPendingReadOpensAgainAtOnce) {
    auto s = Opened();
    ShortReads(*s, 1);
    EXPECT_EQ(s->Read(1), "");  // pending, then timed out
    ASSERT_TRUE(s->Close());
    EXPECT_TRUE(s->Open(pty.path)) << s->ErrorCode();
}

TEST_F(SerialTest, UnpluggingTheFarSideEndsAPendingReadWithTheBytesItHad) {
    auto s = Opened();
    pty.Send("abc");
    ASSERT_TRUE(Until([&] { return s->ReceiverPending() == 3; }));
    std::thread unplug([&] {
        // Once the read has taken the three bytes (a hang-up drops unread ones).
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (s->ReceiverPending() > 0 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        close(pty.master);
        pty.master = -1;
    });
    EXPECT_EQ(s->Read(10), "abc");
    unplug.join();
    EXPECT_EQ(s->ErrorDesc(), "ReadFile failed in Serial:ReadCommBlock(1).");
    EXPECT_EQ(s->ErrorCode(), "1167");
}

TEST_F(SerialTest, AReadEndedByACloseFromAnotherThreadKeepsItsBytes) {
    const os::HANDLE h = OpenWithoutTimeOuts();
    ASSERT_NE(h, os::INVALID_HANDLE_VALUE);
    os::DWORD errors = 0;
    os::COMSTAT stat;
    const auto queued = [&] { return os::ClearCommError(h, &errors, &stat) ? stat.cbInQue : 99; };
    pty.Send("abc");
    ASSERT_TRUE(Until([&] { return queued() == 3; }));
    char buf[10] = {};
    os::OVERLAPPED ov;
    ASSERT_FALSE(os::ReadFile(h, buf, sizeof buf, nullptr, &ov));  // three bytes there, ten asked for
    std::thread closer([&] {
        // Once the pending read has taken the bytes.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < end && queued() > 0) std::this_thread::yield();
        (void)os::CloseHandle(h);
    });
    os::DWORD got = 0;
    EXPECT_FALSE(os::GetOverlappedResult(h, &ov, &got, 1));
    closer.join();
    EXPECT_EQ(os::GetLastError(), os::ERROR_OPERATION_ABORTED);
    EXPECT_EQ(std::string(buf, got), "abc");
}

TEST_F(SerialTest, UnpluggingTheFarSideEndsTheEventWait) {
    // A hung-up pty polls readable with nothing to read: the wait must end
    // with the device gone, not spin on it.
    auto s = Opened();
    const os::HANDLE h = s->PortHandle();
    ASSERT_TRUE(os::SetCommMask(h, os::EV_RXCHAR));
    close(pty.master);
    pty.master = -1;
    os::DWORD events = 0;
    const auto [ok, code] = GuardedWait(h, events);
    EXPECT_FALSE(ok);
    EXPECT_EQ(code, os::ERROR_DEVICE_NOT_CONNECTED);
}

// All bytes a far side reads from fd (non-blocking reads in poll) until
// want have come or nothing more comes for 2 s.
size_t TakeAll(int fd, size_t want) {
    size_t got = 0;
    char buf[65536];
    pollfd p{fd, POLLIN, 0};
    while (got < want && poll(&p, 1, 2000) > 0) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        got += size_t(n);
    }
    return got;
}

TEST_F(SerialTest, EveryByteAWriteCountedReachesTheFarSideAfterClose) {
    // The far side reads only after CLOSE: the bytes sit in its input, which
    // CLOSE's purge must leave alone.
    auto s = Opened();
    EXPECT_EQ(s->Write(std::string(8000, 'W')), 8000u);
    ASSERT_TRUE(s->Close());
    EXPECT_EQ(TakeAll(pty.master, 8000), 8000u);
}

// A linked pty pair made by socat: a and b, the two ends.
struct Socat {
    Socat() {
        dir = std::filesystem::temp_directory_path() / ("qzsocat" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        a = (dir / "a").string();
        b = (dir / "b").string();
        pid = fork();
        if (pid == 0) {
            execlp("socat", "socat", ("pty,raw,echo=0,link=" + a).c_str(), ("pty,raw,echo=0,link=" + b).c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Socat() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        std::filesystem::remove_all(dir);
    }
    bool Ready() const {
        return Until([&] { return std::filesystem::exists(a) && std::filesystem::exists(b); });
    }
    std::filesystem::path dir;
    std::string a, b;
    pid_t pid = -1;
};

TEST(SerialSocat, BytesCrossALinkedPtyPairAndNoneIsLostAtClose) {
    if (std::system("command -v socat >/dev/null") != 0) GTEST_SKIP() << "socat is not installed";
    Socat link;
    ASSERT_TRUE(link.Ready());
    auto left = rt::New<Serial>(), right = rt::New<Serial>();
    ASSERT_TRUE(left->Open(link.a)) << left->ErrorDesc();
    ASSERT_TRUE(right->Open(link.b)) << right->ErrorDesc();
    EXPECT_EQ(left->Write("scan:4006381333931\r"), 19u);
    EXPECT_EQ(right->Read(19), "scan:4006381333931\r");
    EXPECT_EQ(right->Write("ok"), 2u);
    EXPECT_EQ(left->Read(2), "ok");
    right->Close();

    // 300,000 bytes, the far side reading as they come and after the CLOSE.
    const int far = open(link.b.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(far, 0);
    auto got = std::async(std::launch::async, [&] { return TakeAll(far, 300000); });
    left->SetWriteTimeoutConstant(5000);
    ASSERT_TRUE(left->SetTimeout());
    const uint32_t written = left->Write(std::string(300000, 'S'));
    left->Close();
    EXPECT_EQ(got.get(), written);
    EXPECT_EQ(written, 300000u) << left->ErrorDesc();
    close(far);
}

}  // namespace
