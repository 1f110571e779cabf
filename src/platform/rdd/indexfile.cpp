#include "platform/rdd/indexfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "platform/rdd/dbflock.h"
#include "platform/runtime/error.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"

namespace rdd::idx {
namespace {

constexpr char kMagic[8] = {'Q', 'Z', 'I', 'N', 'D', 'E', 'X', 0};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderLen = 64;
constexpr int64_t kJournalLock = int64_t{1} << 40;

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put64(std::vector<uint8_t>& b, uint64_t v) {
    for (int i = 0; i < 8; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutText(std::vector<uint8_t>& b, const std::string& s) {
    Put16(b, static_cast<uint32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}
uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
uint64_t Get64(const uint8_t* p) { return uint64_t{Get32(p)} | (uint64_t{Get32(p + 4)} << 32); }

// Reads the definitions section; FALSE when it does not parse.
bool ParseDefs(const uint8_t* p, size_t n, uint32_t count, std::vector<OrderDef>& defs) {
    size_t at = 0;
    auto text = [&](std::string& s) {
        if (at + 2 > n) return false;
        size_t len = p[at] | (size_t{p[at + 1]} << 8);
        at += 2;
        if (at + len > n) return false;
        s.assign(reinterpret_cast<const char*>(p + at), len);
        at += len;
        return true;
    };
    for (uint32_t i = 0; i < count; ++i) {
        OrderDef d;
        if (!text(d.name) || !text(d.keyText) || !text(d.forText) || at + 4 > n) return false;
        char t = static_cast<char>(p[at]);
        if (t != 'C' && t != 'N' && t != 'D' && t != 'L') return false;
        d.type = static_cast<KeyType>(t);
        d.width = p[at + 2] | (uint32_t{p[at + 3]} << 8);
        at += 4;
        if (d.width == 0 || d.width > kMaxKeyWidth || d.name.empty()) return false;
        // Numbers and dates are 8 bytes wide, logic values 1 (indexkey.h).
        if ((t == 'N' || t == 'D') ? d.width != 8 : t == 'L' && d.width != 1) return false;
        defs.push_back(std::move(d));
    }
    return at == n;
}

// Whether all n bytes at off could be read.
bool ReadWhole(int fd, uint8_t* p, size_t n, uint64_t off) { return rt::ReadAt(fd, p, n, off).bytes == n; }

}  // namespace

uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

uint64_t RecordHash(uint32_t recno, const uint8_t* bytes, size_t len) {
    uint64_t h = 0xcbf29ce484222325ULL ^ (uint64_t{recno} * 0x9E3779B97F4A7C15ULL);
    size_t i = 0;
    for (; i + 8 <= len; i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes + i, 8);
        h = (h ^ w) * 0x100000001B3ULL;
        h ^= h >> 29;
    }
    for (; i < len; ++i) h = (h ^ bytes[i]) * 0x100000001B3ULL;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

Fault IndexFile::OsFault(uint32_t gen, int err, const std::string& what) const {
    return MakeFault(gen, what + ": " + std::strerror(err), rt::OsErrorFromErrno(err, path_), true);
}

IndexFile::~IndexFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<IndexFile> IndexFile::Open(const std::string& path, bool writable, Fault& fault, bool& damaged) {
    damaged = false;
    std::unique_ptr<IndexFile> f(new IndexFile());
    f->path_ = path;
    f->writable_ = writable;
    int openErr = 0;
    f->fd_ = rt::OpenFile(path, writable ? O_RDWR : O_RDONLY, 0, &openErr).Release();
    if (f->fd_ < 0) {
        fault = f->OsFault(rt::kGenOpen, openErr, "cannot open the index file");
        return nullptr;
    }
    if ((fault = f->Load(damaged))) return nullptr;
    return f;
}

Fault IndexFile::Load(bool& isDamaged) {
    struct stat st = {};
    if (::fstat(fd_, &st) != 0) return OsFault(rt::kGenRead, errno, "cannot read the index file");
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    uint8_t h[kHeaderLen] = {};
    auto damaged = [&](const char* what) {
        isDamaged = true;
        return MakeFault(rt::kGenCorruption, path_ + ": the index file is damaged (" + what + ")");
    };
    // What is there of the header (a cut file: what is left of it) must
    // start like one of ours; else the file is not ours to mend.
    const size_t have = static_cast<size_t>(std::min<uint64_t>(size, kHeaderLen));
    if (rt::IoResult r = rt::ReadAt(fd_, h, have, 0); r.bytes != have)
        return OsFault(rt::kGenRead, r.err ? r.err : EIO, "cannot read the index file");
    if (std::memcmp(h, kMagic, std::min(have, sizeof kMagic)) != 0)
        return MakeFault(rt::kGenCorruption, path_ + ": not an index file of this program");
    if (have < kHeaderLen) return damaged("short header");
    if (Get32(h + 8) != kVersion)
        return MakeFault(rt::kGenCorruption, path_ + ": an index file of an unknown format version");
    if (Get32(h + 12) != Crc32(h + 16, kHeaderLen - 16, Crc32(h, 12))) return damaged("header checksum");
    const uint32_t count = Get32(h + 16), defLen = Get32(h + 20), entLen = Get32(h + 24);
    if (kHeaderLen + uint64_t{defLen} + entLen > size) return damaged("sections beyond the end");
    std::vector<uint8_t> defs(defLen);
    if (!ReadWhole(fd_, defs.data(), defLen, kHeaderLen) || Crc32(defs.data(), defLen) != Get32(h + 28) ||
        !ParseDefs(defs.data(), defLen, count, defs_))
        return damaged("order definitions");
    header_.assign(h, h + kHeaderLen);
    snapshot_ = Stamp{Get32(h + 36), Get64(h + 40)};
    entries_.resize(entLen);
    entriesValid_ = ReadWhole(fd_, entries_.data(), entLen, kHeaderLen + defLen) &&
                    Crc32(entries_.data(), entLen) == Get32(h + 32);
    size_t at = 0;
    for (const OrderDef& d : defs_) {
        if (!entriesValid_) break;
        if (at + 4 > entLen) {
            entriesValid_ = false;
            break;
        }
        uint32_t n = Get32(entries_.data() + at);
        at += 4;
        if (n > snapshot_.count || at + uint64_t{n} * (d.width + 4) > entLen) {
            entriesValid_ = false;
            break;
        }
        entryOffset_.push_back(at);
        entryCount_.push_back(n);
        at += size_t{n} * (d.width + 4);
    }
    if (at != entLen) entriesValid_ = false;
    if (!entriesValid_) DropSnapshotEntries();
    journalStart_ = end_ = kHeaderLen + defLen + entLen;
    return {};
}

void IndexFile::DropSnapshotEntries() {
    entries_.clear();
    entries_.shrink_to_fit();
    entryOffset_.assign(defs_.size(), 0);
    entryCount_.assign(defs_.size(), 0);
}

std::unique_ptr<IndexFile> IndexFile::Create(const std::string& path, const std::vector<const Order*>& orders,
                                             Stamp stamp, Fault& fault) {
    std::vector<uint8_t> defs, ents;
    for (const Order* o : orders) {
        const OrderDef& d = o->Def();
        PutText(defs, d.name);
        PutText(defs, d.keyText);
        PutText(defs, d.forText);
        defs.push_back(static_cast<uint8_t>(d.type));
        defs.push_back(0);
        Put16(defs, d.width);
        Put32(ents, static_cast<uint32_t>(o->KeyCount()));
        for (auto it = o->Begin(); it != o->End(); ++it) {
            const uint8_t* k = o->KeyOf(*it);
            ents.insert(ents.end(), k, k + d.width);
            for (int s = 24; s >= 0; s -= 8) ents.push_back(static_cast<uint8_t>(*it >> s));
        }
    }
    std::vector<uint8_t> h(kMagic, kMagic + 8);
    Put32(h, kVersion);
    Put32(h, 0);  // header checksum, below
    Put32(h, static_cast<uint32_t>(orders.size()));
    Put32(h, static_cast<uint32_t>(defs.size()));
    Put32(h, static_cast<uint32_t>(ents.size()));
    Put32(h, Crc32(defs.data(), defs.size()));
    Put32(h, Crc32(ents.data(), ents.size()));
    Put32(h, stamp.count);
    Put64(h, stamp.checksum);
    h.resize(kHeaderLen, 0);
    uint32_t hc = Crc32(h.data() + 16, kHeaderLen - 16, Crc32(h.data(), 12));
    for (int i = 0; i < 4; ++i) h[12 + i] = static_cast<uint8_t>(hc >> (8 * i));

    auto osFault = [&](int err, const char* what) {
        return MakeFault(rt::kGenCreate, path + ": " + what + ": " + std::strerror(err),
                         rt::OsErrorFromErrno(err, path), true);
    };
    auto bytes = [](const std::vector<uint8_t>& v) {
        return std::string_view(reinterpret_cast<const char*>(v.data()), v.size());
    };
    rt::ReplaceResult r =
        rt::AtomicReplace(path, {bytes(h), bytes(defs), bytes(ents)}, rt::ReplaceOptions{.keepOpen = true});
    if (!r.Ok()) {
        fault = osFault(r.err, r.step == rt::ReplaceStep::kTemp         ? "cannot create the index file"
                               : r.step == rt::ReplaceStep::kFolderSync ? "cannot make the index file durable"
                                                                        : "cannot write the index file");
        return nullptr;
    }
    int fd = r.fd.Release();
    std::unique_ptr<IndexFile> f(new IndexFile());
    f->path_ = path;
    f->fd_ = fd;
    f->writable_ = true;
    f->header_ = std::move(h);
    f->snapshot_ = stamp;
    for (const Order* o : orders) f->defs_.push_back(o->Def());
    f->entriesValid_ = true;
    f->DropSnapshotEntries();  // the caller holds them in memory
    f->journalStart_ = f->end_ = kHeaderLen + defs.size() + ents.size();
    return f;
}

Fault IndexFile::ReadJournal(std::vector<JournalEntry>& out) {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return OsFault(rt::kGenRead, errno, "cannot read the index file");
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    size_t body = 16;
    for (const OrderDef& d : defs_) body += 1 + d.width;
    std::vector<uint8_t> b(body + 8);
    torn_ = false;
    while (end_ < size) {
        if (end_ + b.size() > size || !ReadWhole(fd_, b.data(), b.size(), end_) || Get32(b.data()) != body ||
            Crc32(b.data() + 4, body) != Get32(b.data() + 4 + body)) {
            torn_ = true;  // the tail of an entry that was being written
            break;
        }
        JournalEntry e;
        const uint8_t* p = b.data() + 4;
        e.recno = Get32(p);
        e.stamp = Stamp{Get32(p + 4), Get64(p + 8)};
        p += 16;
        for (const OrderDef& d : defs_) {
            e.in.push_back(*p != 0);
            e.keys.emplace_back(reinterpret_cast<const char*>(p + 1), d.width);
            p += 1 + d.width;
        }
        out.push_back(std::move(e));
        end_ += b.size();
    }
    return {};
}

bool IndexFile::Grew(bool& grew) {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    grew = static_cast<uint64_t>(st.st_size) > end_;
    return true;
}

Fault IndexFile::Append(const JournalEntry& e, const std::vector<const Order*>& orders) {
    std::vector<uint8_t> b;
    Put32(b, 0);
    Put32(b, e.recno);
    Put32(b, e.stamp.count);
    Put64(b, e.stamp.checksum);
    for (size_t i = 0; i < orders.size(); ++i) {
        b.push_back(e.in[i] ? 1 : 0);
        b.insert(b.end(), e.keys[i].begin(), e.keys[i].end());
    }
    uint32_t body = static_cast<uint32_t>(b.size() - 4);
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(body >> (8 * i));
    Put32(b, Crc32(b.data() + 4, body));
    if (torn_) {
        if (int err = rt::Truncate(fd_, end_))
            return OsFault(rt::kGenWrite, err, "cannot cut the torn end of the index file");
        torn_ = false;
    }
    if (rt::IoResult w = rt::WriteAt(fd_, b.data(), b.size(), end_); !w.Ok())
        return OsFault(rt::kGenWrite, w.err, "cannot write the index file");
    end_ += b.size();
    unsynced_ = true;
    return {};
}

Fault IndexFile::Sync() {
    if (!unsynced_) return {};
    if (int err = rt::SyncData(fd_)) return OsFault(rt::kGenWrite, err, "cannot make the index file durable");
    unsynced_ = false;
    return {};
}

Fault IndexFile::Lock(int tries) {
    int err = dbf::LockWithTries(fd_, kJournalLock, writable_ ? dbf::LockKind::kWrite : dbf::LockKind::kRead, tries);
    if (err == 0) return {};
    if (dbf::IsLockConflict(err))
        return MakeFault(rt::kGenOpen, "another user holds the index file's lock", rt::kOsLockViolation, true);
    return OsFault(rt::kGenLock, err, "cannot lock the index file");
}

void IndexFile::Unlock() { dbf::TryLock(fd_, kJournalLock, dbf::LockKind::kUnlock); }

bool IndexFile::Replaced() const {
    struct stat mine = {};
    struct stat named = {};
    if (::fstat(fd_, &mine) != 0 || ::stat(path_.c_str(), &named) != 0) return true;
    if (mine.st_dev != named.st_dev || mine.st_ino != named.st_ino) return true;
    std::vector<uint8_t> now(header_.size());
    return rt::ReadAt(fd_, now.data(), now.size(), 0).bytes != now.size() || now != header_;
}

}  // namespace rdd::idx
