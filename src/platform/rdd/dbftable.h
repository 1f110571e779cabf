// The DBF engine: one open table file, its records as raw bytes, the locks
// that share it, and the write order that makes a commit durable.
//
// The engine reports failures as Faults; the table object and the creation
// function turn them into Error objects. It knows nothing of field values
// (see dbffield.h) nor of record positions beyond numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rdd/dbfcodepage.h"
#include "platform/rdd/dbfheader.h"
#include "platform/rdd/dbfmemo.h"
#include "platform/rdd/fault.h"

namespace rdd::dbf {

struct OpenMode {
    bool shared = true;     // other opens may use the table at the same time
    bool readOnly = false;  // never writes, never repairs
    int lockTries = 1;
};

class Table {
public:
    // Opens a table by native path. Checks the header and recovers the
    // record count from the file size; repairs the header and end marker when
    // the table is opened for writing. nullptr with a fault on failure.
    static std::unique_ptr<Table> Open(const std::string& path, const OpenMode& mode, Fault& fault);

    // Creates or replaces a table: the new file is written beside the old one
    // and renamed over it, so a crash leaves either the old table or the new
    // one. A table that another open is using is not replaced.
    static Fault Create(const std::string& path, std::vector<FieldDesc> fields, uint8_t codePage);

    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& Path() const { return path_; }
    const Layout& Header() const { return layout_; }
    const std::vector<FieldDesc>& Fields() const { return layout_.fields; }
    size_t RecordLen() const { return layout_.recordLen; }
    // What the open found and repaired (torn record, missing marker, ...).
    const std::vector<std::string>& Notes() const { return notes_; }
    const MemoFile* Memo() const { return memo_.get(); }
    // The code page the table's text is stored in (by its code-page byte).
    const rt::CodePage& TextCodePage() const { return *codePage_; }
    bool Shared() const { return mode_.shared; }
    bool ReadOnly() const { return mode_.readOnly; }
    int LockTries() const { return mode_.lockTries; }

    uint32_t Count() const { return count_; }
    // Re-reads the count when other opens may have appended (shared opens).
    Fault RefreshCount();

    // Reads record `recno` (1-based) into dst (RecordLen bytes).
    Fault Read(uint32_t recno, uint8_t* dst);
    // Record `recno` where the read cache holds it, else nullptr (then Read
    // fetches it). Valid until the next read or write of this table.
    const uint8_t* Cached(uint32_t recno) const {
        return recno >= cacheFirst_ && recno - cacheFirst_ < cacheCount_
                   ? cache_.data() + size_t{recno - cacheFirst_} * layout_.recordLen
                   : nullptr;
    }
    // Changes whenever the records the cache holds change (a refill, a
    // write of one of them, the last one taken back): a pointer from
    // Cached stays good while this is the same.
    uint64_t CacheGeneration() const { return cacheGeneration_; }
    // Reads records first .. first + n - 1 in one read (past the cache).
    Fault ReadRecords(uint32_t first, uint32_t n, uint8_t* dst);
    // Whether this is the only open of the table (no other open, in this
    // process or another, holds its open lock).
    [[nodiscard]] bool SoleOpen();
    // Writes an existing record. Not yet durable: Sync makes it so.
    Fault Write(uint32_t recno, const uint8_t* src);
    // Writes a new last record, then the end marker, then the header's
    // count and date. The count grows only when all of that was written.
    Fault Append(const uint8_t* src);
    // Takes back the last record of an exclusive open (one whose append
    // could not be made durable): the header's count, the end marker in the
    // record's place, the file cut after it, then a sync.
    Fault DropLast();
    // Updates the header's date of last update (after writing a record).
    Fault TouchHeader();
    // fdatasync: everything written so far is on the disk when it returns.
    Fault Sync();
    bool NeedsSync() const { return unsynced_; }

    // Header and record locks of shared writers.
    Fault LockHeader();
    void UnlockHeader();
    Fault LockRecord(uint32_t recno);
    void UnlockRecord(uint32_t recno);

    // Closes the file (locks go with it). Nothing is written here.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

private:
    Table() = default;
    [[nodiscard]] bool Load(Fault& fault);
    Fault CountRecords(uint64_t fileSize, uint32_t headerCount, uint32_t& count, std::vector<std::string>* notes);
    Fault Repair(uint64_t fileSize);
    // Puts the end marker after record `count` and cuts the file there.
    void RestoreEnd(uint32_t count);
    Fault WriteAll(const void* src, size_t n, uint64_t offset, const char* what);
    Fault ReadAll(void* dst, size_t n, uint64_t offset);
    Fault OsFault(uint32_t genCode, int err, const std::string& what) const;
    uint64_t RecordOffset(uint32_t recno) const { return layout_.headerLen + uint64_t{recno - 1} * layout_.recordLen; }

    std::string path_;
    OpenMode mode_;
    int fd_ = -1;
    Layout layout_;
    uint32_t count_ = 0;
    bool unsynced_ = false;
    bool headerDateDone_ = false;
    bool rewriteCount_ = false;
    std::vector<std::string> notes_;
    std::unique_ptr<MemoFile> memo_;
    const rt::CodePage* codePage_ = nullptr;

    // Read cache of a block of records (exclusive opens only: nobody else
    // can change the file under them).
    std::vector<uint8_t> cache_;
    uint32_t cacheFirst_ = 0;
    uint32_t cacheCount_ = 0;
    uint64_t cacheGeneration_ = 0;  // grows whenever the cache's records change
};

// The header date bytes for today (local time).
void TodayForHeader(int& year, int& month, int& day);

}  // namespace rdd::dbf
