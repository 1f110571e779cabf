#include "platform/rdd/dbfmemo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/rdd/dbflayout.h"

namespace rdd::dbf {
namespace {

constexpr uint64_t kMaxMemo = uint64_t{16} << 20;  // a sane bound on one memo

uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The entry of `dir` whose name equals `name` ignoring case, "" if none.
std::string FindNoCase(const std::string& dir, const std::string& name) {
    std::string exact = dir + "/" + name;
    struct stat st;
    if (::stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return exact;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (SameNoCase(e->d_name, name)) {
            found = dir + "/" + e->d_name;
            break;
        }
    }
    ::closedir(d);
    return found;
}

}  // namespace

std::unique_ptr<MemoFile> MemoFile::OpenBeside(const std::string& tablePath, MemoKind kind) {
    if (kind == MemoKind::kNone) return nullptr;
    size_t slash = tablePath.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".")
                      : slash == 0               ? std::string("/")
                                                 : tablePath.substr(0, slash);
    std::string base = slash == std::string::npos ? tablePath : tablePath.substr(slash + 1);
    size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.erase(dot);
    // The table's version says which kind to expect; the other is tried too.
    const char* first = kind == MemoKind::kFpt ? ".fpt" : ".dbt";
    const char* second = kind == MemoKind::kFpt ? ".dbt" : ".fpt";
    for (const char* ext : {first, second}) {
        std::string path = FindNoCase(dir, base + ext);
        if (path.empty()) continue;
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        MemoKind k = std::string_view(ext) == ".fpt" ? MemoKind::kFpt : MemoKind::kDbt;
        return std::unique_ptr<MemoFile>(new MemoFile(fd, k, path));
    }
    return nullptr;
}

MemoFile::MemoFile(int fd, MemoKind kind, std::string path) : fd_(fd), kind_(kind), path_(std::move(path)) {
    struct stat st;
    if (::fstat(fd_, &st) == 0) size_ = static_cast<uint64_t>(st.st_size);
    uint8_t h[32] = {};
    if (ReadAt(0, h, sizeof h)) {
        if (kind_ == MemoKind::kFpt) {
            uint32_t bs = uint32_t{h[kFptOffBlockSize]} << 8 | h[kFptOffBlockSize + 1];
            blockSize_ = bs ? bs : 64;
        } else {
            uint32_t bs = Le16(h + kDbt4OffBlockSize);
            blockSize_ = bs >= 64 ? bs : kDbtBlockSize;  // dBASE III leaves it zero
        }
    }
}

MemoFile::~MemoFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool MemoFile::Within(uint64_t offset, uint64_t n) const { return offset <= size_ && n <= size_ - offset; }

bool MemoFile::ReadAt(uint64_t offset, void* dst, size_t n) const {
    if (!Within(offset, n)) return false;
    ssize_t got = ::pread(fd_, dst, n, static_cast<off_t>(offset));
    return got == static_cast<ssize_t>(n);
}

std::string MemoFile::Read(const uint8_t* ref, int width) const {
    uint64_t block = 0;
    if (width == 4) {
        block = Le32(ref);
    } else {
        for (int i = 0; i < width; ++i) {
            if (ref[i] == ' ' || ref[i] == 0) continue;
            if (ref[i] < '0' || ref[i] > '9') return {};
            block = block * 10 + static_cast<uint64_t>(ref[i] - '0');
            if (block > size_) return {};
        }
    }
    if (block == 0) return {};
    return kind_ == MemoKind::kFpt ? ReadFpt(block) : ReadDbt(block);
}

std::string MemoFile::ReadDbt(uint64_t block) const {
    uint64_t offset = block * blockSize_;
    uint8_t head[8];
    if (ReadAt(offset, head, sizeof head) && head[0] == 0xFF && head[1] == 0xFF && head[2] == 0x08 && head[3] == 0x00) {
        // dBASE IV block: the length counts the 8 header bytes.
        uint32_t len = Le32(head + 4);
        // A length past the end of the file is damage: nothing is made for it.
        if (len < kDbt4BlockHeader || len - kDbt4BlockHeader > kMaxMemo || !Within(offset, len)) return {};
        std::string text(len - kDbt4BlockHeader, '\0');
        if (!ReadAt(offset + kDbt4BlockHeader, text.data(), text.size())) return {};
        return text;
    }
    // dBASE III: text up to the first 0x1A.
    std::string text;
    char buf[512];
    while (offset < size_ && text.size() < kMaxMemo) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(sizeof buf, size_ - offset));
        if (!ReadAt(offset, buf, n)) break;
        const void* end = std::memchr(buf, kEofMarker, n);
        if (end) {
            text.append(buf, static_cast<size_t>(static_cast<const char*>(end) - buf));
            return text;
        }
        text.append(buf, n);
        offset += n;
    }
    return text;
}

std::string MemoFile::ReadFpt(uint64_t block) const {
    uint64_t offset = block * blockSize_;
    uint8_t head[kFptBlockHeader];
    if (!ReadAt(offset, head, sizeof head)) return {};
    uint32_t len = Be32(head + 4);
    if (len > kMaxMemo || !Within(offset + kFptBlockHeader, len)) return {};
    std::string text(len, '\0');
    if (!ReadAt(offset + kFptBlockHeader, text.data(), text.size())) return {};
    return text;
}

}  // namespace rdd::dbf
