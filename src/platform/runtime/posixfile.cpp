#include "platform/runtime/posixfile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace rt {
namespace {

std::atomic<int> gFolderSyncFault{0};

// Parses "Umask:\t0022" from /proc/self/status; -1 when it is not there
// (kernels before 4.7, no /proc).
int UmaskFromProc() {
    std::FILE* f = std::fopen("/proc/self/status", "re");
    if (f == nullptr) return -1;
    char line[256];
    int mask = -1;
    unsigned value = 0;
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<int>(value & 0777);
            break;
        }
    }
    std::fclose(f);
    return mask;
}

mode_t ReadUmaskOnce() {
    int mask = UmaskFromProc();
    if (mask >= 0) return static_cast<mode_t>(mask);
    // Setting and restoring the mask is a race in a threaded process; this
    // runs during static initialisation (see kUmaskAtStart), before any
    // thread of ours exists.
    mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

}  // namespace

// ---- Descriptors ---------------------------------------------------------------

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

Fd::~Fd() {
    if (fd_ >= 0) ::close(fd_);
}

int Fd::Release() { return std::exchange(fd_, -1); }

int Fd::Close() {
    int fd = Release();
    if (fd < 0) return 0;
    // Linux releases the descriptor even when close is interrupted, so it is
    // never retried; EINTR there says nothing about the data.
    if (::close(fd) != 0 && errno != EINTR) return errno;
    return 0;
}

Fd OpenFile(const std::string& path, int flags, mode_t mode, int* err) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (err) *err = fd < 0 ? errno : 0;
    return Fd(fd);
}

// ---- Transfers -------------------------------------------------------------------

namespace {

// Repeats op(done) until n bytes have moved, resuming after EINTR; op gives
// what its system call returned. A read that gets nothing is the end of the
// file; a write that takes nothing is a full device.
template <class Op>
IoResult Transfer(size_t n, bool writing, Op op) {
    IoResult r;
    while (r.bytes < n) {
        ssize_t moved = op(r.bytes);
        if (moved < 0) {
            if (errno == EINTR) continue;
            r.err = errno;
            break;
        }
        if (moved == 0) {
            if (writing) r.err = ENOSPC;
            break;
        }
        r.bytes += static_cast<size_t>(moved);
    }
    return r;
}

}  // namespace

IoResult ReadAt(int fd, void* dst, size_t n, uint64_t offset) {
    char* p = static_cast<char*>(dst);
    return Transfer(n, false,
                    [&](size_t done) { return ::pread(fd, p + done, n - done, static_cast<off_t>(offset + done)); });
}

// A write the armed fault injection fails: the part it lets through is
// written, then the injected errno is reported.
template <class Op>
IoResult InjectableWrite(size_t n, Op op) {
    size_t part = 0;
    const int injected = faults::Hit(faults::Op::kWrite, n, &part);
    const size_t limit = injected != 0 ? part : n;
    IoResult r = Transfer(limit, true, [&](size_t done) { return op(done, limit); });
    if (injected != 0 && r.Ok()) r.err = injected;
    return r;
}

IoResult WriteAt(int fd, const void* src, size_t n, uint64_t offset) {
    const char* p = static_cast<const char*>(src);
    return InjectableWrite(n, [&](size_t done, size_t limit) {
        return ::pwrite(fd, p + done, limit - done, static_cast<off_t>(offset + done));
    });
}

IoResult ReadFull(int fd, void* dst, size_t n) {
    char* p = static_cast<char*>(dst);
    return Transfer(n, false, [&](size_t done) { return ::read(fd, p + done, n - done); });
}

IoResult WriteAll(int fd, const void* src, size_t n) {
    const char* p = static_cast<const char*>(src);
    return InjectableWrite(n, [&](size_t done, size_t limit) { return ::write(fd, p + done, limit - done); });
}

int ReadAll(int fd, std::string* out) {
    char buf[65536];
    for (;;) {
        IoResult r = ReadFull(fd, buf, sizeof buf);
        out->append(buf, r.bytes);
        if (!r.Ok()) return r.err;
        if (r.bytes < sizeof buf) return 0;
    }
}

int ReadFileAt(const std::string& path, std::string* out) {
    out->clear();
    int err = 0;
    Fd fd = OpenFile(path, O_RDONLY | O_NOCTTY, 0, &err);
    if (!fd) return err;
    return ReadAll(fd.Get(), out);
}

int WriteAllWaiting(int fd, std::string_view data, int stallMs) {
    while (!data.empty()) {
        ssize_t put = ::write(fd, data.data(), data.size());
        if (put > 0) {
            data.remove_prefix(static_cast<size_t>(put));
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN) return errno;
        pollfd p{fd, POLLOUT, 0};
        int rc = ::poll(&p, 1, stallMs);
        if (rc == 0) return ETIMEDOUT;
        if (rc < 0 && errno != EINTR) return errno;
    }
    return 0;
}

// ---- Logs ------------------------------------------------------------------------

Fd OpenForAppend(const std::string& path, int* err) {
    return OpenFile(path, O_WRONLY | O_APPEND | O_CREAT | O_NOCTTY, 0666, err);
}

IoResult AppendRecord(int fd, std::string_view record) {
    IoResult r;
    if (record.empty()) return r;
    size_t part = 0;
    const int injected = faults::Hit(faults::Op::kWrite, record.size(), &part);
    if (injected != 0) {
        r.err = injected;
        if (part == 0) return r;
        record = record.substr(0, part);
    }
    ssize_t put;
    // An interrupted write that took nothing can be made again safely.
    do {
        put = ::write(fd, record.data(), record.size());
    } while (put < 0 && errno == EINTR);
    if (put < 0) {
        r.err = errno;
        return r;
    }
    r.bytes = static_cast<size_t>(put);
    if (r.bytes < record.size() && r.err == 0) r.err = ENOSPC;
    return r;
}

int Truncate(int fd, uint64_t len) {
    if (int injected = faults::Hit(faults::Op::kWrite)) return injected;
    if (::ftruncate(fd, static_cast<off_t>(len)) != 0) return errno;
    return 0;
}

int RenameFile(const std::string& from, const std::string& to, unsigned flags) {
    if (int injected = faults::Hit(faults::Op::kRename)) return injected;
    int rc = flags == 0 ? ::rename(from.c_str(), to.c_str())
                        : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags);
    return rc == 0 ? 0 : errno;
}

int LockFile(int fd, int op) {
    while (::flock(fd, op) != 0) {
        if (errno != EINTR) return errno;
    }
    return 0;
}

// ---- Durability ------------------------------------------------------------------

int SyncData(int fd) {
    if (int injected = faults::Hit(faults::Op::kSync)) return injected;
    if (::fdatasync(fd) != 0 && errno != EINVAL) return errno;
    return 0;
}

int SyncFile(int fd) {
    if (int injected = faults::Hit(faults::Op::kSync)) return injected;
    if (::fsync(fd) != 0 && errno != EINVAL) return errno;
    return 0;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int SyncFolderOf(const std::string& path) {
    if (int injected = gFolderSyncFault.exchange(0)) return injected;
    if (int injected = faults::Hit(faults::Op::kFolderSync)) return injected;
    int err = 0;
    Fd dir = OpenFile(FolderOf(path), O_RDONLY | O_DIRECTORY, 0, &err);
    if (!dir) return err;
    if (::fsync(dir.Get()) != 0 && errno != EINVAL) return errno;
    return dir.Close();
}

namespace {
// Read during static initialisation, before main starts threads.
[[maybe_unused]] const mode_t kUmaskAtStart = ProcessUmask();
}  // namespace

mode_t ProcessUmask() {
    static const mode_t mask = ReadUmaskOnce();
    return mask;
}

// ---- Fault injection ---------------------------------------------------------------

namespace faults {
namespace {

std::atomic<uint64_t> gSeen{0};
std::atomic<uint64_t> gNth{kNever};
std::atomic<int> gErr{EIO};
std::atomic<bool> gShort{false};
std::atomic<bool> gOnward{false};
std::atomic<bool> gFired{false};
std::array<std::atomic<uint64_t>, kOpKinds> gByOp{};

}  // namespace

void Arm(uint64_t nth, int err, bool shortWrite, bool onward) {
    detail::armed.store(false);
    gSeen.store(0);
    for (auto& n : gByOp) n.store(0);
    gNth.store(nth);
    gErr.store(err != 0 ? err : EIO);
    gShort.store(shortWrite);
    gOnward.store(onward);
    gFired.store(false);
    detail::armed.store(true);
}

void Disarm() { detail::armed.store(false); }

uint64_t Count() { return gSeen.load(); }
uint64_t Count(Op op) { return gByOp[static_cast<size_t>(op)].load(); }
bool Fired() { return gFired.load(); }

int detail::Hit(Op op, size_t n, size_t* part) {
    gByOp[static_cast<size_t>(op)].fetch_add(1, std::memory_order_relaxed);
    const uint64_t seen = gSeen.fetch_add(1, std::memory_order_relaxed) + 1;
    const uint64_t nth = gNth.load(std::memory_order_relaxed);
    if (nth == kNever || seen < nth || (seen > nth && !gOnward.load(std::memory_order_relaxed))) return 0;
    gFired.store(true);
    if (part != nullptr && op == Op::kWrite && gShort.load()) *part = n / 2;
    return gErr.load();
}

}  // namespace faults

void testseam::FailNextFolderSync(int err) { gFolderSyncFault.store(err); }

}  // namespace rt
