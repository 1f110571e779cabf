#include "lib/system/printjob.h"

#include <iconv.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <deque>
#include <thread>

#include "platform/os/kernel.h"
#include "platform/runtime/codepage.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/errordump.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/regional.h"
#include "platform/runtime/settings.h"

namespace lib {
namespace {

// One code page's upper half: the code point of each byte 0x80..0xFF, read
// from the C library's converter once.
struct CodePageTable {
    explicit CodePageTable(const char* name) {
        const iconv_t cd = iconv_open("UTF-32LE", name);
        if (cd == reinterpret_cast<iconv_t>(-1)) return;
        for (int b = 0x80; b <= 0xFF; ++b) {
            char in = static_cast<char>(b);
            char out[4] = {};
            char* ip = &in;
            char* op = out;
            size_t il = 1, ol = sizeof out;
            if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 0)
                points[b - 0x80] = static_cast<uint8_t>(out[0]) | static_cast<uint8_t>(out[1]) << 8 |
                                   static_cast<uint32_t>(static_cast<uint8_t>(out[2])) << 16;
        }
        iconv_close(cd);
    }
    std::array<uint32_t, 128> points{};
};

// The nearest spelling of one character in the code page (iconv's
// transliteration), or "?".
std::string Transliterate(std::string_view utf8, const char* translitName) {
    const iconv_t cd = iconv_open(translitName, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return "?";
    std::string in(utf8);
    char out[16];
    char* ip = in.data();
    char* op = out;
    size_t il = in.size(), ol = sizeof out;
    const bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && il == 0;
    iconv_close(cd);
    std::string got(out, static_cast<size_t>(op - out));
    return ok && !got.empty() ? got : "?";
}

}  // namespace

std::string ToPrinterCodePage(std::string_view text, int codePage) {
    if (codePage == 0) codePage = rt::OemCodePage();
    if (codePage == os::kCodePageUtf8) return std::string(text);
    static const CodePageTable cp437("IBM437"), cp850("IBM850");
    const CodePageTable& table = codePage == 850 ? cp850 : cp437;
    const char* name = codePage == 850 ? "IBM850//TRANSLIT" : "IBM437//TRANSLIT";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t n = 0;
        const char32_t cp = static_cast<uint8_t>(text[i]) < 0x80 ? 0 : rt::NextCodePoint(text, i, n);
        if (n == 0) {
            out += text[i++];
            continue;
        }
        size_t b = 0;
        while (b < 128 && table.points[b] != cp) ++b;
        if (b < 128) out.push_back(static_cast<char>(0x80 + b));
        else out += Transliterate(text.substr(i, n), name);
        i += n;
    }
    return out;
}

bool PrintJob::Done() const {
    std::lock_guard lock(m_);
    return done_;
}

bool PrintJob::WaitDone(int ms) const {
    std::unique_lock lock(m_);
    return cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return done_; });
}

uint32_t PrintJob::Code() const {
    std::lock_guard lock(m_);
    return done_ ? code_ : uint32_t{os::ERROR_IO_PENDING};
}

std::string PrintJob::Text() const {
    std::lock_guard lock(m_);
    return text_;
}

void PrintJob::Finish(uint32_t code, std::string text) {
    {
        std::lock_guard lock(m_);
        code_ = code;
        text_ = std::move(text);
        done_ = true;
    }
    cv_.notify_all();
}

namespace {

// The report of a failed job on the error log (rt::ErrorLogPath(), while
// error logging is on), in the error report's shape: the
// program's callers see print failures where they see every other one.
void LogFailure(const std::string& port, const std::string& text) {
    if (!rt::SetErrorLog()) return;
    const rt::Fd log = rt::OpenForAppend(rt::ErrorLogPath());
    if (!log) return;
    struct stat st = {};
    std::string record = ::fstat(log.Get(), &st) == 0 && st.st_size > 0 ? "\r\n" : "";
    record += "***********************ERROR********************************\r\n";
    record += rt::DToC(rt::Today()) + " " + rt::Time() + "\r\n";
    record += "Application: " + rt::ExecutableName(true) + "\r\n \r\nError message:\r\n--------------\r\n";
    record += "PRINTIT to " + port + " failed: " + text + "\r\n";
    (void)rt::AppendRecord(log.Get(), record);  // a log that cannot take it has nowhere else to go
}

struct Queued {
    std::shared_ptr<PrintJob> job;
    std::string port;
    os::PortTarget target;
    std::string bytes;
};

// The one sender thread, started with the first job; it waits without
// wake-ups while there is none, and is joined when the program ends, after
// the jobs still queued (each bounded).
class Sender {
public:
    static Sender& The() {
        static Sender sender;
        return sender;
    }
    void Add(Queued q) {
        std::lock_guard lock(m_);
        queue_.push_back(std::move(q));
        if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
        cv_.notify_one();
    }
    ~Sender() {
        if (::getpid() != pid_) {
            // A forked copy: the thread is not its own to join or detach.
            new std::thread(std::move(thread_));
            return;
        }
        {
            std::lock_guard lock(m_);
            stop_ = true;
        }
        cv_.notify_one();
        if (thread_.joinable()) thread_.join();
    }

private:
    void Run() {
        ::pthread_setname_np(::pthread_self(), "qz-print");
        std::unique_lock lock(m_);
        for (;;) {
            cv_.wait(lock, [&] { return stop_ || !queue_.empty(); });
            if (queue_.empty()) return;
            Queued q = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            Send(q);
            lock.lock();
        }
    }
    static void Send(Queued& q) {
        std::string said;
        const bool ok = os::SendToPort(q.bytes, q.target, &said);
        const uint32_t code = ok ? 0 : os::GetLastError();
        std::string text;
        if (!ok) {
            const char* sys = rt::WinErrorText(static_cast<int>(code));
            text = std::string(sys ? sys : "error") + " (Win32 code " + std::to_string(code) + ")";
            if (!said.empty()) text += "\r\n" + said;
            LogFailure(q.port, text);
        }
        q.job->Finish(code, text);
    }

    std::mutex m_;
    std::condition_variable cv_;
    std::deque<Queued> queue_;
    std::thread thread_;
    bool stop_ = false;
    const pid_t pid_ = ::getpid();
};

}  // namespace

std::shared_ptr<PrintJob> SendPrintJob(const std::string& port, const os::PortTarget& target, std::string bytes) {
    auto job = std::make_shared<PrintJob>();
    Sender::The().Add({job, port, target, std::move(bytes)});
    return job;
}

}  // namespace lib
