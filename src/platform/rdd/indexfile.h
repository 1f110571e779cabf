// The index file: the definitions and sorted keys of a table's orders as of
// one state of the table (the snapshot), then a journal of the changes made
// since, one entry per written record. docs/indexes.md gives every byte.
//
// Each snapshot and each journal entry carries the stamp of the table it
// belongs to: the record count and a checksum of every record's bytes. An
// open compares the last stamp with the table as it is; when they differ (a
// crash between the table write and the journal entry, an edit by a program
// that does not know the index) the keys are rebuilt from the table.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/rdd/fault.h"
#include "platform/rdd/indexorder.h"

namespace rdd::idx {

using dbf::Fault;
using dbf::MakeFault;

struct Stamp {
    uint32_t count = 0;
    uint64_t checksum = 0;
    friend bool operator==(const Stamp&, const Stamp&) = default;
};

// The hash of one record (its number and bytes); a table's checksum is the
// exclusive or of its records' hashes, so one record's change updates it.
uint64_t RecordHash(uint32_t recno, const uint8_t* bytes, size_t len);
uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0);

// One journal entry as read back.
struct JournalEntry {
    uint32_t recno = 0;
    Stamp stamp;
    std::vector<std::string> keys;  // per order
    std::vector<bool> in;           // per order
};

class IndexFile {
public:
    // Opens an existing index file: its definitions and the snapshot's keys
    // (none, with EntriesValid false, when the key section is damaged). A
    // file whose header or definitions are damaged is refused, `damaged`
    // then true: without them the orders cannot be rebuilt. A file of
    // another program or format version is refused with `damaged` false.
    static std::unique_ptr<IndexFile> Open(const std::string& path, bool writable, Fault& fault, bool& damaged);
    // Writes a new file (or replaces one) holding a snapshot: temporary
    // file, sync, rename, directory sync.
    static std::unique_ptr<IndexFile> Create(const std::string& path, const std::vector<const Order*>& orders,
                                             Stamp stamp, Fault& fault);

    ~IndexFile();
    IndexFile(const IndexFile&) = delete;
    IndexFile& operator=(const IndexFile&) = delete;

    const std::string& Path() const { return path_; }
    const std::vector<OrderDef>& Defs() const { return defs_; }
    bool EntriesValid() const { return entriesValid_; }
    Stamp SnapshotStamp() const { return snapshot_; }
    // The snapshot's sorted entries of order i: count and bytes.
    uint32_t EntryCount(size_t i) const { return entryCount_[i]; }
    const uint8_t* Entries(size_t i) const { return entries_.data() + entryOffset_[i]; }
    void DropSnapshotEntries();

    // Reads journal entries from the read position to the end of the file;
    // stops at a torn or damaged entry, which the next Append cuts off.
    // Advances the position.
    Fault ReadJournal(std::vector<JournalEntry>& out);
    uint64_t JournalBytes() const { return end_ - journalStart_; }
    // Whether the file grew past what this open has read (another writer).
    [[nodiscard]] bool Grew(bool& grew);
    // Appends one entry at the end (cutting a torn tail first).
    Fault Append(const JournalEntry& e, const std::vector<const Order*>& orders);
    Fault Sync();

    // The lock that orders the journal between writers of a shared table
    // (a read lock when the file is open read-only: it keeps writers out).
    Fault Lock(int tries);
    void Unlock();
    // Whether the path now names another file than the one open here (or
    // none), or this file's header changed: the file was replaced, removed
    // or rewritten in place (a file with several links) since it was read.
    [[nodiscard]] bool Replaced() const;

private:
    IndexFile() = default;
    Fault Load(bool& damaged);
    Fault OsFault(uint32_t gen, int err, const std::string& what) const;

    std::string path_;
    int fd_ = -1;
    bool writable_ = false;
    std::vector<uint8_t> header_;  // as read or written
    std::vector<OrderDef> defs_;
    bool entriesValid_ = false;
    Stamp snapshot_;
    std::vector<uint8_t> entries_;
    std::vector<size_t> entryOffset_;
    std::vector<uint32_t> entryCount_;
    uint64_t journalStart_ = 0;
    uint64_t end_ = 0;  // read position: the end of the last good entry
    bool torn_ = false;
    bool unsynced_ = false;
};

}  // namespace rdd::idx
