// The program's work folder (WorkDir): where DATA, TEMP and the error log go.
//
// A copy of the program in a folder of its own (the build folder, a USB
// stick, an unpacked archive) keeps its data beside itself, as it always
// has. An installed program (/usr/bin/qzscan) cannot write there, so its
// data goes to the user's data folder, $XDG_DATA_HOME/qzscan
// (~/.local/share/qzscan by default). QZ_WORKDIR overrides both.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/runtime/paths.h"

namespace rt {
namespace {

// Folders that packages install programs into. Root may write to them, but
// a program installed there must not fill them with its data.
bool IsSystemProgramFolder(const std::string& dir) {
    for (const char* system : {"/bin/", "/sbin/", "/usr/bin/", "/usr/sbin/", "/usr/games/", "/usr/local/bin/",
                               "/usr/local/sbin/", "/usr/local/games/"})
        if (dir == system) return true;
    return false;
}

// Whether this process can create files in dir (ending in "/"). The answer
// comes from creating one, not from access(W_OK): access() judges by the
// real user's permission bits, while read-only mounts, network and FUSE
// file systems that check on the server (root squashed to nobody), and
// immutable folders only show when a file is made. An unnamed file
// (O_TMPFILE) leaves nothing behind even if the program dies here; file
// systems without it (FAT on a stick) get a named probe removed at once.
bool CanCreateFilesIn(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string probe = dir + ".qzscan-probe-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
            return true;
        }
        if (errno != EEXIST) return false;  // a probe left by a process that died: try another name
    }
    return false;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
    std::vector<char> buf(16384);
    passwd pw{};
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// $XDG_DATA_HOME/qzscan/ (a relative XDG_DATA_HOME is ignored, as the
// base directory rules say), made with mode 0700 together with the parents
// it lacks; "" when the user has no home folder.
std::string UserDataFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        std::string home = HomeFolder();
        if (home.empty()) return {};
        base = home + "/.local/share";
    }
    std::string dir;
    for (char c : base + "/qzscan/")
        if (c != '/' || dir.empty() || dir.back() != '/') dir += c;
    // Each missing folder on the way, from the top. One that cannot be made
    // is left for the program's own check, which names the data folder.
    for (size_t slash = dir.find('/', 1); slash != std::string::npos; slash = dir.find('/', slash + 1))
        ::mkdir(dir.substr(0, slash).c_str(), 0700);
    return dir;
}

}  // namespace

std::string WorkDir() {
    // Tests (and a copy of the program run from elsewhere) give the
    // working folder; read on every call, so that a test may change it.
    if (const char* dir = std::getenv("QZ_WORKDIR"); dir != nullptr && *dir != '\0') {
        if (dir[0] == '/') {
            std::string r = dir;
            if (r.back() != '/') r += '/';
            return r;
        }
        // A relative folder would move with every DirChange: refused.
        static std::once_flag warned;
        std::call_once(warned,
                       [dir] { std::fprintf(stderr, "QZ_WORKDIR: ignoring \"%s\", not an absolute path\n", dir); });
    }
    std::string exe = ExecName();
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) {
        std::vector<char> buf(4096);
        while (::getcwd(buf.data(), buf.size()) == nullptr) {
            if (errno != ERANGE) return {};
            buf.resize(buf.size() * 2);
        }
        std::string cwd = buf.data();
        return cwd.back() == '/' ? cwd : cwd + '/';
    }
    std::string exeDir = exe.substr(0, slash + 1);
    // Decided once: the folder does not move, and the probe is not free.
    static const bool own = !IsSystemProgramFolder(exeDir) && CanCreateFilesIn(exeDir);
    if (own) return exeDir;
    std::string user = UserDataFolder();
    return user.empty() ? exeDir : user;
}

}  // namespace rt
