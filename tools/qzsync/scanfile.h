// Reading the durable records of a workstation's scan data file while the
// scanning screen may be writing it: no lock of any kind is taken, so the
// scanning screen, an export and a restart never wait for the reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qzsync {

// What tells one data file apart from the one a restart puts in its place:
// the device and inode, and the birth time where the file system keeps one
// (an erased file's inode number may be given to the next file at once).
struct FileId {
    uint64_t dev = 0;
    uint64_t ino = 0;
    int64_t birthNs = 0;  // 0 when the file system keeps no birth time
    bool operator==(const FileId&) const = default;
    std::string Text() const;
};

struct ScanRecord {
    uint32_t number = 0;  // from 1, as the table numbers its records
    std::string barcode;  // UTF-8, trailing blanks removed
    std::string count;    // the count text as typed, UTF-8, trailing blanks removed
};

struct ScanFile {
    FileId id;
    uint32_t durable = 0;             // records counted in the header and present whole
    std::vector<ScanRecord> records;  // live records asked for, deleted ones left out
};

// Reads the header and the records numbered from `from` (1-based) on, at most
// `limit` of them, below the durable count. Only records the header counts
// are read: the writer appends the record first and counts it afterwards, so
// a record past the count is not finished yet. A header that changes while
// it is read (torn by a concurrent update) is read again. On failure returns
// false with a message in *error (a missing file, a file that is not a scan
// data table).
bool ReadScanFile(const std::string& path, uint32_t from, uint32_t limit, ScanFile& out, std::string* error);

}  // namespace qzsync
