// Reads records of a table file by number through a read-only handle of its
// own. The grid paints through it, so painting never moves the data
// server's record pointer nor touches its record buffer, and the engine's
// own read cache is left alone.
//
// Records are read a block at a time and kept until Forget(): the grid
// forgets before every repaint and after every notification, so what it
// shows is what the file holds (the server writes through its own handle;
// both see the same page cache).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace grid {

class RecordReader {
public:
    RecordReader() = default;
    ~RecordReader();
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // Opens the file read-only. headerLen and recordLen are the table's
    // (the records start at headerLen). False when it cannot be opened.
    bool Open(const std::string& path, size_t headerLen, size_t recordLen);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // The recordLen bytes of record recno (1-based); nullptr when the file
    // does not hold it (past its end, a read error). Valid until the next
    // call.
    const uint8_t* Record(uint32_t recno);
    // Drops the cached block.
    void Forget() { cacheCount_ = 0; }

    // Appends to `shown` the records first..last whose deletion flag is not
    // set, reading the file in large chunks. Records past the end of the file
    // (an append the server has not written yet) count as shown: a new
    // record is never deleted. False on a read error (`shown` then holds the
    // records scanned so far).
    bool ScanLive(uint32_t first, uint32_t last, std::vector<uint32_t>& shown);

    // Reads made so far (blocks and scan chunks), for tests and measurements.
    uint64_t Reads() const { return reads_; }

private:
    // Reads up to n bytes at offset; the count read, -1 on an error.
    long ReadAt(uint8_t* dst, size_t n, uint64_t offset);

    int fd_ = -1;
    size_t headerLen_ = 0;
    size_t recordLen_ = 0;
    std::vector<uint8_t> cache_;
    uint32_t cacheFirst_ = 0;
    uint32_t cacheCount_ = 0;
    uint64_t reads_ = 0;
};

}  // namespace grid
