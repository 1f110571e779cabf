#include "platform/runtime/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"

namespace rt {
namespace {

// ---- Errors ---------------------------------------------------------------

thread_local int tError = 0;

void Ok() { tError = kOsOk; }
void Fail(int code) { tError = code; }
void FailErrno(int err, std::string_view nativePath = {}) { tError = OsErrorFromErrno(err, nativePath); }

// ---- Share modes ------------------------------------------------------------
//
// Every open of a regular file holds shared (read) OFD locks on the bytes
// that describe it: kHasRead / kHasWrite for the access it has, kDenyRead /
// kDenyWrite for what it refuses others. An open conflicts when another open
// file description holds a byte that contradicts it; F_OFD_GETLK with a
// write-lock probe finds holders of any lock on a byte other than the
// caller's own.
//
// The check runs before and again after the new open takes its locks. Two
// conflicting opens racing each other cannot both pass the second check (the
// later of the two sees the other's locks); at worst both fail with 32.

constexpr off_t kShareBase = 0x7FFFFFFF00;
enum ShareByte : int { kHasRead = 0, kHasWrite = 1, kDenyRead = 2, kDenyWrite = 3 };

struct ShareWants {
    bool read = false, write = false, denyRead = false, denyWrite = false;
};

// Whether an open file description other than fd's holds a lock on byte;
// false where the file system has no locks (nothing is enforced there).
bool Held(int fd, int byte) {
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kShareBase + byte;
    fl.l_len = 1;
    fl.l_pid = 0;
    if (::fcntl(fd, F_OFD_GETLK, &fl) == -1) return false;
    return fl.l_type != F_UNLCK;
}

void Hold(int fd, int byte) {
    struct flock fl{};
    fl.l_type = F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kShareBase + byte;
    fl.l_len = 1;
    fl.l_pid = 0;
    // Only a write lock could refuse a shared lock, and this scheme never
    // takes one; where the file system has no locks nothing is held.
    ::fcntl(fd, F_OFD_SETLK, &fl);
}

bool Conflicts(int fd, const ShareWants& w) {
    return (w.read && Held(fd, kDenyRead)) || (w.write && Held(fd, kDenyWrite)) ||
           (w.denyRead && Held(fd, kHasRead)) || (w.denyWrite && Held(fd, kHasWrite));
}

// Whether any other open holds the file (for erase and rename).
bool HeldOpen(const std::string& native) {
    int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    bool held = Held(fd, kHasRead) || Held(fd, kHasWrite);
    ::close(fd);
    return held;
}

// Descriptors opened through ShareOpen, with the extra descriptor that holds
// the share locks of a write-only open (a shared lock needs read access).
struct OpenFile {
    int lockFd = -1;
    bool isHandle = false;  // handed out by FOpen/FCreate
};

std::mutex gMutex;
std::unordered_map<int, OpenFile> gOpen;

bool DecodeMode(int mode, int* access, ShareWants* w) {
    *access = mode & 0x03;
    int share = mode & 0x70;
    if (*access == 3) return false;
    w->read = *access == kFoRead || *access == kFoReadWrite;
    w->write = *access == kFoWrite || *access == kFoReadWrite;
    switch (share) {
        case kFoCompat:
        case kFoDenyNone: break;
        case kFoExclusive: w->denyRead = w->denyWrite = true; break;
        case kFoDenyWrite: w->denyWrite = true; break;
        case kFoDenyRead: w->denyRead = true; break;
        default: return false;
    }
    return true;
}

// The descriptor behind a handle, or -1 with error 6.
int HandleFd(int handle) {
    std::lock_guard lock(gMutex);
    auto it = gOpen.find(handle);
    if (it == gOpen.end() || !it->second.isHandle) {
        Fail(kOsInvalidHandle);
        return -1;
    }
    return handle;
}

int OpenHandle(std::string_view path, int flags, int mode, bool forCreate, unsigned createMode) {
    int err = 0;
    std::string native = FilePath(path, forCreate, &err);
    if (native.empty()) {
        Fail(err);
        return -1;
    }
    int access = 0;
    ShareWants w;
    if (!DecodeMode(mode, &access, &w)) {
        Fail(kOsInvalidAccess);
        return -1;
    }
    int fd = ShareOpen(native, flags, access, mode & 0x70, &err, createMode);
    if (fd < 0) {
        Fail(err);
        return -1;
    }
    {
        std::lock_guard lock(gMutex);
        gOpen[fd].isHandle = true;
    }
    Ok();
    return fd;
}

// Reads until count bytes or the end of the file; -1 on error (bytes read
// before it are in *got).
bool ReadFully(int fd, char* buf, size_t count, size_t* got) {
    *got = 0;
    while (*got < count) {
        ssize_t n = ::read(fd, buf + *got, count - *got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        *got += static_cast<size_t>(n);
    }
    return true;
}

bool WriteFully(int fd, const char* buf, size_t count, size_t* put) {
    *put = 0;
    while (*put < count) {
        ssize_t n = ::write(fd, buf + *put, count - *put);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        *put += static_cast<size_t>(n);
    }
    return true;
}

// ---- Wildcards --------------------------------------------------------------

char Fold(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchNoCase(std::string_view pat, std::string_view name) {
    if (pat == "*.*" || pat == "*") return true;
    // Iterative glob with one backtrack point for the last '*'.
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pat.size() && (pat[p] == '?' || Fold(pat[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (p < pat.size() && pat[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

// ---- Paths for the file functions -------------------------------------------

std::string FilePath(std::string_view path, bool forCreate, int* osError) {
    path = TrimRight(path);
    if (path.empty()) {
        *osError = kOsPathNotFound;
        return {};
    }
    std::string full(path);
    if (!HasDirectoryPart(path)) {
        auto dir = GetDefaultDir();
        if (dir && !dir->empty()) full = *dir + "\\" + full;
    }
    NativePath np = MapPath(full, forCreate);
    if (np.error != 0) {
        // Windows reports a file on a drive that does not exist as a
        // missing path.
        *osError = np.error == kOsInvalidDrive ? kOsPathNotFound : np.error;
        return {};
    }
    *osError = 0;
    return np.path;
}

int ShareOpen(const std::string& nativePath, int flags, int access, int share, int* osError,
              unsigned createMode) {
    ShareWants w;
    int accessIgnored = 0;
    if (access < 0 || access > 2 || !DecodeMode(access | (share & 0x70), &accessIgnored, &w)) {
        *osError = kOsInvalidAccess;
        return -1;
    }
    bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    int fd;
    do {
        fd = ::open(nativePath.c_str(), flags | O_CLOEXEC, static_cast<mode_t>(createMode));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *osError = OsErrorFromErrno(errno, nativePath);
        return -1;
    }
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        *osError = kOsAccessDenied;  // a directory is not a file to open
        return -1;
    }
    int lockFd = -1;
    if (S_ISREG(st.st_mode)) {
        int holder = fd;
        if (access == kFoWrite) {
            // Shared locks need a descriptor open for reading: reopen the
            // same file through /proc. Without read permission the open
            // still checks for conflicts but holds nothing itself.
            std::string self = "/proc/self/fd/" + std::to_string(fd);
            lockFd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
            holder = lockFd;
        }
        bool conflict = Conflicts(fd, w);
        if (!conflict && holder >= 0) {
            if (w.read) Hold(holder, kHasRead);
            if (w.write) Hold(holder, kHasWrite);
            if (w.denyRead) Hold(holder, kDenyRead);
            if (w.denyWrite) Hold(holder, kDenyWrite);
            conflict = Conflicts(holder, w);
        }
        if (conflict) {
            if (lockFd >= 0) ::close(lockFd);
            ::close(fd);
            *osError = kOsSharingViolation;
            return -1;
        }
    }
    if (truncate && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        int err = errno;
        if (lockFd >= 0) ::close(lockFd);
        ::close(fd);
        *osError = OsErrorFromErrno(err, nativePath);
        return -1;
    }
    {
        std::lock_guard lock(gMutex);
        gOpen[fd] = OpenFile{lockFd, false};
    }
    *osError = 0;
    return fd;
}

void ShareClose(int fd) {
    int lockFd = -1;
    {
        std::lock_guard lock(gMutex);
        auto it = gOpen.find(fd);
        if (it != gOpen.end()) {
            lockFd = it->second.lockFd;
            gOpen.erase(it);
        }
    }
    if (lockFd >= 0) ::close(lockFd);
    ::close(fd);
}

// ---- Handles ------------------------------------------------------------------

int FCreate(std::string_view path, int attr) {
    unsigned createMode = (attr & kFcReadOnly) ? 0444 : 0666;
    return OpenHandle(path, O_RDWR | O_CREAT | O_TRUNC, kFoReadWrite | kFoDenyNone, true, createMode);
}

int FOpen(std::string_view path, int mode) {
    int access = mode & 0x03;
    int flags = access == kFoWrite ? O_WRONLY : access == kFoReadWrite ? O_RDWR : O_RDONLY;
    return OpenHandle(path, flags | O_NOCTTY, mode, false, 0);
}

bool FClose(int handle) {
    int lockFd = -1;
    {
        std::lock_guard lock(gMutex);
        auto it = gOpen.find(handle);
        if (it == gOpen.end() || !it->second.isHandle) {
            Fail(kOsInvalidHandle);
            return false;
        }
        lockFd = it->second.lockFd;
        gOpen.erase(it);
    }
    if (lockFd >= 0) ::close(lockFd);
    if (::close(handle) != 0 && errno != EINTR) {
        FailErrno(errno);
        return false;
    }
    Ok();
    return true;
}

size_t FRead(int handle, void* buffer, size_t count) {
    int fd = HandleFd(handle);
    if (fd < 0) return 0;
    size_t got = 0;
    if (!ReadFully(fd, static_cast<char*>(buffer), count, &got)) {
        // EBADF on a handle of ours: it was not opened for reading.
        Fail(errno == EBADF ? kOsAccessDenied : OsErrorFromErrno(errno));
        return got;
    }
    Ok();
    return got;
}

std::string FReadStr(int handle, size_t count) {
    int fd = HandleFd(handle);
    if (fd < 0) return {};
    // Never allocate more than a regular file has left to give.
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        off_t pos = ::lseek(fd, 0, SEEK_CUR);
        if (pos >= 0) {
            uint64_t left = st.st_size > pos ? static_cast<uint64_t>(st.st_size - pos) : 0;
            count = static_cast<size_t>(std::min<uint64_t>(count, left));
        }
    } else {
        count = std::min<size_t>(count, 1 << 20);  // a device or pipe: a short read is allowed
    }
    std::string s(count, '\0');
    size_t got = FRead(handle, s.data(), count);
    s.resize(got);
    return s;
}

std::string FReadText(int handle, size_t count) { return FReadStr(handle, count); }

size_t FWrite(int handle, std::string_view data, size_t count) {
    int fd = HandleFd(handle);
    if (fd < 0) return 0;
    count = std::min(count, data.size());
    size_t put = 0;
    if (!WriteFully(fd, data.data(), count, &put)) {
        Fail(errno == EBADF ? kOsAccessDenied : OsErrorFromErrno(errno));
        return put;
    }
    Ok();
    return put;
}

size_t FWriteText(int handle, std::string_view data, size_t count) { return FWrite(handle, data, count); }

size_t FPutS(int handle, std::string_view text) {
    std::string line(text);
    line += "\r\n";
    return FWrite(handle, line);
}

size_t FPutS3(int handle, std::string_view text, size_t len) {
    return FPutS(handle, text.substr(0, std::min(len, text.size())));
}

std::string FGetS(int handle, size_t maxLen) {
    int fd = HandleFd(handle);
    if (fd < 0) return {};
    off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0) {
        FailErrno(errno);
        return {};
    }
    // Read until a line feed or enough bytes to decide: the longest line
    // plus its CR LF.
    const size_t want = maxLen > SIZE_MAX - 2 ? SIZE_MAX : maxLen + 2;
    std::string buf;
    size_t nl = std::string::npos;
    while (buf.size() < want && maxLen > 0) {
        size_t chunk = std::min<size_t>(want - buf.size(), 4096);
        size_t old = buf.size();
        buf.resize(old + chunk);
        size_t got = 0;
        bool ok = ReadFully(fd, buf.data() + old, chunk, &got);
        buf.resize(old + got);
        if (!ok) {
            // EBADF on a handle of ours: it was not opened for reading.
            Fail(errno == EBADF ? kOsAccessDenied : OsErrorFromErrno(errno));
            ::lseek(fd, start, SEEK_SET);
            return {};
        }
        nl = buf.find('\n', old);
        if (nl != std::string::npos || got < chunk) break;
    }
    std::string line;
    size_t consumed;
    if (nl != std::string::npos) {
        size_t end = nl > 0 && buf[nl - 1] == '\r' ? nl - 1 : nl;
        if (end <= maxLen) {
            line = buf.substr(0, end);
            consumed = nl + 1;
        } else {
            line = buf.substr(0, maxLen);
            consumed = maxLen;
        }
    } else {
        consumed = std::min(buf.size(), maxLen);
        line = buf.substr(0, consumed);
    }
    if (::lseek(fd, start + static_cast<off_t>(consumed), SEEK_SET) < 0) {
        FailErrno(errno);
        return {};
    }
    Ok();
    return line;
}

int64_t FSeek(int handle, int64_t offset, int origin) {
    int fd = HandleFd(handle);
    if (fd < 0) return -1;
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : -1;
    if (whence < 0) {
        Fail(kOsInvalidParameter);
        return -1;
    }
    off_t pos = ::lseek(fd, static_cast<off_t>(offset), whence);
    if (pos < 0) {
        // Linux refuses a position before the start with EINVAL.
        Fail(errno == EINVAL ? kOsNegativeSeek : OsErrorFromErrno(errno));
        return -1;
    }
    Ok();
    return pos;
}

int64_t FTell(int handle) { return FSeek(handle, 0, 1); }

bool FEof(int handle) {
    int fd = HandleFd(handle);
    if (fd < 0) return true;
    struct stat st{};
    off_t pos = ::lseek(fd, 0, SEEK_CUR);
    if (pos < 0 || ::fstat(fd, &st) != 0) {
        FailErrno(errno);
        return true;
    }
    Ok();
    return pos >= st.st_size;
}

bool FRewind(int handle) { return FSeek(handle, 0, 0) == 0; }

bool FCommit(int handle) {
    int fd = HandleFd(handle);
    if (fd < 0) return false;
    if (::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        FailErrno(errno);
        return false;
    }
    Ok();
    return true;
}

int FError() { return tError; }
int FError(int code) { return std::exchange(tError, code); }

// ---- Whole files ----------------------------------------------------------------

bool File(std::string_view path) {
    path = TrimRight(path);
    size_t sep = path.find_last_of("\\/");
    std::string_view last = sep == std::string_view::npos ? path : path.substr(sep + 1);
    if (sep == std::string_view::npos && last.size() >= 2 && last[1] == ':') last.remove_prefix(2);
    int err = 0;
    if (!HasWildcard(last)) {
        std::string native = FilePath(path, false, &err);
        struct stat st{};
        if (native.empty()) {
            Fail(err);
            return false;
        }
        if (::stat(native.c_str(), &st) != 0) {
            FailErrno(errno, native);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            Fail(kOsFileNotFound);
            return false;
        }
        Ok();
        return true;
    }
    // The directory part names where to look ("" the default directory).
    std::string dirPart(path.substr(0, path.size() - last.size()));
    std::string native;
    if (dirPart.empty()) {
        auto dd = GetDefaultDir();
        native = ResolvePath(dd && !dd->empty() ? *dd : std::string("."));
    } else {
        native = FilePath(dirPart, false, &err);
        if (native.empty()) {
            Fail(err);
            return false;
        }
    }
    DIR* d = ::opendir(native.c_str());
    if (d == nullptr) {
        Fail(errno == ENOENT || errno == ENOTDIR ? kOsPathNotFound : OsErrorFromErrno(errno));
        return false;
    }
    bool found = false;
    while (dirent* e = ::readdir(d)) {
        std::string_view n = e->d_name;
        if (n == "." || n == ".." || !MatchNoCase(last, n)) continue;
        struct stat st{};
        std::string full = native + "/" + std::string(n);
        if (::stat(full.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            found = true;
            break;
        }
    }
    ::closedir(d);
    if (found)
        Ok();
    else
        Fail(kOsFileNotFound);
    return found;
}

bool FCopy(std::string_view source, std::string_view target) {
    int err = 0;
    std::string from = FilePath(source, false, &err);
    if (from.empty()) {
        Fail(err);
        return false;
    }
    std::string to = FilePath(target, true, &err);
    if (to.empty()) {
        Fail(err);
        return false;
    }
    // The source is read while nobody may write it, so the copy is whole.
    int in = ShareOpen(from, O_RDONLY | O_NOCTTY, kFoRead, kFoDenyWrite, &err);
    if (in < 0) {
        Fail(err);
        return false;
    }
    struct stat sst{}, dst{};
    ::fstat(in, &sst);
    if (::stat(to.c_str(), &dst) == 0 && SameFile(sst, dst)) {
        ShareClose(in);
        Fail(kOsSharingViolation);  // copying a file onto itself would empty it
        return false;
    }
    // The target is held exclusively while it is written; it is truncated
    // only after that share check.
    int out = ShareOpen(to, O_WRONLY | O_CREAT | O_TRUNC | O_NOCTTY, kFoWrite, kFoExclusive, &err,
                        sst.st_mode & 0777);
    if (out < 0) {
        ShareClose(in);
        Fail(err);
        return false;
    }
    std::vector<char> buf(1 << 16);
    int failure = 0;
    for (;;) {
        size_t got = 0;
        if (!ReadFully(in, buf.data(), buf.size(), &got)) {
            failure = OsErrorFromErrno(errno);
            break;
        }
        if (got == 0) break;
        size_t put = 0;
        if (!WriteFully(out, buf.data(), got, &put)) {
            failure = OsErrorFromErrno(errno);
            break;
        }
    }
    ShareClose(in);
    // close() reports late write errors (delayed allocation, network file
    // systems); the lock descriptor is closed separately first.
    int lockFd = -1;
    {
        std::lock_guard lock(gMutex);
        auto it = gOpen.find(out);
        if (it != gOpen.end()) {
            lockFd = it->second.lockFd;
            gOpen.erase(it);
        }
    }
    // Only a regular file that is still the one written is removed on
    // failure (never a device such as /dev/full named as target).
    struct stat ost{};
    bool removable = ::fstat(out, &ost) == 0 && S_ISREG(ost.st_mode);
    if (failure == 0 && ::fdatasync(out) != 0 && errno != EINVAL) failure = OsErrorFromErrno(errno);
    if (::close(out) != 0 && failure == 0 && errno != EINTR) failure = OsErrorFromErrno(errno);
    if (failure != 0 && removable && ::stat(to.c_str(), &dst) == 0 && SameFile(ost, dst))
        ::unlink(to.c_str());
    if (lockFd >= 0) ::close(lockFd);
    if (failure != 0) {
        Fail(failure);
        return false;
    }
    Ok();
    return true;
}

bool FErase(std::string_view path) {
    int err = 0;
    std::string native = FilePath(path, false, &err);
    if (native.empty()) {
        Fail(err);
        return false;
    }
    struct stat st{};
    if (::lstat(native.c_str(), &st) != 0) {
        FailErrno(errno, native);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        Fail(kOsAccessDenied);
        return false;
    }
    if (S_ISREG(st.st_mode) && HeldOpen(native)) {
        Fail(kOsSharingViolation);
        return false;
    }
    if (::unlink(native.c_str()) != 0) {
        FailErrno(errno, native);
        return false;
    }
    Ok();
    return true;
}

bool FRename(std::string_view from, std::string_view to) {
    int err = 0;
    std::string src = FilePath(from, false, &err);
    if (src.empty()) {
        Fail(err);
        return false;
    }
    struct stat sst{};
    if (::lstat(src.c_str(), &sst) != 0) {
        FailErrno(errno, src);
        return false;
    }
    if (S_ISREG(sst.st_mode) && HeldOpen(src)) {
        Fail(kOsSharingViolation);
        return false;
    }
    std::string dst = FilePath(to, true, &err);
    if (dst.empty()) {
        Fail(err);
        return false;
    }
    struct stat dstat{};
    if (::lstat(dst.c_str(), &dstat) == 0) {
        if (!SameFile(sst, dstat)) {
            Fail(kOsAlreadyExists);
            return false;
        }
        // The new name differs only in case and so resolved to the file
        // itself: rename to the name exactly as given.
        std::string_view given = TrimRight(to);
        size_t sep = given.find_last_of("\\/");
        if (sep != std::string_view::npos) given.remove_prefix(sep + 1);
        else if (given.size() >= 2 && given[1] == ':') given.remove_prefix(2);
        dst = dst.substr(0, dst.rfind('/') + 1) + std::string(given);
        if (dst == src) {
            Ok();
            return true;
        }
    }
    if (::renameat2(AT_FDCWD, src.c_str(), AT_FDCWD, dst.c_str(), RENAME_NOREPLACE) != 0) {
        int e = errno;
        if (e == EINVAL || e == ENOSYS) {
            // A file system without RENAME_NOREPLACE: check, then rename.
            if (::lstat(dst.c_str(), &dstat) == 0) {
                Fail(kOsAlreadyExists);
                return false;
            }
            if (::rename(src.c_str(), dst.c_str()) == 0) {
                Ok();
                return true;
            }
            e = errno;
        }
        Fail(e == EEXIST ? kOsAlreadyExists : OsErrorFromErrno(e, dst));
        return false;
    }
    Ok();
    return true;
}

std::string MemoRead(std::string_view path) {
    int h = FOpen(path, kFoRead | kFoDenyNone);
    if (h < 0) return {};
    std::string content;
    std::vector<char> buf(1 << 16);
    for (;;) {
        size_t got = 0;
        if (!ReadFully(h, buf.data(), buf.size(), &got)) {
            int err = errno;
            FClose(h);
            FailErrno(err);
            return {};
        }
        if (got == 0) break;
        content.append(buf.data(), got);
    }
    FClose(h);
    return content;
}

bool MemoWrit(std::string_view path, std::string_view text) {
    int h = FCreate(path);
    if (h < 0) return false;
    size_t put = FWrite(h, text);
    int err = FError();
    bool closed = FClose(h);
    if (put != text.size()) {
        Fail(err);
        return false;
    }
    return closed;
}

}  // namespace rt
