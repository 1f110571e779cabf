// PrintQuick into real ports: a FIFO standing for the printer device, a
// pseudo-terminal, and a CUPS raw queue (when cupsd can start here).
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <thread>

#include "lib/system/printquick.h"
#include "lib/system/pty.h"
#include "lib/system/serial.h"
#include "platform/runtime/numbers.h"

namespace fs = std::filesystem;
using lib::PrintQuick;

namespace {

struct Fifo {
    Fifo() {
        dir = fs::temp_directory_path() / ("qzpq" + std::to_string(getpid()));
        fs::create_directories(dir);
        path = (dir / "lp0").string();
        mkfifo(path.c_str(), 0600);
    }
    ~Fifo() { fs::remove_all(dir); }
    // Starts a reader that takes everything up to the writer's close.
    std::future<std::string> Reader() const {
        return std::async(std::launch::async, [p = path] {
            std::ifstream in(p, std::ios::binary);
            std::stringstream all;
            all << in.rdbuf();
            return all.str();
        });
    }
    std::string Print(PrintQuick& pq, bool eject = false, const std::string& port = "") const {
        auto got = Reader();
        pq.PrintIt(port.empty() ? path : port, eject);
        return got.get();
    }
    fs::path dir;
    std::string path;
};

TEST(PrintQuick, SpoolsTheBytesEachCallNames) {
    const struct {
        const char* what;
        std::function<void(PrintQuick&)> spool;
        std::string bytes;
    } cases[] = {
        {"QOUT", [](PrintQuick& p) { p.QOut("abc"); }, "     abc\r\n"},
        {"margin 0, a number",
         [](PrintQuick& p) {
             p.SetMargin(0);
             p.QQOut(12, false);
         },
         rt::AsString(12)},
        {"SKIPLINES", [](PrintQuick& p) { p.SkipLines(2); }, "     \r\n\r\n"},
        {"EJECTPAGE without CR", [](PrintQuick& p) { p.EjectPage(false); }, "\f"},
        {"EJECTPAGE", [](PrintQuick& p) { p.EjectPage(); }, "\f\r"},
        {"margin on every piece",
         [](PrintQuick& p) {
             p.SetMargin(2);
             p.QQOut("ab", false);
             p.QQOut("cd", false);
         },
         "  ab  cd"},
        {"RESETPRINTER", [](PrintQuick& p) { p.ResetPrinter(); },
         "\x1b"
         "E"},
        {"bytes as they are",
         [](PrintQuick& p) {
             p.SetMargin(0);
             p.QQOut(std::string("\0\xff\n", 3), false);
         },
         std::string("\0\xff\n", 3)},
        {"past 64 KiB",
         [](PrintQuick& p) {
             p.SetMargin(0);
             p.QQOut(std::string(70000, 'x'), false);
         },
         std::string(70000, 'x')},
    };
    Fifo port;
    for (const auto& c : cases) {
        auto pq = rt::New<PrintQuick>();
        c.spool(*pq);
        EXPECT_EQ(port.Print(*pq), c.bytes) << c.what;
        EXPECT_EQ(pq->LastPrintError(), 0u) << c.what;
    }
}

TEST(PrintQuick, PrintItEjectsByDefaultAndLateBoundCallsReachTheSameBytes) {
    Fifo port;
    auto pq = rt::New<PrintQuick>();
    const rt::Usual obj(pq);
    rt::Send(obj, "QOUT", {"x"});
    auto got = port.Reader();
    rt::Send(obj, "PRINTIT", {port.path});
    EXPECT_EQ(got.get(), "     x\r\n\f\r");
}

TEST(PrintQuick, ObjectsHaveTheirOwnBufferAndOutputAfterPrintStartsANewOne) {
    Fifo port;
    auto a = rt::New<PrintQuick>(), b = rt::New<PrintQuick>();
    EXPECT_NE(a->BufferPath(), b->BufferPath());
    EXPECT_EQ(fs::path(a->BufferPath()).filename(), "Printer.Buf");
    a->QQOut("A", false);
    b->QQOut("B", false);
    const std::string first = a->BufferPath();
    EXPECT_EQ(port.Print(*a), "     A");
    EXPECT_FALSE(fs::exists(first)) << "the buffer is deleted after the copy";
    EXPECT_EQ(port.Print(*b), "     B");
    a->QQOut("again", false);
    EXPECT_EQ(port.Print(*a), "     again");
}

TEST(PrintQuick, PortNamesGoThroughThePortMapAndAPtyTakesTheBytes) {
    Fifo fifo;
    setenv("QZ_PORTMAP", ("LPT2=" + fifo.path).c_str(), 1);
    auto pq = rt::New<PrintQuick>();
    pq->QQOut("mapped", false);
    EXPECT_EQ(fifo.Print(*pq, false, "lpt2"), "     mapped");

    Pty pty;
    setenv("QZ_PORTMAP", ("LPT1=" + pty.path).c_str(), 1);
    pq->QOut("pty");
    pq->PrintIt("PRN", true);  // PRN is LPT1
    unsetenv("QZ_PORTMAP");
    const std::string want = "     pty\r\n\f\r";
    EXPECT_EQ(pty.Take(want.size()), want);
}

TEST(PrintQuick, ATerminalGetsTheBytesUnchangedUnlessASerialObjectHoldsIt) {
    // A freshly opened tty turns LF into CR LF (OPOST ONLCR); the port must
    // get the spooled bytes as they are, and keep its settings afterwards.
    Pty pty(false);
    const termios before = pty.Settings();
    ASSERT_TRUE(before.c_oflag & OPOST);
    auto pq = rt::New<PrintQuick>();
    pq->SetMargin(0);
    pq->QQOut(std::string("a\nb\r\n"), false);
    pq->PrintIt(pty.path, false);
    EXPECT_EQ(pq->LastPrintError(), 0u);
    EXPECT_EQ(pty.Take(5), "a\nb\r\n");
    EXPECT_EQ(pty.Settings().c_oflag, before.c_oflag);

    auto serial = rt::New<lib::Serial>();
    ASSERT_TRUE(serial->Open(pty.path));
    pq->QOut("not into the scanner's traffic");
    pq->PrintIt(pty.path, false);
    EXPECT_EQ(pq->LastPrintError(), 5u) << "a port another handle holds is refused";
}

TEST(PrintQuick, AMissingPortIsReportedAndTheBufferStillGoes) {
    auto pq = rt::New<PrintQuick>();
    pq->QOut("lost");
    const std::string buf = pq->BufferPath();
    pq->PrintIt("/dev/qz-no-printer", false);
    EXPECT_EQ(pq->LastPrintError(), 2u);
    EXPECT_FALSE(fs::exists(buf));
    auto unnamed = rt::New<PrintQuick>();
    unnamed->PrintIt("COMX", false);
    EXPECT_EQ(unnamed->LastPrintError(), 2u);
}

TEST(PrintQuick, APortWithoutAReaderFailsWithoutHangingOrEndingTheProgram) {
    Fifo port;
    auto nobody = rt::New<PrintQuick>();
    nobody->QOut("nobody reads");
    nobody->PrintIt(port.path, false);  // no reader ever opens the FIFO
    EXPECT_EQ(nobody->LastPrintError(), 21u) << "the device is not ready";

    auto big = rt::New<PrintQuick>();
    big->QQOut(std::string(1 << 20, 'p'), false);  // far more than a pipe holds
    auto reader = std::async(std::launch::async, [p = port.path] {
        const int fd = open(p.c_str(), O_RDONLY);
        char head[16];
        (void)!read(fd, head, sizeof head);
        close(fd);  // the reader goes mid-job
    });
    big->PrintIt(port.path, false);
    reader.get();
    EXPECT_NE(big->LastPrintError(), 0u) << "the broken copy is reported, the program goes on";
}

// A private cupsd (tests/lib/system/cups_queue.sh) with a raw queue whose
// backend writes a file; skipped, with the reason, where it cannot start.
TEST(PrintQuick, RawJobReachesACupsQueue) {
    const fs::path dir = fs::temp_directory_path() / ("qzcups" + std::to_string(getpid()));
    const std::string start = std::string("bash " QZ_CUPS_QUEUE_SCRIPT " ") + dir.string() + " > " + dir.string() +
                              ".why";
    const int rc = std::system(start.c_str());
    std::ifstream whyFile(dir.string() + ".why");
    std::stringstream why;
    why << whyFile.rdbuf();
    fs::remove(dir.string() + ".why");
    auto stop = [&] {
        std::ifstream pidFile(dir / "cupsd.pid");
        pid_t pid = 0;
        if (pidFile >> pid && pid > 0) {
            kill(pid, SIGTERM);
            // cupsd is the script's child, not ours: wait until it has gone.
            for (int i = 0; i < 100 && kill(pid, 0) == 0; ++i) {
                std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
                std::string field;
                stat >> field >> field >> field;
                if (field == "Z") break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        unsetenv("CUPS_SERVER");
        unsetenv("QZ_PORTMAP");
        std::error_code ec;
        fs::remove_all(dir, ec);
    };
    if (rc != 0) {
        stop();
        GTEST_SKIP() << why.str();
    }
    setenv("CUPS_SERVER", (dir / "cups.sock").c_str(), 1);
    setenv("QZ_PORTMAP", "LPT1=cups:qzraw", 1);
    auto pq = rt::New<PrintQuick>();
    pq->QOut("via cups");
    pq->PrintIt();
    EXPECT_EQ(pq->LastPrintError(), 0u);
    const std::string want = "     via cups\r\n\f\r";
    std::string got;
    for (int i = 0; i < 200 && got != want; ++i) {  // the job runs in cupsd's own time
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(dir / "out" / "job.prn", std::ios::binary);
        std::stringstream all;
        all << in.rdbuf();
        got = all.str();
    }
    EXPECT_EQ(got, want);
    stop();
}

}  // namespace
