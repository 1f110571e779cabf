#include "platform/os/process.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/os/sysinfo.h"
#include "platform/runtime/paths.h"

extern char** environ;

namespace os {
namespace {

struct Proc : KernelObject {
    DWORD Wait(DWORD milliseconds) override;
    pid_t pid = 0;
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    DWORD code = STILL_ACTIVE;
    std::optional<UINT> terminateCode;
};

HANDLE NewHandle(std::shared_ptr<Proc> p) { return AddKernelObject(std::move(p)); }

// The process a handle names; null with ERROR_INVALID_HANDLE set.
std::shared_ptr<Proc> Find(HANDLE h) { return LookUpKernelObjectAs<Proc>(h); }

// Collects an ended child under the process's lock: until then it stays a
// zombie whose pid no other process can take, so a TerminateProcess that saw
// it running never signals a stranger.
void Collect(Proc& p) {
    int status = 0;
    pid_t r;
    std::lock_guard lock(p.m);
    do {
        r = ::waitpid(p.pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    if (p.terminateCode && r == p.pid && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) p.code = *p.terminateCode;
    else if (r == p.pid && WIFEXITED(status)) p.code = static_cast<DWORD>(WEXITSTATUS(status));
    else if (r == p.pid && WIFSIGNALED(status)) p.code = 128 + static_cast<DWORD>(WTERMSIG(status));
    else p.code = 1;
    p.done = true;
    p.cv.notify_all();
}

// The one thread that waits for every child: it polls a pidfd per child,
// which turns readable when the child ends (and does not collect it), and
// an eventfd that tells it of a new child or of the program's end. It
// starts with the first child and is joined when the program ends; the
// join is bounded, as the thread only ever waits in that poll or for a
// process's lock, which no one holds while waiting. Children still running
// then go on running (a Win32 parent's children outlive it too) and are
// collected by the system.
class Reaper {
public:
    static Reaper& The() {
        // Never destroyed: the thread is stopped at exit instead, and a
        // late caller finds a reaper that refuses rather than a dead one.
        static Reaper* reaper = [] {
            auto* r = new Reaper;
            std::atexit([] { The().Stop(); });
            return r;
        }();
        return *reaper;
    }

    // Takes the child over; the Win32 code of why not (none: 0).
    DWORD Watch(const std::shared_ptr<Proc>& p) {
        // By number: the C library's header for it is not usable from C++.
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, p->pid, 0));
        if (pidfd < 0) return ERROR_NOT_ENOUGH_MEMORY;  // out of descriptors
        std::lock_guard lock(m_);
        if (stopped_ || (wakeFd_ < 0 && (wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) < 0)) {
            ::close(pidfd);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        if (!thread_.joinable()) {
            try {
                owner_ = ::getpid();
                thread_ = std::thread([this] { Run(); });
            } catch (const std::system_error&) {
                ::close(pidfd);
                return ERROR_NOT_ENOUGH_MEMORY;
            }
        }
        children_.push_back({pidfd, p});
        Wake();
        return ERROR_SUCCESS;
    }

private:
    struct Child {
        int pidfd;
        std::shared_ptr<Proc> proc;
    };

    void Wake() {
        const uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
    }

    void Stop() {
        // A forked copy of the program has no reaper thread of its own.
        if (::getpid() != owner_) return;
        {
            std::lock_guard lock(m_);
            stopped_ = true;
            if (wakeFd_ >= 0) Wake();
        }
        if (thread_.joinable()) thread_.join();
    }

    void Run() {
        ::pthread_setname_np(::pthread_self(), "qz-reaper");
        std::vector<pollfd> fds;
        for (;;) {
            {
                std::lock_guard lock(m_);
                if (stopped_) break;
                fds.assign(1, pollfd{wakeFd_, POLLIN, 0});
                for (const Child& c : children_) fds.push_back(pollfd{c.pidfd, POLLIN, 0});
            }
            if (::poll(fds.data(), fds.size(), -1) < 0) continue;  // EINTR
            uint64_t drained;
            if (fds[0].revents) (void)!::read(wakeFd_, &drained, sizeof drained);
            for (size_t i = 1; i < fds.size(); ++i) {
                if (!fds[i].revents) continue;
                std::shared_ptr<Proc> ended;
                {
                    std::lock_guard lock(m_);
                    auto it = std::find_if(children_.begin(), children_.end(),
                                           [&](const Child& c) { return c.pidfd == fds[i].fd; });
                    ended = std::move(it->proc);
                    ::close(it->pidfd);
                    children_.erase(it);
                }
                Collect(*ended);
            }
        }
        std::lock_guard lock(m_);
        for (const Child& c : children_) ::close(c.pidfd);
        children_.clear();
    }

    std::mutex m_;
    std::vector<Child> children_;  // only the reaper thread removes children
    int wakeFd_ = -1;
    bool stopped_ = false;
    pid_t owner_ = 0;  // the process whose thread thread_ is
    std::thread thread_;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool HasExtension(std::string_view name) {
    size_t sep = name.find_last_of("\\/");
    size_t dot = name.rfind('.');
    return dot != std::string_view::npos && (sep == std::string_view::npos || dot > sep);
}

// Where a program name leads: the native path of an existing regular file,
// or the Win32 code of why not.
struct Found {
    std::string path;
    DWORD error = ERROR_FILE_NOT_FOUND;
};

// A folder of that name is no program but is there: the search goes on,
// and when nothing else is found the start is refused with 5, as Windows
// refuses to run a folder (*sawFolder is set).
Found Probe(const std::string& native, bool* sawFolder) {
    struct stat st = {};
    if (::stat(native.c_str(), &st) != 0) return {};
    if (S_ISDIR(st.st_mode)) *sawFolder = true;
    if (!S_ISREG(st.st_mode)) return {};
    if (::access(native.c_str(), X_OK) != 0) return {native, static_cast<DWORD>(ERROR_ACCESS_DENIED)};
    return {native, ERROR_SUCCESS};
}

Found Search(const std::string& name, bool searchPath) {
    std::vector<std::string> names{name};
    if (!HasExtension(name)) names.push_back(name + ".exe");
    bool sawFolder = false;
    const Found folder{"", static_cast<DWORD>(ERROR_ACCESS_DENIED)};
    if (!searchPath || rt::HasDirectoryPart(name)) {
        for (const std::string& n : names) {
            Found f = Probe(rt::ResolvePath(n), &sawFolder);
            if (!f.path.empty()) return f;
        }
        if (sawFolder) return folder;
        // A missing folder is told from a missing file.
        std::string native = rt::ResolvePath(name);
        std::string dir = native.substr(0, native.rfind('/') + 1);
        struct stat st = {};
        return {"", dir.empty() || ::stat(dir.c_str(), &st) == 0 ? static_cast<DWORD>(ERROR_FILE_NOT_FOUND)
                                                                 : static_cast<DWORD>(ERROR_PATH_NOT_FOUND)};
    }
    // The executable's own folder first, as Windows searches: not the work
    // folder, which for an installed program is the user's data folder.
    const std::string exe = rt::ExecName();
    std::vector<std::string> dirs{exe.substr(0, exe.rfind('/') + 1), "."};
    char buf[260];
    if (GetSystemDirectoryA(buf, sizeof buf) < sizeof buf) dirs.push_back(rt::ResolvePath(buf));
    if (GetWindowsDirectoryA(buf, sizeof buf) < sizeof buf) dirs.push_back(rt::ResolvePath(buf));
    if (const char* path = std::getenv("PATH")) {
        std::string_view all(path);
        while (!all.empty()) {
            size_t colon = all.find(':');
            std::string_view d = all.substr(0, colon);
            dirs.emplace_back(d.empty() ? "." : std::string(d));
            if (colon == std::string_view::npos) break;
            all.remove_prefix(colon + 1);
        }
    }
    for (const std::string& d : dirs) {
        for (const std::string& n : names) {
            Found f = Probe(d + (d.empty() || d.back() == '/' ? "" : "/") + n, &sawFolder);
            if (!f.path.empty()) return f;
        }
    }
    return sawFolder ? folder : Found{};
}

// The program a command line names (without an application name).
Found ProgramOf(std::string_view cmd) {
    size_t i = 0;
    while (i < cmd.size() && IsBlank(cmd[i])) ++i;
    cmd.remove_prefix(i);
    if (!cmd.empty() && cmd[0] == '"') {
        size_t close = cmd.find('"', 1);
        return Search(std::string(cmd.substr(1, close == std::string_view::npos ? cmd.size() - 1 : close - 1)), true);
    }
    // Unquoted: "c:\program files\x y" tries "c:\program", then
    // "c:\program files\x", then the whole.
    Found first;
    bool haveFirst = false;
    for (size_t end = 0; end <= cmd.size(); ++end) {
        if (end < cmd.size() && !IsBlank(cmd[end])) continue;
        if (end == 0) break;
        Found f = Search(std::string(cmd.substr(0, end)), true);
        if (!haveFirst) {
            first = f;
            haveFirst = true;
        }
        if (!f.path.empty()) return f;
    }
    return first;
}

DWORD FromSpawnErrno(int err) {
    switch (err) {
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM: return ERROR_ACCESS_DENIED;
        case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return ERROR_INVALID_FUNCTION;
    }
}

}  // namespace

std::vector<std::string> CommandLineToArgs(std::string_view cmd) {
    std::vector<std::string> args;
    size_t i = 0;
    // The program name: up to a blank, or inside quotes.
    std::string first;
    bool quoted = false;
    for (; i < cmd.size(); ++i) {
        if (cmd[i] == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && IsBlank(cmd[i])) break;
        first += cmd[i];
    }
    args.push_back(first);
    for (;;) {
        while (i < cmd.size() && IsBlank(cmd[i])) ++i;
        if (i >= cmd.size()) break;
        std::string arg;
        bool inQuotes = false;
        while (i < cmd.size()) {
            char c = cmd[i];
            if (c == '\\') {
                size_t n = 0;
                while (i < cmd.size() && cmd[i] == '\\') {
                    ++n;
                    ++i;
                }
                if (i < cmd.size() && cmd[i] == '"') {
                    arg.append(n / 2, '\\');
                    if (n % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(n, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (inQuotes && i + 1 < cmd.size() && cmd[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                inQuotes = !inQuotes;
                ++i;
                continue;
            }
            if (!inQuotes && IsBlank(c)) break;
            arg += c;
            ++i;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

BOOL CreateProcessA(const char* applicationName, char* commandLine, const void* /*processAttributes*/,
                    const void* /*threadAttributes*/, BOOL /*inheritHandles*/, DWORD /*creationFlags*/,
                    const void* environment, const char* currentDirectory, STARTUPINFOA* /*startupInfo*/,
                    PROCESS_INFORMATION* processInformation) {
    if (processInformation == nullptr || (applicationName == nullptr && commandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    std::string cmd = commandLine == nullptr ? "" : commandLine;
    Found program = applicationName != nullptr ? Search(applicationName, false) : ProgramOf(cmd);
    if (program.error != ERROR_SUCCESS) {
        SetLastError(program.error);
        return FALSE_;
    }
    std::vector<std::string> args = commandLine != nullptr ? CommandLineToArgs(cmd)
                                                           : std::vector<std::string>{applicationName};
    if (args.empty()) args.push_back(applicationName != nullptr ? applicationName : "");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    std::vector<char*> envp;
    if (environment != nullptr) {
        for (const char* e = static_cast<const char*>(environment); *e != '\0'; e += std::strlen(e) + 1)
            envStrings.emplace_back(e);
        for (std::string& e : envStrings) envp.push_back(e.data());
        envp.push_back(nullptr);
    }
    std::string cwd;
    if (currentDirectory != nullptr) {
        cwd = rt::ResolvePath(currentDirectory);
        struct stat st = {};
        if (::stat(cwd.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            SetLastError(ERROR_DIRECTORY_INVALID);
            return FALSE_;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with no signal blocked or ignored, whatever the
    // parent does with them.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    int err = ::posix_spawn(&pid, program.path.c_str(), &actions, &attr, argv.data(),
                            environment != nullptr ? envp.data() : environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (err != 0) {
        SetLastError(FromSpawnErrno(err));
        return FALSE_;
    }
    auto proc = std::make_shared<Proc>();
    proc->pid = pid;
    if (const DWORD refused = Reaper::The().Watch(proc)) {
        // Nothing to collect it: the child is ended and collected here
        // rather than left running with no handle to wait for it.
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        SetLastError(refused);
        return FALSE_;
    }
    processInformation->hProcess = NewHandle(proc);
    processInformation->hThread = NewHandle(proc);
    processInformation->dwProcessId = static_cast<DWORD>(pid);
    processInformation->dwThreadId = static_cast<DWORD>(pid);  // the main thread's id is the process id
    return TRUE_;
}

BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    auto p = Find(process);
    if (!p || exitCode == nullptr) return FALSE_;
    std::lock_guard lock(p->m);
    *exitCode = p->done ? p->code : STILL_ACTIVE;
    return TRUE_;
}

DWORD Proc::Wait(DWORD milliseconds) {
    std::unique_lock lock(m);
    if (milliseconds == INFINITE) {
        cv.wait(lock, [&] { return done; });
        return WAIT_OBJECT_0;
    }
    return cv.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return done; }) ? WAIT_OBJECT_0
                                                                                            : WAIT_TIMEOUT;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    auto p = Find(process);
    if (!p) return FALSE_;
    std::lock_guard lock(p->m);
    if (p->done) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE_;
    }
    p->terminateCode = exitCode;
    ::kill(p->pid, SIGKILL);
    return TRUE_;
}

}  // namespace os
