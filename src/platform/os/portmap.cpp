#include "platform/os/portmap.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

extern char** environ;

namespace os {
namespace {

using Clock = std::chrono::steady_clock;

bool HasControl(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

// The entry for a port name in the map in use, if there is one.
bool MappedTarget(const std::string& name, PortTarget& target) {
    std::vector<PortMapping> map;
    if (const char* env = std::getenv("QZ_PORTMAP"); env && *env) {
        map = ParsePortMap(env, ";");
    } else {
        const char* file = std::getenv("QZ_PORTMAP_FILE");
        std::ifstream in(file && *file ? file : "/etc/qzscan/portmap", std::ios::binary);
        if (!in) return false;
        std::stringstream text;
        text << in.rdbuf();
        map = ParsePortMap(text.str(), "\r\n");
    }
    for (PortMapping& m : map) {
        if (m.name != name) continue;
        target = std::move(m.target);
        return true;
    }
    return false;
}

// The n of "PREFIXn" (1..max), or 0.
int PortNumber(const std::string& name, const std::string& prefix, int max) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return 0;
    int n = 0;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || n > max) return 0;
        n = n * 10 + (name[i] - '0');
    }
    return n >= 1 && n <= max ? n : 0;
}

// Takes a code page option (",utf-8", ",utf8", ",437", ",850") off the
// end of a map target; 0 when there is none.
int TakeCodePage(std::string& target) {
    const auto comma = target.rfind(',');
    if (comma == std::string::npos) return 0;
    const std::string option = rt::Upper(rt::AllTrimmedWhite(target.substr(comma + 1)));
    int codePage = 0;
    if (option == "UTF-8" || option == "UTF8") codePage = kCodePageUtf8;
    else if (option == "437" || option == "CP437") codePage = 437;
    else if (option == "850" || option == "CP850") codePage = 850;
    else return 0;
    target = rt::AllTrimmedWhite(target.substr(0, comma));
    return codePage;
}

bool Exists(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return 0;
}

// How long a port may keep the copy waiting: for a reader to open a FIFO,
// for room to write the next bytes, and for lp to hand a job to CUPS (a
// server that takes the connection and never answers would keep lp
// waiting for minutes), with some more time for a large job.
constexpr int kReaderWaitMs = 2000;
constexpr int kStallMs = 5000;
constexpr int kQueueWaitMs = 5000;
constexpr int kQueueMsPerMiB = 1000;

// Opens the device for writing without waiting in open(2) (a FIFO without a
// reader, a line without carrier would wait there for good); a FIFO that
// has no reader yet is tried again for kReaderWaitMs, then it is not ready.
int OpenPort(const std::string& device) {
    for (int waited = 0;; waited += 10) {
        const int fd = ::open(device.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0 || errno != ENXIO || waited >= kReaderWaitMs) return fd;
        ::usleep(10000);
    }
}

// Writes all n bytes; a port that takes nothing for kStallMs fails with
// ERROR_SEM_TIMEOUT. errno-based codes otherwise (0 when all went).
DWORD WriteAll(int fd, const char* p, size_t n) {
    const int err = rt::WriteAllWaiting(fd, std::string_view(p, n), kStallMs);
    if (err == ETIMEDOUT) return ERROR_SEM_TIMEOUT;
    return err == 0 ? 0 : static_cast<DWORD>(rt::OsErrorFromErrno(err));
}

// A reader that goes mid-copy makes write(2) raise SIGPIPE, which would end
// the program: the signal is held back on this thread for the copy, and one
// that came meanwhile is taken off before the mask is restored (the write
// fails with EPIPE instead).
struct HoldSigpipe {
    HoldSigpipe() {
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pendingBefore;
        sigpending(&pendingBefore);
        wasPending = sigismember(&pendingBefore, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, &old);
    }
    ~HoldSigpipe() {
        sigset_t now;
        sigpending(&now);
        if (!wasPending && sigismember(&now, SIGPIPE)) {
            const timespec zero{0, 0};
            sigtimedwait(&pipe, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }
    sigset_t pipe, old;
    bool wasPending = false;
};

// A terminal as port sends the bytes as they are for the copy: its output
// processing (OPOST, with ONLCR on every freshly opened tty) would turn each
// LF into CR LF. The settings come back afterwards; the bytes already
// written were processed when write(2) took them.
struct RawOutput {
    explicit RawOutput(int fd) : fd(fd) {
        if (!::isatty(fd) || ::tcgetattr(fd, &old) != 0 || !(old.c_oflag & OPOST)) return;
        termios raw = old;
        raw.c_oflag &= ~static_cast<tcflag_t>(OPOST);
        changed = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    ~RawOutput() {
        if (changed) ::tcsetattr(fd, TCSANOW, &old);
    }
    int fd;
    termios old{};
    bool changed = false;
};

BOOL SendToDevice(std::string_view bytes, int fd) {
    // A port another handle holds (a Serial object's CreateFileA takes the
    // same lock) is refused, as Win32 refuses a second opener of a port,
    // rather than mixing the job into that handle's traffic.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return Fail(ERROR_ACCESS_DENIED);
    }
    DWORD code = 0;
    {
        HoldSigpipe hold;
        RawOutput raw(fd);
        code = WriteAll(fd, bytes.data(), bytes.size());
    }
    if (const int err = rt::Fd(fd).Close(); err != 0 && code == 0) code = static_cast<DWORD>(rt::OsErrorFromErrno(err));
    return code ? Fail(code) : 1;
}

// A target that is a regular file, or a path outside /dev that is not
// there (CopyFileA creates its target; a missing node under /dev is a
// device that is not there, never made a file), gets the bytes as its
// whole new content through the file layer.
bool IsFileTarget(const std::string& path) {
    struct stat st = {};
    if (::stat(path.c_str(), &st) == 0) return S_ISREG(st.st_mode);
    return errno == ENOENT && path.rfind("/dev/", 0) != 0;
}

BOOL SendToFile(std::string_view bytes, const std::string& path) {
    const rt::ReplaceResult r = rt::AtomicReplace(path, bytes);
    if (r.Ok() || r.replaced) return 1;  // a folder sync that failed leaves the new content in place
    return Fail(static_cast<DWORD>(rt::OsErrorFromErrno(r.err, path)));
}

// Feeds bytes to lp's standard input (closed, and -1, once all went in)
// and collects its standard error until lp exits or until; false when the
// time ran out first.
bool RunLp(int& in, int err, std::string_view bytes, pid_t pid, Clock::time_point until, std::string& said,
           int& status) {
    size_t sent = 0;
    bool errOpen = true;
    while (in >= 0 || errOpen) {
        pollfd fds[2] = {{in, POLLOUT, 0}, {errOpen ? err : -1, POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return false;
        const int rc = ::poll(fds, 2, static_cast<int>(left));
        if (rc < 0 && errno != EINTR) return false;
        if (in >= 0 && fds[0].revents) {
            const ssize_t n = ::write(in, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) sent += static_cast<size_t>(n);
            if ((n < 0 && errno != EAGAIN && errno != EINTR) || sent == bytes.size()) {
                ::close(in);  // the end of the job for lp
                in = -1;
            }
        }
        if (errOpen && fds[1].revents) {
            char buf[1024];
            const ssize_t n = ::read(err, buf, sizeof buf);
            if (n > 0 && said.size() < 4096) said.append(buf, static_cast<size_t>(n));
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) errOpen = false;
        }
    }
    // Its standard error closed: lp is ending; it still gets the bound.
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) return true;
        if (w < 0 && errno != EINTR) return true;
        if (Clock::now() >= until) return false;
        ::usleep(1000);
    }
}

BOOL SendToQueue(std::string_view bytes, const std::string& queue, std::string* programText) {
    std::string q = queue;
    std::string dash_d = "-d", dash_o = "-o", raw = "raw", lp = "lp";
    char* argv[] = {lp.data(), dash_d.data(), q.data(), dash_o.data(), raw.data(), nullptr};
    int in[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    // lp's "request id is ..." line is not ours to print; what it says on
    // its standard error comes back to the caller, not onto ours.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "lp", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(err[1]);
    if (rc != 0) {
        ::close(in[1]);
        ::close(err[0]);
        return Fail(rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_GEN_FAILURE);
    }
    ::fcntl(in[1], F_SETFL, O_NONBLOCK);
    ::fcntl(err[0], F_SETFL, O_NONBLOCK);
    const auto until = Clock::now() + std::chrono::milliseconds(kQueueWaitMs + kQueueMsPerMiB * (bytes.size() >> 20));
    std::string said;
    int status = 0;
    bool ended;
    {
        HoldSigpipe hold;  // lp may go before it has read the job
        ended = RunLp(in[1], err[0], bytes, pid, until, said, status);
    }
    if (!ended) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        said += said.empty() || said.back() == '\n' ? "" : "\n";
        said += "lp did not finish within its time and was stopped";
    }
    if (in[1] >= 0) ::close(in[1]);
    ::close(err[0]);
    if (programText) *programText = rt::AllTrimmedWhite(said);
    if (!ended) return Fail(ERROR_SEM_TIMEOUT);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail(ERROR_GEN_FAILURE);
    return 1;
}

}  // namespace

std::vector<PortMapping> ParsePortMap(std::string_view text, std::string_view separators) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<PortMapping> map;
    while (!text.empty()) {
        const size_t end = std::min(text.find_first_of(separators), text.size());
        std::string_view entry = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        entry = entry.substr(0, entry.find('#'));
        const size_t eq = entry.find('=');
        if (eq == std::string_view::npos) continue;
        PortMapping m;
        m.name = rt::Upper(rt::AllTrimmedWhite(entry.substr(0, eq)));
        if (!m.name.empty() && m.name.back() == ':') m.name.pop_back();  // "LPT1:"
        std::string target(rt::AllTrimmedWhite(entry.substr(eq + 1)));
        m.target.codePage = TakeCodePage(target);
        m.target.kind = target.rfind("cups:", 0) == 0 ? PortTarget::Queue : PortTarget::Device;
        m.target.path = m.target.kind == PortTarget::Queue ? target.substr(5) : target;
        if (m.name.empty() || m.target.path.empty() || HasControl(m.name) || HasControl(m.target.path)) continue;
        map.push_back(std::move(m));
    }
    return map;
}

PortTarget ResolvePort(const std::string& rawName) {
    std::string name = rawName;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    if (name.find('/') != std::string::npos) return {PortTarget::Device, name};
    name = rt::Upper(rt::AllTrimmedWhite(name));
    if (!name.empty() && name.back() == ':') name.pop_back();  // "LPT1:"
    if (PortTarget target; MappedTarget(name, target)) return target;
    if (name == "PRN") return ResolvePort("LPT1");
    if (int n = PortNumber(name, "COM", 256)) return {PortTarget::Device, "/dev/ttyS" + std::to_string(n - 1)};
    if (int n = PortNumber(name, "LPT", 9)) {
        const std::string usb = "/dev/usb/lp" + std::to_string(n - 1);
        return {PortTarget::Device, Exists(usb) ? usb : "/dev/lp" + std::to_string(n - 1)};
    }
    return {};
}

BOOL SendToPort(std::string_view bytes, const PortTarget& t, std::string* programText) {
    if (programText) programText->clear();
    if (t.kind == PortTarget::None) return Fail(ERROR_FILE_NOT_FOUND);
    if (t.kind == PortTarget::Queue) return SendToQueue(bytes, t.path, programText);
    if (IsFileTarget(t.path)) return SendToFile(bytes, t.path);
    const int fd = OpenPort(t.path);
    if (fd < 0)
        return Fail(errno == EBUSY ? DWORD{ERROR_ACCESS_DENIED}
                                   : static_cast<DWORD>(rt::OsErrorFromErrno(errno, t.path)));
    return SendToDevice(bytes, fd);
}

}  // namespace os
