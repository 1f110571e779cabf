#include "platform/rdd/dbftable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbflock.h"
#include "platform/runtime/error.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"

namespace rdd::dbf {
namespace {

constexpr size_t kCacheBytes = 64 * 1024;

}  // namespace

void TodayForHeader(int& year, int& month, int& day) {
    std::time_t now = std::time(nullptr);
    std::tm tm = {};
    localtime_r(&now, &tm);
    year = tm.tm_year + 1900;
    month = tm.tm_mon + 1;
    day = tm.tm_mday;
}

// The header's last-update date (today) and record count, as the seven
// bytes that start at the date's offset.
static void HeaderDateAndCount(uint8_t (&h)[7], uint32_t count) {
    int y, m, d;
    TodayForHeader(y, m, d);
    h[0] = static_cast<uint8_t>(y - 1900);
    h[1] = static_cast<uint8_t>(m);
    h[2] = static_cast<uint8_t>(d);
    PutLe32(h + 3, count);
}

Fault Table::OsFault(uint32_t genCode, int err, const std::string& what) const {
    return MakeFault(genCode, what + ": " + std::strerror(err), rt::OsErrorFromErrno(err, path_), true);
}

Fault Table::WriteAll(const void* src, size_t n, uint64_t offset, const char* what) {
    rt::IoResult r = rt::WriteAt(fd_, src, n, offset);
    if (!r.Ok()) return OsFault(rt::kGenWrite, r.err, std::string("cannot write the ") + what);
    unsynced_ = true;
    return {};
}

Fault Table::ReadAll(void* dst, size_t n, uint64_t offset) {
    rt::IoResult r = rt::ReadAt(fd_, dst, n, offset);
    if (!r.Ok()) return OsFault(rt::kGenRead, r.err, "cannot read");
    if (r.bytes < n) return MakeFault(rt::kGenRead, "the file ends before the record", 38);
    return {};
}

std::unique_ptr<Table> Table::Open(const std::string& path, const OpenMode& mode, Fault& fault) {
    std::unique_ptr<Table> t(new Table());
    t->path_ = path;
    t->mode_ = mode;
    int openErr = 0;
    t->fd_ = rt::OpenFile(path, mode.readOnly ? O_RDONLY : O_RDWR, 0, &openErr).Release();
    if (t->fd_ < 0) {
        fault = t->OsFault(rt::kGenOpen, openErr, "cannot open the table");
        return nullptr;
    }
    struct stat st;
    if (::fstat(t->fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
        fault = MakeFault(rt::kGenOpen, "not a regular file", rt::kOsAccessDenied);
        return nullptr;
    }
    // Every open holds the open lock: readers and shared writers a read
    // lock, an exclusive open a write lock. A read-only open cannot hold a
    // write lock (its descriptor is not writable), so it is always shared.
    bool exclusive = !mode.shared && !mode.readOnly;
    int err = LockWithTries(t->fd_, kLockOpen, exclusive ? LockKind::kWrite : LockKind::kRead, mode.lockTries);
    if (err != 0) {
        if (IsLockConflict(err))
            fault = MakeFault(rt::kGenOpen,
                              exclusive ? "the table is in use by another user"
                                        : "the table is opened exclusively by another user",
                              rt::kOsSharingViolation, true);
        else fault = t->OsFault(rt::kGenOpen, err, "cannot lock the table");
        return nullptr;
    }
    if (!t->Load(fault)) return nullptr;
    return t;
}

bool Table::Load(Fault& fault) {
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        fault = OsFault(rt::kGenRead, errno, "cannot read the file size");
        return false;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    std::vector<uint8_t> head(std::min<uint64_t>(size, kHeaderSize));
    if (!head.empty()) {
        if (Fault f = ReadAll(head.data(), head.size(), 0)) {
            fault = f;
            return false;
        }
    }
    size_t announced = AnnouncedHeaderLen(head);
    if (announced > head.size() && size >= kHeaderSize) {
        head.resize(static_cast<size_t>(std::min<uint64_t>(size, announced)));
        if (Fault f = ReadAll(head.data() + kHeaderSize, head.size() - kHeaderSize, kHeaderSize)) {
            fault = f;
            return false;
        }
    }
    if (!ParseHeader(head, size, layout_, fault)) return false;
    codePage_ = &TableCodePage(layout_.codePage);
    if (mode_.shared) {
        // A shared writer may have appended between the size and the header
        // read: it writes records before the count, so the size taken after
        // the header holds every record the header counts.
        if (::fstat(fd_, &st) != 0) {
            fault = OsFault(rt::kGenRead, errno, "cannot read the file size");
            return false;
        }
        size = static_cast<uint64_t>(st.st_size);
        if (size < layout_.headerLen) {
            fault = MakeFault(rt::kGenCorruption, "the table was cut short");
            return false;
        }
    }
    uint32_t count = 0;
    if (Fault f = CountRecords(size, layout_.headerCount, count, &notes_)) {
        fault = f;
        return false;
    }
    count_ = count;
    bool damaged = !notes_.empty();  // a missing memo file is nothing to repair
    memo_ = MemoFile::OpenBeside(path_, layout_.memo);
    if (layout_.memo != MemoKind::kNone && !memo_)
        notes_.push_back("the memo file is missing: memo fields read as empty");
    if (!mode_.readOnly && damaged) {
        if (Fault f = Repair(size)) {
            fault = f;
            return false;
        }
    }
    if (!mode_.shared) {
        size_t per = std::max<size_t>(1, kCacheBytes / layout_.recordLen);
        cache_.resize(per * layout_.recordLen);
    }
    return true;
}

Fault Table::CountRecords(uint64_t size, uint32_t headerCount, uint32_t& count, std::vector<std::string>* notes) {
    const uint64_t recLen = layout_.recordLen;
    uint64_t data = size - layout_.headerLen;
    uint64_t complete64 = data / recLen;
    uint32_t complete = complete64 > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(complete64);
    if (headerCount > complete) {
        // One append in flight can leave the header a record ahead of the
        // data (the header reached the disk, the record did not); more than
        // that means the file lost data it once had.
        if (headerCount - complete > 1)
            return MakeFault(rt::kGenCorruption, "record count " + std::to_string(headerCount) +
                                                     " runs beyond the file, which holds " + std::to_string(complete) +
                                                     " complete records");
        if (notes)
            notes->push_back("the header counted " + std::to_string(headerCount) +
                             " records; the last was never completely written and is dropped");
        count = complete;
    } else {
        // Records beyond the header's count were written by an append whose
        // header update did not happen; they count while they look like
        // records (a valid deletion flag).
        count = headerCount;
        while (count < complete) {
            uint8_t flag = 0;
            if (Fault f = ReadAll(&flag, 1, layout_.headerLen + uint64_t{count} * recLen)) return f;
            if (flag != kLiveFlag && flag != kDeletedFlag) break;
            ++count;
        }
        if (notes && count != headerCount)
            notes->push_back("the header counted " + std::to_string(headerCount) + " records, the file holds " +
                             std::to_string(count));
    }
    if (notes) {
        uint64_t end = layout_.headerLen + uint64_t{count} * recLen;
        uint64_t rest = size - end;
        uint8_t marker = 0;
        if (rest > 0) {
            if (Fault f = ReadAll(&marker, 1, end)) return f;
        }
        if (rest == 0) notes->push_back("the end-of-file marker is missing");
        else if (marker != kEofMarker)
            notes->push_back("a torn record of " + std::to_string(rest) + " bytes at the end is dropped");
        else if (rest > 1) notes->push_back(std::to_string(rest - 1) + " bytes follow the end-of-file marker");
    }
    return {};
}

Fault Table::Repair(uint64_t size) {
    // Another writer may be half way through an append: its lock says so, and
    // then the file is left to it.
    if (mode_.shared) {
        if (TryLock(fd_, kLockHeader, LockKind::kWrite) != 0) return {};
        // The count was made before the lock; another writer may have
        // appended since. Count again under the lock, so that nothing it
        // wrote is cut off or overwritten by the marker.
        std::vector<std::string> found;
        struct stat st;
        uint8_t c[4];
        Fault f;
        if (::fstat(fd_, &st) != 0) f = OsFault(rt::kGenRead, errno, "cannot read the file size");
        if (!f) {
            size = static_cast<uint64_t>(st.st_size);
            if (size < layout_.headerLen) f = MakeFault(rt::kGenCorruption, "the table was cut short");
        }
        if (!f) f = ReadAll(c, 4, kOffCount);
        if (!f) {
            layout_.headerCount = Le32(c);
            f = CountRecords(size, layout_.headerCount, count_, &found);
        }
        if (f || found.empty()) {
            UnlockHeader();
            return f;
        }
    }
    uint64_t end = layout_.headerLen + uint64_t{count_} * layout_.recordLen;
    Fault f;
    if (size > end + 1 || size < end + 1) {
        if (int err = rt::Truncate(fd_, end)) f = OsFault(rt::kGenWrite, err, "cannot cut the torn end of the table");
    }
    uint8_t marker = kEofMarker;
    if (!f) f = WriteAll(&marker, 1, end, "end-of-file marker");
    if (!f && count_ != layout_.headerCount) {
        uint8_t c[4];
        PutLe32(c, count_);
        f = WriteAll(c, 4, kOffCount, "record count");
        if (!f) layout_.headerCount = count_;
    }
    if (!f) f = Sync();
    if (!f) notes_.push_back("the table was repaired");
    if (mode_.shared) UnlockHeader();
    return f;
}

Fault Table::RefreshCount() {
    if (!mode_.shared) return {};
    struct stat st;
    if (::fstat(fd_, &st) != 0) return OsFault(rt::kGenRead, errno, "cannot read the file size");
    uint8_t c[4];
    if (Fault f = ReadAll(c, 4, kOffCount)) return f;
    uint32_t count = 0;
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size < layout_.headerLen) return MakeFault(rt::kGenCorruption, "the table was cut short");
    uint32_t headerCount = Le32(c);
    if (Fault f = CountRecords(size, headerCount, count, nullptr)) {
        // A count beyond the file read by a shared open is an append in
        // flight elsewhere; the complete records are what is there.
        count = static_cast<uint32_t>((size - layout_.headerLen) / layout_.recordLen);
    }
    count_ = count;
    return {};
}

Fault Table::Read(uint32_t recno, uint8_t* dst) {
    if (recno < 1 || recno > count_)
        return MakeFault(rt::kGenBound, "record " + std::to_string(recno) + " does not exist");
    const size_t recLen = layout_.recordLen;
    if (cache_.empty()) return ReadAll(dst, recLen, RecordOffset(recno));
    if (recno < cacheFirst_ || recno >= cacheFirst_ + cacheCount_) {
        uint32_t per = static_cast<uint32_t>(cache_.size() / recLen);
        uint32_t n = std::min(per, count_ - recno + 1);
        ++cacheGeneration_;
        if (Fault f = ReadAll(cache_.data(), n * recLen, RecordOffset(recno))) {
            cacheCount_ = 0;
            return f;
        }
        cacheFirst_ = recno;
        cacheCount_ = n;
    }
    std::memcpy(dst, cache_.data() + (recno - cacheFirst_) * recLen, recLen);
    return {};
}

Fault Table::ReadRecords(uint32_t first, uint32_t n, uint8_t* dst) {
    if (n == 0) return {};
    if (first < 1 || first + (n - 1) > count_)
        return MakeFault(rt::kGenBound, "record " + std::to_string(first + n - 1) + " does not exist");
    return ReadAll(dst, size_t{n} * layout_.recordLen, RecordOffset(first));
}

bool Table::SoleOpen() {
    if (mode_.readOnly) return false;
    if (!mode_.shared) return true;
    // Our own read lock turns into a write lock only while no other open
    // holds one; it goes back to a read lock at once.
    if (TryLock(fd_, kLockOpen, LockKind::kWrite) != 0) return false;
    TryLock(fd_, kLockOpen, LockKind::kRead);
    return true;
}

Fault Table::Write(uint32_t recno, const uint8_t* src) {
    if (mode_.readOnly) return MakeFault(rt::kGenReadOnly, "the table is open read-only");
    if (recno < 1 || recno > count_)
        return MakeFault(rt::kGenBound, "record " + std::to_string(recno) + " does not exist");
    const size_t recLen = layout_.recordLen;
    if (recno >= cacheFirst_ && recno < cacheFirst_ + cacheCount_) {
        cacheCount_ = 0;  // keep the cache simple: reread after a write
        ++cacheGeneration_;
    }
    return WriteAll(src, recLen, RecordOffset(recno), "record");
}

Fault Table::Append(const uint8_t* src) {
    if (mode_.readOnly) return MakeFault(rt::kGenReadOnly, "the table is open read-only");
    if (count_ == UINT32_MAX) return MakeFault(rt::kGenLimit, "the table holds the most records it can");
    const size_t recLen = layout_.recordLen;
    std::vector<uint8_t> buf(recLen + 1);
    std::memcpy(buf.data(), src, recLen);
    buf[recLen] = kEofMarker;
    // Order: the record and the marker, then the header. A crash between the
    // two leaves a record the header does not count; the open after it
    // counts it from the file size.
    // A write that fails part-way (a full disk) leaves part of a record
    // past the end; the end is put back, so that the open after it does not
    // count the record the caller was told had failed.
    if (Fault f = WriteAll(buf.data(), buf.size(), RecordOffset(count_ + 1), "record")) {
        RestoreEnd(count_);
        return f;
    }
    uint8_t h[7];
    HeaderDateAndCount(h, count_ + 1);
    if (Fault f = WriteAll(h, sizeof h, kOffDate, "header")) {
        RestoreEnd(count_);
        return f;
    }
    ++count_;
    layout_.headerCount = count_;
    headerDateDone_ = true;
    return {};
}

void Table::RestoreEnd(uint32_t count) {
    // Neither step needs new space: the file is cut to just past the marker
    // it had, and the marker byte lies in a block the file holds already.
    const uint64_t end = RecordOffset(count + 1);
    if (rt::Truncate(fd_, end + 1) != 0) return;
    const uint8_t marker = kEofMarker;
    (void)rt::WriteAt(fd_, &marker, 1, end);
    unsynced_ = true;
}

Fault Table::DropLast() {
    if (mode_.readOnly) return MakeFault(rt::kGenReadOnly, "the table is open read-only");
    if (mode_.shared) return MakeFault(rt::kGenShared, "a shared table cannot take back its last record");
    if (count_ == 0) return {};
    if (cacheFirst_ + cacheCount_ > count_) {
        cacheCount_ = 0;
        ++cacheGeneration_;
    }
    uint8_t h[7];
    HeaderDateAndCount(h, count_ - 1);
    if (Fault f = WriteAll(h, sizeof h, kOffDate, "header")) return f;
    --count_;
    layout_.headerCount = count_;
    RestoreEnd(count_);
    return Sync();
}

Fault Table::TouchHeader() {
    if (mode_.readOnly || headerDateDone_) return {};
    uint8_t h[7];
    HeaderDateAndCount(h, count_);
    // After a failed sync the count is written again with the date (only
    // by an exclusive open: a shared one may hold an old count).
    bool withCount = rewriteCount_ && !mode_.shared;
    if (Fault f = WriteAll(h, withCount ? 7 : 3, kOffDate, "header")) return f;
    headerDateDone_ = true;
    rewriteCount_ = false;
    return {};
}

Fault Table::Sync() {
    if (!unsynced_) return {};
    if (int err = rt::SyncData(fd_)) {
        // The kernel may have dropped the pages it failed to write: the
        // header is written again before the next sync.
        headerDateDone_ = false;
        rewriteCount_ = true;
        return OsFault(rt::kGenWrite, err, "cannot make the table durable");
    }
    unsynced_ = false;
    return {};
}

Fault Table::LockHeader() {
    int err = LockWithTries(fd_, kLockHeader, LockKind::kWrite, mode_.lockTries);
    if (err == 0) return {};
    if (IsLockConflict(err))
        return MakeFault(rt::kGenOpen, "another user holds the table's append lock", rt::kOsLockViolation, true);
    return OsFault(rt::kGenLock, err, "cannot lock the table header");
}

void Table::UnlockHeader() { TryLock(fd_, kLockHeader, LockKind::kUnlock); }

Fault Table::LockRecord(uint32_t recno) {
    int err = LockWithTries(fd_, kLockRecord + recno, LockKind::kWrite, mode_.lockTries);
    if (err == 0) return {};
    if (IsLockConflict(err))
        return MakeFault(rt::kGenOpen, "another user holds a lock on record " + std::to_string(recno),
                         rt::kOsLockViolation, true);
    return OsFault(rt::kGenLock, err, "cannot lock record " + std::to_string(recno));
}

void Table::UnlockRecord(uint32_t recno) { TryLock(fd_, kLockRecord + recno, LockKind::kUnlock); }

void Table::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    memo_.reset();
}

Table::~Table() { Close(); }

Fault Table::Create(const std::string& path, std::vector<FieldDesc> fields, uint8_t codePage) {
    Fault fault;
    if (!CheckStructure(fields, fault)) return fault;
    int y, m, d;
    TodayForHeader(y, m, d);
    std::vector<uint8_t> bytes = BuildHeader(fields, codePage, y, m, d);
    bytes.push_back(kEofMarker);

    auto osFault = [&](uint32_t gen, int err, const std::string& what) {
        return MakeFault(gen, what + ": " + std::strerror(err), rt::OsErrorFromErrno(err, path), true);
    };
    // An existing table is replaced only when no open is using it; its write
    // lock is held until the new file has taken its name.
    int openErr = 0;
    rt::Fd old = rt::OpenFile(path, O_RDWR, 0, &openErr);
    if (old) {
        if (int err = TryLock(old.Get(), kLockOpen, LockKind::kWrite)) {
            if (IsLockConflict(err))
                return MakeFault(rt::kGenCreate, "the table is in use and cannot be replaced", rt::kOsSharingViolation,
                                 true);
            return osFault(rt::kGenCreate, err, "cannot lock the table");
        }
    } else if (openErr != ENOENT) {
        return osFault(rt::kGenCreate, openErr, "cannot replace the table");
    }
    rt::ReplaceResult r =
        rt::AtomicReplace(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    if (r.Ok()) return {};
    switch (r.step) {
        case rt::ReplaceStep::kTarget: return osFault(rt::kGenCreate, r.err, "cannot replace the table");
        case rt::ReplaceStep::kTemp: return osFault(rt::kGenCreate, r.err, "cannot create the table");
        case rt::ReplaceStep::kRename: return osFault(rt::kGenCreate, r.err, "cannot put the new table in place");
        case rt::ReplaceStep::kFolderSync: return osFault(rt::kGenCreate, r.err, "cannot make the new table durable");
        default: return osFault(rt::kGenCreate, r.err, "cannot write the new table");
    }
}

}  // namespace rdd::dbf
