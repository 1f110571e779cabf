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

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

extern char** environ;

namespace os {
namespace {

// Looks name up in "NAME=TARGET" entries separated by sep.
bool FindEntry(const std::string& text, char sep, const std::string& name, std::string& target) {
    std::istringstream in(text);
    std::string entry;
    while (std::getline(in, entry, sep)) {
        const auto hash = entry.find('#');
        if (hash != std::string::npos) entry.erase(hash);
        const auto eq = entry.find('=');
        if (eq == std::string::npos) continue;
        if (rt::Upper(rt::AllTrimmedWhite(entry.substr(0, eq))) == name) {
            target = rt::AllTrimmedWhite(entry.substr(eq + 1));
            return !target.empty();
        }
    }
    return false;
}

bool MappedTarget(const std::string& name, std::string& target) {
    if (const char* env = std::getenv("QZ_PORTMAP"); env && *env) return FindEntry(env, ';', name, target);
    const char* file = std::getenv("QZ_PORTMAP_FILE");
    std::ifstream in(file && *file ? file : "/etc/qzscan/portmap");
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    return FindEntry(text.str(), '\n', name, target);
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

bool Exists(const std::string& path) {
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0;
}

BOOL Fail(DWORD code) {
    SetLastError(code);
    return 0;
}

// How long a port may keep the copy waiting: for a reader to open a FIFO,
// and for room to write the next bytes.
constexpr int kReaderWaitMs = 2000;
constexpr int kStallMs = 30000;

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

BOOL CopyToDevice(int src, const std::string& device) {
    const int fd = OpenPort(device);
    if (fd < 0)
        return Fail(errno == EBUSY ? DWORD{ERROR_ACCESS_DENIED}
                                   : static_cast<DWORD>(rt::OsErrorFromErrno(errno, device)));
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
        char buf[8192];
        for (;;) {
            const rt::IoResult got = rt::ReadFull(src, buf, sizeof buf);
            if (got.bytes > 0 && (code = WriteAll(fd, buf, got.bytes)) != 0) break;
            if (!got.Ok()) code = static_cast<DWORD>(rt::OsErrorFromErrno(got.err));
            if (!got.Ok() || got.bytes < sizeof buf) break;
        }
    }
    if (const int err = rt::Fd(fd).Close(); err != 0 && code == 0) code = static_cast<DWORD>(rt::OsErrorFromErrno(err));
    return code ? Fail(code) : 1;
}

BOOL CopyToQueue(const std::string& source, const std::string& queue) {
    std::string q = queue, file = source;
    std::string dash_d = "-d", dash_o = "-o", raw = "raw", lp = "lp";
    char* argv[] = {lp.data(), dash_d.data(), q.data(), dash_o.data(), raw.data(), file.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // lp's "request id is ..." line is not ours to print.
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "lp", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return Fail(rc == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_GEN_FAILURE);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail(ERROR_GEN_FAILURE);
    return 1;
}

}  // namespace

PortTarget ResolvePort(const std::string& rawName) {
    std::string name = rawName;
    if (name.rfind("\\\\.\\", 0) == 0) name.erase(0, 4);
    if (name.find('/') != std::string::npos) return {PortTarget::Device, name};
    name = rt::Upper(rt::AllTrimmedWhite(name));
    if (!name.empty() && name.back() == ':') name.pop_back();  // "LPT1:"
    std::string target;
    if (MappedTarget(name, target)) {
        if (target.rfind("cups:", 0) == 0) return {PortTarget::Queue, target.substr(5)};
        return {PortTarget::Device, target};
    }
    if (name == "PRN") return ResolvePort("LPT1");
    if (int n = PortNumber(name, "COM", 256)) return {PortTarget::Device, "/dev/ttyS" + std::to_string(n - 1)};
    if (int n = PortNumber(name, "LPT", 9)) {
        const std::string usb = "/dev/usb/lp" + std::to_string(n - 1);
        return {PortTarget::Device, Exists(usb) ? usb : "/dev/lp" + std::to_string(n - 1)};
    }
    return {};
}

BOOL CopyFileToPort(const std::string& source, const std::string& port) {
    const PortTarget t = ResolvePort(port);
    if (t.kind == PortTarget::None) return Fail(ERROR_FILE_NOT_FOUND);
    if (t.kind == PortTarget::Queue) {
        if (!Exists(source)) return Fail(ERROR_FILE_NOT_FOUND);
        return CopyToQueue(source, t.path);
    }
    const int src = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (src < 0) return Fail(static_cast<DWORD>(rt::OsErrorFromErrno(errno, source)));
    const BOOL ok = CopyToDevice(src, t.path);
    ::close(src);
    return ok;
}

}  // namespace os
