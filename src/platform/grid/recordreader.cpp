#include "platform/grid/recordreader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/rdd/dbflayout.h"
#include "platform/runtime/posixfile.h"

namespace grid {
namespace {

// A block holds at least this many records (a screenful and then some) and
// at least 16 KB, so one read serves a repaint.
constexpr size_t kBlockRecords = 128;
constexpr size_t kBlockBytes = 16 * 1024;
// The deletion-flag scan reads this much at a time.
constexpr size_t kScanBytes = 1024 * 1024;

}  // namespace

RecordReader::~RecordReader() { Close(); }

bool RecordReader::Open(const std::string& path, size_t headerLen, size_t recordLen) {
    Close();
    if (recordLen == 0) return false;
    fd_ = rt::OpenFile(path, O_RDONLY).Release();
    if (fd_ < 0) return false;
    headerLen_ = headerLen;
    recordLen_ = recordLen;
    size_t per = std::max(kBlockRecords, kBlockBytes / recordLen + 1);
    cache_.assign(per * recordLen, 0);
    return true;
}

void RecordReader::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    cacheCount_ = 0;
    std::vector<uint8_t>().swap(cache_);
}

long RecordReader::ReadAt(uint8_t* dst, size_t n, uint64_t offset) {
    ++reads_;
    const rt::IoResult r = rt::ReadAt(fd_, dst, n, offset);
    return r.Ok() ? static_cast<long>(r.bytes) : -1;
}

const uint8_t* RecordReader::Record(uint32_t recno) {
    if (fd_ < 0 || recno < 1) return nullptr;
    if (recno < cacheFirst_ || recno >= cacheFirst_ + cacheCount_) {
        const uint32_t per = static_cast<uint32_t>(cache_.size() / recordLen_);
        // Start a little before the record: scrolling up then also hits.
        uint32_t first = recno > per / 4 ? recno - per / 4 : 1;
        uint64_t offset = headerLen_ + uint64_t{first - 1} * recordLen_;
        long got = ReadAt(cache_.data(), cache_.size(), offset);
        cacheFirst_ = first;
        cacheCount_ = got > 0 ? static_cast<uint32_t>(static_cast<size_t>(got) / recordLen_) : 0;
        if (recno >= cacheFirst_ + cacheCount_) return nullptr;
    }
    return cache_.data() + size_t{recno - cacheFirst_} * recordLen_;
}

bool RecordReader::ScanLive(uint32_t first, uint32_t last, std::vector<uint32_t>& shown) {
    if (first < 1) first = 1;
    if (fd_ < 0) return false;
    if (last < first) return true;
    // A few appended records take a buffer of their size, not a whole chunk.
    const uint32_t per = static_cast<uint32_t>(
        std::min<uint64_t>(std::max<size_t>(1, kScanBytes / recordLen_), uint64_t{last} - first + 1));
    std::vector<uint8_t> chunk(size_t{per} * recordLen_);
    uint32_t r = first;
    while (r <= last) {
        uint32_t n = std::min<uint32_t>(per, last - r + 1);
        long got = ReadAt(chunk.data(), size_t{n} * recordLen_, headerLen_ + uint64_t{r - 1} * recordLen_);
        if (got < 0) return false;
        uint32_t whole = static_cast<uint32_t>(static_cast<size_t>(got) / recordLen_);
        for (uint32_t i = 0; i < whole; ++i)
            if (chunk[size_t{i} * recordLen_] != rdd::dbf::kDeletedFlag) shown.push_back(r + i);
        if (whole < n) {
            // The file ends here: the rest are appends not yet written.
            for (uint32_t k = r + whole; k <= last; ++k) shown.push_back(k);
            return true;
        }
        r += n;
        if (r == 0) break;  // wrapped past the largest record number
    }
    return true;
}

}  // namespace grid
