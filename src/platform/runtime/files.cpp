// Handles and share modes: FCreate/FOpen/FClose, reads, writes and seeks on
// a handle, and the share-mode scheme every open takes part in.
#include "platform/runtime/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/runtime/fileimpl.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace rt {
namespace fileimpl {
namespace {
thread_local int tError = 0;
}  // namespace

void Ok() { tError = kOsOk; }
void Fail(int code) { tError = code; }
void FailErrno(int err, std::string_view nativePath) { tError = OsErrorFromErrno(err, nativePath); }
int TransferError(int err) { return err == EBADF ? kOsAccessDenied : OsErrorFromErrno(err); }

std::string NativeOrFail(std::string_view path, bool forCreate) {
    int err = 0;
    std::string native = FilePath(path, forCreate, &err);
    if (native.empty()) Fail(err);
    return native;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace fileimpl

using namespace fileimpl;

namespace {
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
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = kShareBase + byte;
    fl.l_len = 1;
    fl.l_pid = 0;
    if (::fcntl(fd, F_OFD_GETLK, &fl) == -1) return false;
    return fl.l_type != F_UNLCK;
}

void Hold(int fd, int byte) {
    struct flock fl {};
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
    return (w.read && Held(fd, kDenyRead)) || (w.write && Held(fd, kDenyWrite)) || (w.denyRead && Held(fd, kHasRead)) ||
           (w.denyWrite && Held(fd, kHasWrite));
}

}  // namespace

namespace fileimpl {

// Whether any other open holds the file (for erase and rename).
bool HeldOpen(const std::string& native) {
    int fd = ::open(native.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    bool held = Held(fd, kHasRead) || Held(fd, kHasWrite);
    ::close(fd);
    return held;
}

}  // namespace fileimpl

namespace {

// Descriptors opened through ShareOpen, with the extra descriptor that holds
// the share locks of a write-only open (a shared lock needs read access).
struct ShareEntry {
    int lockFd = -1;
    bool isHandle = false;  // handed out by FOpen/FCreate
};

std::mutex gMutex;
std::unordered_map<int, ShareEntry> gOpen;

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

}  // namespace

namespace fileimpl {

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

int ForgetShare(int fd) {
    std::lock_guard lock(gMutex);
    auto it = gOpen.find(fd);
    if (it == gOpen.end()) return -1;
    int lockFd = it->second.lockFd;
    gOpen.erase(it);
    return lockFd;
}

}  // namespace fileimpl

namespace {

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

}  // namespace

// ---- Paths for the file functions -------------------------------------------

std::string FilePath(std::string_view path, bool forCreate, int* osError) {
    path = RTrimmed(path);
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

int ShareOpen(const std::string& nativePath, int flags, int access, int share, int* osError, unsigned createMode) {
    ShareWants w;
    int accessIgnored = 0;
    if (access < 0 || access > 2 || !DecodeMode(access | (share & 0x70), &accessIgnored, &w)) {
        *osError = kOsInvalidAccess;
        return -1;
    }
    bool truncate = (flags & O_TRUNC) != 0;
    flags &= ~O_TRUNC;
    int openErr = 0;
    int fd = OpenFile(nativePath, flags, static_cast<mode_t>(createMode), &openErr).Release();
    if (fd < 0) {
        *osError = OsErrorFromErrno(openErr, nativePath);
        return -1;
    }
    struct stat st = {};
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
    // An empty file (one this open has just made) needs no cutting: a
    // failure there would leave a new empty file behind the failed open.
    if (int err = truncate && S_ISREG(st.st_mode) && st.st_size > 0 ? Truncate(fd, 0) : 0) {
        if (lockFd >= 0) ::close(lockFd);
        ::close(fd);
        *osError = OsErrorFromErrno(err, nativePath);
        return -1;
    }
    {
        std::lock_guard lock(gMutex);
        gOpen[fd] = ShareEntry{lockFd, false};
    }
    *osError = 0;
    return fd;
}

int ShareClose(int fd) {
    Fd locks(ForgetShare(fd));
    return Fd(fd).Close();
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
    if (int err = Fd(handle).Close()) {
        FailErrno(err);
        return false;
    }
    Ok();
    return true;
}

size_t FRead(int handle, void* buffer, size_t count) {
    int fd = HandleFd(handle);
    if (fd < 0) return 0;
    IoResult r = ReadFull(fd, buffer, count);
    if (!r.Ok()) {
        Fail(TransferError(r.err));
        return r.bytes;
    }
    Ok();
    return r.bytes;
}

std::string FReadStr(int handle, size_t count) {
    int fd = HandleFd(handle);
    if (fd < 0) return {};
    // Never allocate more than a regular file has left to give.
    struct stat st = {};
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
    IoResult r = WriteAll(fd, data.data(), count);
    if (!r.Ok()) {
        Fail(TransferError(r.err));
        return r.bytes;
    }
    Ok();
    return r.bytes;
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
    struct stat st = {};
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
    // A read-only file system has nothing of ours to write out.
    if (int err = SyncData(fd); err != 0 && err != EROFS) {
        FailErrno(err);
        return false;
    }
    Ok();
    return true;
}

int FError() { return tError; }
int FError(int code) { return std::exchange(tError, code); }

}  // namespace rt
