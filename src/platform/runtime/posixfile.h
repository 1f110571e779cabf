// The one place where files are read, written, replaced and appended to
// with POSIX calls: interrupted calls are resumed, short transfers finished,
// replacements made atomic and durable, and every failure handed back as the
// errno of the step that failed (0 for success). Callers map that errno to
// their own convention, usually with OsErrorFromErrno (oserror.h).
//
// What the functions promise, and why, is in docs/runtime-files.md. No Qt.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace rt {

// An owned file descriptor: closed once, by Close or by the destructor.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    explicit operator bool() const { return Valid(); }
    // Hands the descriptor over to the caller, who closes it.
    [[nodiscard]] int Release();
    // Closes now; the errno of a failed close (a late write error on some
    // file systems), 0 when it went well or there was nothing to close.
    [[nodiscard]] int Close();

private:
    int fd_ = -1;
};

// The outcome of a transfer: the bytes moved and, when it stopped early on
// a failure, that failure's errno.
struct [[nodiscard]] IoResult {
    size_t bytes = 0;
    int err = 0;
    bool Ok() const { return err == 0; }
};

// open(2) with O_CLOEXEC added, resumed when interrupted. The descriptor is
// invalid on failure, with the errno in *err (when given).
[[nodiscard]] Fd OpenFile(const std::string& path, int flags, mode_t mode = 0666, int* err = nullptr);

// Reads up to n bytes at offset; fewer only at the end of the file or on a
// failure (then err is set).
IoResult ReadAt(int fd, void* dst, size_t n, uint64_t offset);
// Writes all n bytes at offset; a device that takes nothing reports ENOSPC.
IoResult WriteAt(int fd, const void* src, size_t n, uint64_t offset);
// The same from and at the current file position.
IoResult ReadFull(int fd, void* dst, size_t n);
IoResult WriteAll(int fd, const void* src, size_t n);
inline IoResult WriteAll(int fd, std::string_view data) { return WriteAll(fd, data.data(), data.size()); }
// The rest of the file from the current position, appended to *out.
[[nodiscard]] int ReadAll(int fd, std::string* out);
// The whole file at path into *out (replacing what it held).
[[nodiscard]] int ReadFileAt(const std::string& path, std::string* out);

// Writes all of data to a non-blocking descriptor (a pipe, a port): waits
// for room up to stallMs at a time, then gives up with ETIMEDOUT.
[[nodiscard]] int WriteAllWaiting(int fd, std::string_view data, int stallMs);

// Opens a log for appending (O_WRONLY | O_APPEND, created with 0666 less
// the umask when missing).
[[nodiscard]] Fd OpenForAppend(const std::string& path, int* err = nullptr);
// Appends one record with one write(2) on a descriptor opened with
// O_APPEND: appenders in several processes never interleave or overwrite
// each other's records. A write that takes only part of the record reports
// ENOSPC with the part in bytes; it is never completed by a second write,
// which could land after another process's record.
IoResult AppendRecord(int fd, std::string_view record);

// ftruncate(2): the file at fd cut or extended to len bytes; the errno of
// a failure.
[[nodiscard]] int Truncate(int fd, uint64_t len);

// rename(2), or renameat2(2) with flags (RENAME_NOREPLACE) when they are
// not 0; the errno of a failure.
[[nodiscard]] int RenameFile(const std::string& from, const std::string& to, unsigned flags = 0);

// flock(2) with op, resumed when interrupted; the errno of a failure.
[[nodiscard]] int LockFile(int fd, int op);

// fdatasync / fsync, with EINVAL (a descriptor that cannot be synced: a
// pipe, a tty) taken as nothing to do.
[[nodiscard]] int SyncData(int fd);
[[nodiscard]] int SyncFile(int fd);
// Makes the entries of the folder holding path durable (after a create or
// a rename there).
[[nodiscard]] int SyncFolderOf(const std::string& path);
// The folder part of a native path ("." when it has none).
std::string FolderOf(const std::string& path);

// The process umask, read once without changing it.
mode_t ProcessUmask();

// How AtomicReplace went. err is the errno of the step that failed, 0 when
// the new content is in place and durable. replaced tells whether the
// target holds the new content (true with err set only when the last step,
// syncing the folder, failed).
enum class ReplaceStep { kNone, kTarget, kTemp, kOwner, kWrite, kProduce, kSync, kRename, kFolderSync };
struct [[nodiscard]] ReplaceResult {
    int err = 0;
    ReplaceStep step = ReplaceStep::kNone;
    bool replaced = false;
    bool inPlace = false;  // rewritten in place rather than renamed over
    Fd fd;                 // the new file, open for reading and writing, when asked for
    bool Ok() const { return err == 0; }
};

struct ReplaceOptions {
    // Hand the written file back open (O_RDWR) in ReplaceResult::fd.
    bool keepOpen = false;
};

// Makes pieces, one after the other, the whole content of the file at the
// native path, so that a crash leaves either the old or the new content:
// written to a temporary file beside it, synced, renamed over it, and the
// folder synced. An existing file keeps its mode and owner; a new one gets
// 0666 less the umask. A symbolic link is written through (the file it
// names changes, the link stays). A target the caller could not write in
// place (read-only, not a regular file) is refused with nothing written. A
// file with several hard links, one whose owner this process cannot give
// to a new file, or one in a folder where no temporary file can be made, is
// rewritten in place instead (see docs/runtime-files.md). On failure no
// temporary file is left and the target holds its old content.
ReplaceResult AtomicReplace(const std::string& path, std::initializer_list<std::string_view> pieces,
                            const ReplaceOptions& options = {});
inline ReplaceResult AtomicReplace(const std::string& path, std::string_view content,
                                   const ReplaceOptions& options = {}) {
    return AtomicReplace(path, {content}, options);
}

// A content made while it is written (AtomicReplaceStreamed): the producer
// hands its pieces, in order, to the sink, which answers 0 or the errno of
// the write that failed; the producer returns 0 when it has handed over
// everything, or a nonzero code of its own (or the sink's errno) to stop.
using ReplaceSink = std::function<int(std::string_view)>;
using ReplaceProducer = std::function<int(const ReplaceSink&)>;

// AtomicReplace with a content that is not held in memory whole: each piece
// goes to the temporary file as soon as it is made, and the disk starts
// writing the file while the rest is made. A producer that stops leaves the
// target as it was (step kProduce with its code; kWrite when a write
// failed). Where the file must be rewritten in place the content is
// gathered in memory first.
ReplaceResult AtomicReplaceStreamed(const std::string& path, const ReplaceProducer& produce,
                                    const ReplaceOptions& options = {});

// Fault injection: a test arms it to make one chosen write, sync, rename
// or folder sync of this layer fail, and so sees what a failure at that
// point leaves on disk; armed with kNever it only counts. Disarmed, each
// primitive pays one relaxed atomic load. See docs/runtime-files.md.
namespace faults {

enum class Op { kWrite, kSync, kRename, kFolderSync };
inline constexpr int kOpKinds = 4;
inline constexpr uint64_t kNever = 0;

// Counts the operations from now on (all kinds together, from 1) and makes
// the nth fail with err; kNever only counts. With shortWrite, a write that
// is the nth first puts half its bytes in the file (a write cut short by
// a full disk or a failing device). With onward, every operation from the
// nth on fails (a device that has died), so what a caller does to undo the
// failure fails too.
void Arm(uint64_t nth, int err = EIO, bool shortWrite = false, bool onward = false);
// Stops counting and failing; the counters keep their values.
void Disarm();
// The operations seen since Arm: all of them, or those of one kind.
uint64_t Count();
uint64_t Count(Op op);
// Whether the armed failure has been handed out.
bool Fired();

namespace detail {
inline std::atomic<bool> armed{false};
int Hit(Op op, size_t n, size_t* part);
}  // namespace detail

// Asked by each primitive before its system call (and by the registry
// store's SQLite file shim): 0 to go on, else the errno the operation fails
// with; for a write of n bytes, *part (when given) is how many of them to
// write before failing.
inline int Hit(Op op, size_t n = 0, size_t* part = nullptr) {
    if (part != nullptr) *part = 0;
    if (!detail::armed.load(std::memory_order_relaxed)) [[likely]]
        return 0;
    return detail::Hit(op, n, part);
}

}  // namespace faults

namespace testseam {
// Makes the next folder sync fail with err (0 clears): no file system can
// be told to fail one on demand.
void FailNextFolderSync(int err);
}  // namespace testseam

}  // namespace rt
