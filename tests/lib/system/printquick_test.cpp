// PrintQuick into real ports: a FIFO standing for the printer device, a
// pseudo-terminal, and a CUPS raw queue (when cupsd can start here).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
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
#include "platform/runtime/settings.h"

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

std::string FileText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(PrintQuick, AFileIsReplacedByTheJobInThePrintersCodePage) {
    Fifo scratch;
    const std::string file = (scratch.dir / "out.prn").string();
    std::ofstream(file) << std::string(174, '#');
    const std::string text =
        "Gr\xc3\xbc\xc3\x9f"
        "e \xe2\x80\x93 caf\xc3\xa9";  // "Grüße – café"
    const struct {
        const char* map;  // LPT3's map entry, or "" for the path itself
        std::string bytes;
    } cases[] = {
        {"",
         "Gr\x81\xe1"
         "e - caf\x82"},  // the OEM code page of the C locale: 437
        {",850",
         "Gr\x81\xe1"
         "e - caf\x82"},
        {",utf-8", text},
    };
    for (const auto& c : cases) {
        setenv("QZ_PORTMAP", ("LPT3=" + file + c.map).c_str(), 1);
        auto pq = rt::New<PrintQuick>();
        pq->SetMargin(0);
        pq->QQOut(text, false);
        pq->PrintIt(*c.map ? "LPT3" : file, false);
        EXPECT_EQ(pq->LastPrintError(), 0u) << c.map;
        EXPECT_EQ(FileText(file), c.bytes) << c.map << ": the whole file is the job";
    }
    unsetenv("QZ_PORTMAP");
    const std::string missing = (scratch.dir / "new.prn").string();
    auto pq = rt::New<PrintQuick>();
    pq->QQOut("new", false);
    pq->PrintIt(missing, false);
    EXPECT_EQ(FileText(missing), "     new") << "a missing file is created";
}

// A CUPS server that takes connections and never answers.
struct SilentServer {
    SilentServer() {
        fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        bind(fd, reinterpret_cast<sockaddr*>(&a), len);
        listen(fd, 16);  // the kernel accepts; nobody reads or answers
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        address = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    }
    ~SilentServer() { close(fd); }
    int fd = -1;
    std::string address;
};

TEST(PrintQuick, ASlowPortNeverHoldsTheCallerAndItsFailureIsReported) {
    Fifo port;
    SilentServer cups;
    const fs::path work = port.dir / "work";
    fs::create_directories(work);
    setenv("QZ_WORKDIR", work.c_str(), 1);
    const bool logWas = rt::SetErrorLog(true);
    int stalled = -1;  // a reader that opens the FIFO and never reads
    const struct {
        const char* what;
        std::function<void()> arrange;
        std::string port;
        uint32_t code;
    } cases[] = {
        {"a CUPS server that never answers",
         [&] {
             setenv("CUPS_SERVER", cups.address.c_str(), 1);
             setenv("QZ_PORTMAP", "LPT1=cups:office", 1);
         },
         "LPT1", 121},
        {"a FIFO nobody opens", [] {}, port.path, 21},
        {"a FIFO whose reader stops reading", [&] { stalled = open(port.path.c_str(), O_RDONLY | O_NONBLOCK); },
         port.path, 121},
    };
    testing::internal::CaptureStderr();
    for (const auto& c : cases) {
        c.arrange();
        auto pq = rt::New<PrintQuick>();
        pq->QQOut(std::string(1 << 20, 'p'), false);  // far more than a pipe holds
        const auto start = std::chrono::steady_clock::now();
        pq->PrintIt(c.port, false);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1500)) << c.what;
        ASSERT_TRUE(pq->WaitPrinted(15000)) << c.what << ": the sender's waits are bounded";
        EXPECT_EQ(rt::IVarGet(rt::Usual(pq), rt::Symbol("PRINTERROR")).AsLong(), c.code) << c.what;
        EXPECT_NE(pq->LastPrintErrorText(), "") << c.what;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "lp's complaints go to the log, not to stderr";
    close(stalled);
    const std::string log = FileText(work / "RTERROR.LOG");
    EXPECT_NE(log.find("PRINTIT to LPT1 failed: "), std::string::npos) << log;
    EXPECT_NE(log.find("PRINTIT to " + port.path + " failed: "), std::string::npos) << log;
    rt::SetErrorLog(logWas);
    unsetenv("QZ_WORKDIR");
    unsetenv("CUPS_SERVER");
    unsetenv("QZ_PORTMAP");
}

TEST(PrintQuick, AReaderGoingMidJobFailsTheJobNotTheProgram) {
    Fifo port;
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
    ASSERT_TRUE(big->WaitPrinted(10000));
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
