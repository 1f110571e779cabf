#include "platform/runtime/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/runtime/oserror.h"
#include "platform/runtime/text.h"

namespace rt {
namespace {

constexpr std::string_view kUnusableRoot = "/dev/null/";

bool IsSep(char c) { return c == '\\' || c == '/'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

// A drive letter at the start of a path ("C:..."), or 0.
char DriveOf(std::string_view path) {
    return path.size() >= 2 && IsLetter(path[0]) && path[1] == ':' ? Upper(path[0]) : 0;
}

// Splits on both separators, dropping empty and "." components and
// applying ".." to what is already in comps (never below its start).
void AppendComponents(std::vector<std::string>& comps, std::string_view text) {
    size_t i = 0;
    while (i <= text.size()) {
        size_t j = i;
        while (j < text.size() && !IsSep(text[j])) ++j;
        std::string_view c = text.substr(i, j - i);
        if (c == "..") {
            if (!comps.empty()) comps.pop_back();
        } else if (!c.empty() && c != ".") {
            comps.emplace_back(c);
        }
        i = j + 1;
    }
}

std::string Join(const std::string& base, std::string_view name) {
    std::string r = base;
    if (r.empty() || r.back() != '/') r += '/';
    r += name;
    return r;
}

// True when path is root itself or lies below it (whole components).
bool Within(const std::string& root, const std::string& path) {
    if (root == "/") return !path.empty() && path[0] == '/';
    return path.compare(0, root.size(), root) == 0 && (path.size() == root.size() || path[root.size()] == '/');
}

// The part of path below root, without leading "/" ("" at the root).
std::string Below(const std::string& root, const std::string& path) {
    if (root == "/") return path.substr(1);
    return path.size() > root.size() ? path.substr(root.size() + 1) : std::string();
}

std::string CurrentWorkingDir() {
    std::vector<char> buf(PATH_MAX);
    while (::getcwd(buf.data(), buf.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buf.resize(buf.size() * 2);
    }
    return buf.data();
}

// A drive root as configured, made absolute and free of "." and "..", with
// symbolic links resolved when it exists (the current directory is compared
// with it, and getcwd gives the physical path).
std::string NormalizeRoot(std::string_view dir) {
    std::vector<std::string> comps;
    if (dir.empty() || dir[0] != '/') AppendComponents(comps, CurrentWorkingDir());
    AppendComponents(comps, dir);
    std::string lexical = "/";
    for (const auto& c : comps) lexical = Join(lexical, c);
    if (char* real = ::realpath(lexical.c_str(), nullptr)) {
        std::string r = real;
        std::free(real);
        return r;
    }
    return lexical;
}

struct DriveState {
    bool loaded = false;
    bool hasMap = false;                               // QZ_DRIVES is in force
    std::array<std::optional<std::string>, 26> roots;  // used when hasMap
    char chosen = 0;                                   // the drive DirChange went to
    std::array<std::string, 26> dirs;                  // per-drive directory below its root
};

std::mutex gMutex;
DriveState gState;

void LoadLocked() {
    DriveState s;
    s.loaded = true;
    const char* env = std::getenv("QZ_DRIVES");
    if (env != nullptr && *env != '\0') {
        s.hasMap = true;  // set: only the drives listed exist, even if none is usable
        std::string_view all = env;
        size_t i = 0;
        while (i <= all.size()) {
            size_t j = all.find(';', i);
            if (j == std::string_view::npos) j = all.size();
            std::string_view entry = all.substr(i, j - i);
            entry = AllTrimmed(entry);
            i = j + 1;
            if (entry.empty()) continue;
            // "C=/dir" or "C:=/dir".
            size_t eq = entry.find('=');
            std::string_view letter = eq == std::string_view::npos ? entry : entry.substr(0, eq);
            if (letter.size() == 2 && letter[1] == ':') letter.remove_suffix(1);
            if (eq == std::string_view::npos || letter.size() != 1 || !IsLetter(letter[0]) || eq + 1 >= entry.size()) {
                std::fprintf(stderr, "QZ_DRIVES: ignoring malformed entry \"%.*s\"\n", static_cast<int>(entry.size()),
                             entry.data());
                continue;
            }
            s.roots[static_cast<size_t>(Upper(letter[0]) - 'A')] = NormalizeRoot(entry.substr(eq + 1));
        }
    }
    gState = std::move(s);
}

DriveState& StateLocked() {
    if (!gState.loaded) LoadLocked();
    return gState;
}

std::optional<std::string> RootLocked(char drive) {
    drive = Upper(drive);
    if (!IsLetter(drive)) return std::nullopt;
    DriveState& s = StateLocked();
    if (!s.hasMap) return std::string("/");
    return s.roots[static_cast<size_t>(drive - 'A')];
}

// The current drive: the one DirChange chose while the current directory is
// still on it, else the drive whose root is the longest prefix of the
// current directory (C wins ties, then the lower letter). When the current
// directory lies outside every root: C if mapped, else the first mapped.
char CurrentDriveLocked(const std::string& cwd) {
    DriveState& s = StateLocked();
    if (s.chosen != 0) {
        auto r = RootLocked(s.chosen);
        if (r && Within(*r, cwd)) return s.chosen;
    }
    char best = 0;
    size_t bestLen = 0;
    auto consider = [&](char d) {
        auto r = RootLocked(d);
        if (r && Within(*r, cwd) && (best == 0 || r->size() > bestLen)) {
            best = d;
            bestLen = r->size();
        }
    };
    consider('C');
    for (char d = 'A'; d <= 'Z'; ++d)
        if (d != 'C') consider(d);
    if (best != 0) return best;
    if (RootLocked('C')) return 'C';
    for (char d = 'A'; d <= 'Z'; ++d)
        if (RootLocked(d)) return d;
    return 'C';
}

// A path taken apart: the native directory that ".." cannot climb above,
// and the components below it, "." and ".." already applied.
struct Parsed {
    int error = 0;
    char drive = 0;          // the drive the path is on; 0 for native absolute paths
    bool driveOnly = false;  // "X:" with nothing after it
    std::string floor;
    std::vector<std::string> comps;
};

Parsed Parse(std::string_view path) {
    Parsed p;
    // Applications pad names to a field width; trailing blanks are never
    // part of the name they mean.
    path = RTrimmed(path);
    if (path.empty()) {
        p.error = kOsPathNotFound;
        return p;
    }
    if (path.find('\0') != std::string_view::npos) {
        p.error = kOsInvalidName;
        return p;
    }
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        p.error = kOsPathNotFound;  // network paths are not mapped
        return p;
    }
    std::string cwd = CurrentWorkingDir();
    std::lock_guard lock(gMutex);
    char cur = CurrentDriveLocked(cwd);
    std::string_view rest = path;
    // Where a drive-relative or relative path starts: the drive's directory.
    auto startOnDrive = [&](char d, const std::string& root) {
        p.floor = root;
        if (d == cur && !cwd.empty() && Within(root, cwd)) AppendComponents(p.comps, Below(root, cwd));
        else AppendComponents(p.comps, StateLocked().dirs[static_cast<size_t>(d - 'A')]);
    };
    if (char d = DriveOf(path)) {
        auto root = RootLocked(d);
        if (!root) {
            p.error = kOsInvalidDrive;
            return p;
        }
        p.drive = d;
        rest = path.substr(2);
        p.driveOnly = rest.empty();
        if (!rest.empty() && IsSep(rest[0])) p.floor = *root;
        else startOnDrive(d, *root);
    } else if (path[0] == '\\') {
        // Rooted without a drive: the current drive's root.
        p.drive = cur;
        p.floor = RootLocked(cur).value_or("/");
    } else if (path[0] == '/') {
        // A native absolute path, used as it is.
        p.floor = "/";
    } else if (cwd.empty()) {
        // The current directory is gone: leave the path relative, so that
        // opening it fails the way the system decides.
        p.floor = ".";
    } else {
        p.drive = cur;
        auto root = RootLocked(cur);
        if (root && Within(*root, cwd)) {
            startOnDrive(cur, *root);
        } else {
            p.floor = "/";
            AppendComponents(p.comps, cwd);
        }
    }
    AppendComponents(p.comps, rest);
    return p;
}

// The entry of dir whose name equals name ignoring ASCII case; of several,
// the first in byte order. Empty when there is none.
std::string FindNoCase(const std::string& dir, const std::string& name) {
    DIR* d = ::opendir(dir.c_str());
    if (d == nullptr) return {};
    std::string best;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n == "." || n == "..") continue;
        if (EqualsNoCase(n, name) && (best.empty() || n < best)) best = n;
    }
    ::closedir(d);
    return best;
}

// Walks the components: an exact name is taken as it is, otherwise the
// directory is searched ignoring case; from the first component that is not
// found the rest is appended as given.
std::string Walk(const Parsed& p) {
    std::string full = p.floor;
    for (const auto& c : p.comps) full = Join(full, c);
    struct stat st = {};
    if (::lstat(full.c_str(), &st) == 0) return full;

    std::string cur = p.floor;
    size_t i = 0;
    for (; i < p.comps.size(); ++i) {
        std::string exact = Join(cur, p.comps[i]);
        if (::lstat(exact.c_str(), &st) == 0) {
            cur = std::move(exact);
            continue;
        }
        if (errno != ENOENT) break;
        std::string match = FindNoCase(cur, p.comps[i]);
        if (match.empty()) break;
        cur = Join(cur, match);
    }
    for (; i < p.comps.size(); ++i) cur = Join(cur, p.comps[i]);
    return cur;
}

std::string UnusablePath(std::string_view path) {
    std::string r(kUnusableRoot);
    for (char c : path) {
        if (c == '\0') continue;
        r += c == '\\' ? '/' : c;
    }
    return r;
}

std::string ExePath() {
    static const std::string exe = [] {
        std::vector<char> buf(PATH_MAX);
        for (;;) {
            ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
            if (n < 0) return std::string();
            if (static_cast<size_t>(n) < buf.size()) {
                std::string r(buf.data(), static_cast<size_t>(n));
                constexpr std::string_view kDeleted = " (deleted)";
                if (r.ends_with(kDeleted)) r.resize(r.size() - kDeleted.size());
                return r;
            }
            buf.resize(buf.size() * 2);
        }
    }();
    return exe;
}

}  // namespace

NativePath MapPath(std::string_view path, bool /*forCreate*/) {
    // Reading and creating resolve alike: an existing entry that matches
    // ignoring case is the one a create replaces, so a later read of the
    // same name finds what was written.
    Parsed p = Parse(path);
    if (p.error != 0) return {UnusablePath(path), p.error};
    return {Walk(p), 0};
}

std::string ResolvePath(std::string_view path) { return MapPath(path, false).path; }

std::string ResolvePathForCreate(std::string_view path) { return MapPath(path, true).path; }

bool HasDirectoryPart(std::string_view path) {
    if (DriveOf(path) != 0) return true;
    for (char c : path)
        if (IsSep(c)) return true;
    return false;
}

std::optional<std::string> DriveRoot(char drive) {
    std::lock_guard lock(gMutex);
    return RootLocked(drive);
}

void SetDriveRoot(char drive, std::optional<std::string> root) {
    std::lock_guard lock(gMutex);
    drive = Upper(drive);
    if (!IsLetter(drive)) return;
    DriveState& s = StateLocked();
    if (!s.hasMap) {
        // The default map (every drive is "/") becomes explicit first.
        s.hasMap = true;
        for (auto& r : s.roots) r = std::string("/");
    }
    s.roots[static_cast<size_t>(drive - 'A')] = root ? std::optional<std::string>(NormalizeRoot(*root)) : std::nullopt;
}

void ReloadDriveMap() {
    std::lock_guard lock(gMutex);
    LoadLocked();
}

std::string ExecName() { return ExePath(); }

std::string CurDrive() {
    std::string cwd = CurrentWorkingDir();
    std::lock_guard lock(gMutex);
    return std::string(1, CurrentDriveLocked(cwd));
}

std::string CurDir() {
    std::string cwd = CurrentWorkingDir();
    std::lock_guard lock(gMutex);
    auto root = RootLocked(CurrentDriveLocked(cwd));
    if (!root || cwd.empty() || !Within(*root, cwd)) return {};
    std::string rel = Below(*root, cwd);
    for (char& c : rel)
        if (c == '/') c = '\\';
    return rel;
}

std::string DiskName() { return CurDrive() + ":"; }

int DirChange(std::string_view path) {
    Parsed p = Parse(path);
    if (p.error != 0) return p.error;
    std::string target = Walk(p);

    std::string before = CurrentWorkingDir();
    {
        // Remember where the drive we leave was, for a later "X:".
        std::lock_guard lock(gMutex);
        char cur = CurrentDriveLocked(before);
        auto root = RootLocked(cur);
        if (root && !before.empty() && Within(*root, before))
            StateLocked().dirs[static_cast<size_t>(cur - 'A')] = Below(*root, before);
    }
    if (::chdir(target.c_str()) != 0) {
        int err = errno;
        if (p.driveOnly) {
            // The drive's remembered directory is gone: its root.
            auto root = DriveRoot(p.drive);
            if (root && ::chdir(root->c_str()) == 0) err = 0;
        }
        if (err == ENOENT || err == ENOTDIR) return kOsPathNotFound;
        if (err != 0) return OsErrorFromErrno(err, target);
    }
    std::string after = CurrentWorkingDir();
    std::lock_guard lock(gMutex);
    DriveState& s = StateLocked();
    s.chosen = 0;
    if (p.drive != 0) {
        auto root = RootLocked(p.drive);
        if (root && Within(*root, after)) s.chosen = p.drive;
    }
    char now = CurrentDriveLocked(after);
    auto root = RootLocked(now);
    if (root && Within(*root, after)) s.dirs[static_cast<size_t>(now - 'A')] = Below(*root, after);
    return kOsOk;
}

int DirMake(std::string_view path) {
    NativePath np = MapPath(path, true);
    if (np.error == kOsInvalidDrive) return kOsPathNotFound;
    if (np.error != 0) return np.error;
    if (::mkdir(np.path.c_str(), 0777) == 0) return kOsOk;
    int err = errno;
    if (err == EEXIST) return kOsAlreadyExists;
    return OsErrorFromErrno(err, np.path);
}

}  // namespace rt
