#include "scanfile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/rdd/dbfcodepage.h"
#include "platform/rdd/dbfheader.h"
#include "platform/rdd/dbflayout.h"
#include "platform/runtime/posixfile.h"

namespace qzsync {

namespace {

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

const rdd::dbf::FieldDesc* FindField(const rdd::dbf::Layout& l, const char* name) {
    for (const auto& f : l.fields)
        if (f.name == name && f.type == 'C') return &f;
    return nullptr;
}

bool Identify(int fd, FileId& id, uint64_t& size, std::string* error) {
    struct statx sx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_INO | STATX_SIZE | STATX_BTIME, &sx) != 0) {
        *error = std::string("cannot examine the file: ") + std::strerror(errno);
        return false;
    }
    id.dev = (uint64_t{sx.stx_dev_major} << 32) | sx.stx_dev_minor;
    id.ino = sx.stx_ino;
    id.birthNs = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec * 1000000000LL + sx.stx_btime.tv_nsec : 0;
    size = sx.stx_size;
    return true;
}

// The header and field descriptors, read until two reads in a row agree.
bool ReadHeader(int fd, uint64_t size, std::vector<uint8_t>& bytes, std::string* error) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        std::vector<uint8_t> first(rdd::dbf::kHeaderSize), second;
        if (!rt::ReadAt(fd, first.data(), first.size(), 0).Ok()) break;
        size_t len = std::min<uint64_t>(rdd::dbf::AnnouncedHeaderLen(first), size);
        first.resize(std::max(len, rdd::dbf::kHeaderSize));
        auto r = rt::ReadAt(fd, first.data(), first.size(), 0);
        second.resize(first.size());
        auto again = rt::ReadAt(fd, second.data(), second.size(), 0);
        if (!r.Ok() || !again.Ok()) break;
        first.resize(r.bytes);
        second.resize(again.bytes);
        if (first == second) {
            bytes = std::move(first);
            return true;
        }
    }
    *error = "the header cannot be read";
    return false;
}

}  // namespace

std::string FileId::Text() const {
    return std::to_string(dev) + ":" + std::to_string(ino) + ":" + std::to_string(birthNs);
}

bool ReadScanFile(const std::string& path, uint32_t from, uint32_t limit, ScanFile& out, std::string* error) {
    out = ScanFile{};
    int err = 0;
    rt::Fd fd = rt::OpenFile(path, O_RDONLY, 0, &err);
    if (!fd) {
        *error = path + ": " + std::strerror(err);
        return false;
    }
    uint64_t size = 0;
    std::vector<uint8_t> head;
    if (!Identify(fd.Get(), out.id, size, error) || !ReadHeader(fd.Get(), size, head, error)) {
        *error = path + ": " + *error;
        return false;
    }
    rdd::dbf::Layout layout;
    rdd::dbf::Fault fault;
    if (!rdd::dbf::ParseHeader(head, size, layout, fault)) {
        *error = path + ": " + fault.description;
        return false;
    }
    const auto* barcode = FindField(layout, "BARCODE");
    const auto* qty = FindField(layout, "QTY");
    if (!barcode || !qty) {
        *error = path + ": not a scan data file (no BARCODE and QTY text fields)";
        return false;
    }
    uint64_t whole = size > layout.headerLen ? (size - layout.headerLen) / layout.recordLen : 0;
    out.durable = static_cast<uint32_t>(std::min<uint64_t>(layout.headerCount, whole));
    if (from < 1) from = 1;
    if (from > out.durable) return true;
    uint32_t n = std::min<uint32_t>(limit, out.durable - from + 1);
    std::vector<uint8_t> block(size_t{n} * layout.recordLen);
    auto r = rt::ReadAt(fd.Get(), block.data(), block.size(), layout.headerLen + uint64_t{from - 1} * layout.recordLen);
    if (!r.Ok() || r.bytes != block.size()) {
        *error = path + ": the records cannot be read" + (r.err ? std::string(": ") + std::strerror(r.err) : "");
        return false;
    }
    const rt::CodePage& cp = rdd::dbf::TableCodePage(layout.codePage);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* rec = block.data() + size_t{i} * layout.recordLen;
        if (rec[0] == rdd::dbf::kDeletedFlag) continue;
        ScanRecord s;
        s.number = from + i;
        s.barcode = TrimRight(
            cp.Decode(std::string_view(reinterpret_cast<const char*>(rec) + barcode->offset, barcode->width)));
        s.count = TrimRight(cp.Decode(std::string_view(reinterpret_cast<const char*>(rec) + qty->offset, qty->width)));
        out.records.push_back(std::move(s));
    }
    return true;
}

}  // namespace qzsync
