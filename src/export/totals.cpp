#include "export/totals.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <span>
#include <string_view>
#include <thread>

#include "export/csv.h"
#include "export/replacefile.h"
#include "platform/rdd/dbfcodepage.h"
#include "platform/rdd/dbfheader.h"
#include "platform/rdd/dbflayout.h"
#include "platform/runtime/files.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

namespace exportdata {
namespace {

namespace dbf = rdd::dbf;

// A count in billionths, summed exactly: a scan table's count (ten
// characters) has at most nine decimals, and 128 bits hold the sum of any
// number of them.
using Units = __int128;
constexpr int kScaleDigits = 9;
constexpr int kMaxWholeDigits = 18;
constexpr int64_t kPow10[kScaleDigits + 1] = {1,      10,      100,      1000,      10000,
                                              100000, 1000000, 10000000, 100000000, 1000000000};

// A count that IsDecimalNumber accepted, in units; false when it holds more
// digits than are summed exactly (more than 18 before the mark, or a
// non-zero digit beyond the ninth after it), which a scan table's count
// cannot.
bool CountUnits(std::string_view t, Units& out) {
    size_t i = 0;
    bool negative = false;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        i = 1;
    }
    int64_t whole = 0, fraction = 0;
    int wholeDigits = 0, fractionDigits = 0;
    bool mark = false;
    for (; i < t.size(); ++i) {
        if (t[i] == ',' || t[i] == '.') {
            mark = true;
            continue;
        }
        const int d = t[i] - '0';
        if (!mark) {
            if (whole == 0 && d == 0) continue;
            if (++wholeDigits > kMaxWholeDigits) return false;
            whole = whole * 10 + d;
        } else if (fractionDigits == kScaleDigits) {
            if (d != 0) return false;
        } else {
            fraction = fraction * 10 + d;
            ++fractionDigits;
        }
    }
    const Units u = Units{whole} * kPow10[kScaleDigits] + Units{fraction} * kPow10[kScaleDigits - fractionDigits];
    out = negative ? -u : u;
    return true;
}

// Units as a decimal text with a point: no trailing zeros after the point,
// no point for a whole number.
std::string UnitsText(Units u) {
    const bool negative = u < 0;
    unsigned __int128 m = negative ? static_cast<unsigned __int128>(-u) : static_cast<unsigned __int128>(u);
    const auto scale = static_cast<unsigned __int128>(kPow10[kScaleDigits]);
    auto fraction = static_cast<int64_t>(m % scale);
    unsigned __int128 whole = m / scale;
    std::string digits;
    do {
        digits += static_cast<char>('0' + static_cast<int>(whole % 10));
        whole /= 10;
    } while (whole != 0);
    std::string text = negative && m != 0 ? "-" : "";
    text.append(digits.rbegin(), digits.rend());
    if (fraction != 0) {
        int width = kScaleDigits;
        while (fraction % 10 == 0) {
            fraction /= 10;
            --width;
        }
        std::string f = std::to_string(fraction);
        text += '.';
        text.append(static_cast<size_t>(width) - f.size(), '0');
        text += f;
    }
    return text;
}

struct Entry {
    std::string barcode;  // as the export writes it (short enough to stay inside the string)
    uint64_t hash = 0;    // 0: an empty slot
    int64_t scans = 0;
    Units sum = 0;
    int32_t tables = 0;
    int32_t lastTable = -1;  // the table that last added to it, while one worker reads tables in turn
};

uint64_t HashOf(std::string_view k) {
    uint64_t h = 0x9E3779B97F4A7C15ULL ^ k.size();
    size_t i = 0;
    for (; i + 8 <= k.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, k.data() + i, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ULL;
        h ^= h >> 31;
    }
    uint64_t w = 0;
    std::memcpy(&w, k.data() + i, k.size() - i);
    // A full mix at the end: barcodes differ mostly in their last digits,
    // which a multiplication alone would keep out of the low bits that pick
    // the slot.
    h ^= w;
    h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDULL;
    h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ULL;
    return h ^ (h >> 33);
}

// Barcodes to their totals: open addressing over the entries themselves,
// so that a lookup reads one place in memory, and a record of a barcode
// already seen allocates nothing.
class TotalsMap {
public:
    TotalsMap() : slots_(kFirstSlots) {}

    Entry& Find(std::string_view barcode) {
        uint64_t h = HashOf(barcode);
        if (h == 0) h = 1;
        for (;;) {
            const size_t mask = slots_.size() - 1;
            for (size_t s = h & mask;; s = (s + 1) & mask) {
                Entry& e = slots_[s];
                if (e.hash == h && e.barcode == barcode) return e;
                if (e.hash != 0) continue;
                if ((used_ + 1) * 2 > slots_.size()) break;
                ++used_;
                e.hash = h;
                e.barcode.assign(barcode);
                return e;
            }
            Grow();
        }
    }
    size_t Size() const { return used_; }
    // The entries, taken out of the map.
    std::vector<Entry> Take() {
        std::vector<Entry> out;
        out.reserve(used_);
        for (Entry& e : slots_)
            if (e.hash != 0) out.push_back(std::move(e));
        slots_.assign(kFirstSlots, Entry{});
        used_ = 0;
        return out;
    }

private:
    static constexpr size_t kFirstSlots = 1024;
    void Grow() {
        std::vector<Entry> old(slots_.size() * 2);
        old.swap(slots_);
        const size_t mask = slots_.size() - 1;
        for (Entry& e : old) {
            if (e.hash == 0) continue;
            size_t s = e.hash & mask;
            while (slots_[s].hash != 0) s = (s + 1) & mask;
            slots_[s] = std::move(e);
        }
    }
    std::vector<Entry> slots_;
    size_t used_ = 0;
};

struct Reject {
    size_t table = 0;
    uint32_t recno = 0;
    std::string barcode, count;
};

// One reader's share of the work: the tables it read, in turn.
struct Worker {
    TotalsMap map;
    std::vector<Reject> rejects;
    int64_t scans = 0;
    std::string barcode;  // reused for every record
};

TotalsFault Unreadable(const std::string& name, int osError, std::string detail) {
    return {TotalsFault::kUnreadable, osError, name, std::move(detail)};
}

const dbf::FieldDesc* FieldNamed(const dbf::Layout& layout, std::string_view name, std::string_view types) {
    for (const dbf::FieldDesc& f : layout.fields)
        if (f.name == name && types.find(f.type) != std::string_view::npos) return &f;
    return nullptr;
}

std::string_view Trimmed(const uint8_t* p, size_t n) {
    size_t b = 0, e = n;
    while (b < e && p[b] == ' ') ++b;
    while (e > b && p[e - 1] == ' ') --e;
    return {reinterpret_cast<const char*>(p + b), e - b};
}

// Adds the live records of one table. The file is read with a descriptor
// of its own and no lock; its records are counted from the file's size the
// way an open of the table counts them (an append in flight is either whole
// or left out).
TotalsFault ReadTable(const std::string& name, size_t index, Worker& w) {
    int err = 0;
    const std::string path = rt::FilePath(name, false, &err);
    if (path.empty()) return Unreadable(name, err ? err : rt::kOsFileNotFound, {});
    rt::Fd fd = rt::OpenFile(path, O_RDONLY, 0, &err);
    if (!fd) return Unreadable(name, rt::OsErrorFromErrno(err, path), {});
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    std::vector<uint8_t> head(dbf::kHeaderSize);
    rt::IoResult got = rt::ReadAt(fd.Get(), head.data(), head.size(), 0);
    if (!got.Ok()) return Unreadable(name, rt::OsErrorFromErrno(got.err, path), {});
    head.resize(got.bytes);
    const size_t announced = dbf::AnnouncedHeaderLen(head);
    if (announced > head.size() && head.size() == dbf::kHeaderSize) {
        head.resize(announced);
        got = rt::ReadAt(fd.Get(), head.data() + dbf::kHeaderSize, announced - dbf::kHeaderSize, dbf::kHeaderSize);
        if (!got.Ok()) return Unreadable(name, rt::OsErrorFromErrno(got.err, path), {});
        head.resize(dbf::kHeaderSize + got.bytes);
    }
    // The size after the header: a writer appends records before it counts
    // them, so every record the header counts lies within it.
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return Unreadable(name, rt::OsErrorFromErrno(errno, path), {});
    const auto size = static_cast<uint64_t>(st.st_size);
    dbf::Layout layout;
    dbf::Fault fault;
    if (!dbf::ParseHeader(head, size, layout, fault)) return Unreadable(name, rt::kOsGenFailure, fault.description);
    const dbf::FieldDesc* barcode = FieldNamed(layout, "BARCODE", "C");
    const dbf::FieldDesc* qty = FieldNamed(layout, "QTY", "CN");
    if (!barcode || !qty) return {TotalsFault::kNotScanTable, 0, name, barcode ? "QTY" : "BARCODE"};
    if (size < layout.headerLen) return Unreadable(name, rt::kOsGenFailure, "the table was cut short");

    const size_t recLen = layout.recordLen;
    const uint64_t complete64 = (size - layout.headerLen) / recLen;
    const uint32_t complete = complete64 > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(complete64);
    if (layout.headerCount > complete && layout.headerCount - complete > 1)
        return Unreadable(name, rt::kOsGenFailure,
                          "record count " + std::to_string(layout.headerCount) + " runs beyond the file, which holds " +
                              std::to_string(complete) + " complete records");

    const rt::CodePage& cp = dbf::TableCodePage(layout.codePage);
    const size_t perBlock = std::max<size_t>(1, (size_t{4} << 20) / recLen);
    std::vector<uint8_t> block(perBlock * recLen);
    uint32_t recno = 0;
    while (recno < complete) {
        const size_t n = std::min<size_t>(perBlock, complete - recno);
        got = rt::ReadAt(fd.Get(), block.data(), n * recLen, layout.headerLen + uint64_t{recno} * recLen);
        if (!got.Ok()) return Unreadable(name, rt::OsErrorFromErrno(got.err, path), {});
        if (got.bytes != n * recLen) return Unreadable(name, rt::kOsGenFailure, "the table was cut short");
        for (size_t i = 0; i < n; ++i) {
            const uint8_t* rec = block.data() + i * recLen;
            ++recno;
            const uint8_t flag = rec[0];
            // Beyond the header's count only what looks like a record is one.
            if (recno > layout.headerCount && flag != dbf::kLiveFlag && flag != dbf::kDeletedFlag) return {};
            if (flag == dbf::kDeletedFlag) continue;
            w.barcode.clear();
            AppendCleanText(w.barcode, rec + barcode->offset, static_cast<size_t>(barcode->width), cp);
            const std::string_view count = Trimmed(rec + qty->offset, static_cast<size_t>(qty->width));
            Units units = 0;
            if (IsDecimalNumber(count) && CountUnits(count, units)) {
                Entry& e = w.map.Find(w.barcode);
                e.sum += units;
                ++e.scans;
                if (e.lastTable != static_cast<int32_t>(index)) {
                    e.lastTable = static_cast<int32_t>(index);
                    ++e.tables;
                }
                ++w.scans;
                continue;
            }
            // Written as the export writes a count that is no number.
            std::string text(count);
            std::replace(text.begin(), text.end(), ',', ' ');
            Reject r{index, recno, w.barcode, {}};
            AppendCleanText(r.count, reinterpret_cast<const uint8_t*>(text.data()), text.size(), cp);
            w.rejects.push_back(std::move(r));
        }
    }
    return {};
}

// Refuses a table given twice (also under another name): its scans would
// count twice.
TotalsFault SameTables(const std::vector<std::string>& tables, std::vector<std::string>& paths) {
    std::vector<std::pair<dev_t, ino_t>> ids;
    for (size_t i = 0; i < tables.size(); ++i) {
        int err = 0;
        paths.push_back(rt::FilePath(tables[i], false, &err));
        struct stat st {};
        if (paths.back().empty() || ::stat(paths.back().c_str(), &st) != 0) {
            ids.emplace_back(0, 0);
            continue;
        }
        ids.emplace_back(st.st_dev, st.st_ino);
        for (size_t j = 0; j < i; ++j)
            if (ids[j] == ids[i]) return {TotalsFault::kSameTable, 0, tables[i], tables[j]};
    }
    return {};
}

bool NamesTable(const std::string& target, const std::vector<std::string>& paths) {
    struct stat st {};
    if (target.empty() || ::stat(target.c_str(), &st) != 0) return false;
    for (const std::string& p : paths) {
        struct stat t {};
        if (!p.empty() && ::stat(p.c_str(), &t) == 0 && t.st_dev == st.st_dev && t.st_ino == st.st_ino) return true;
    }
    return false;
}

std::string TotalsText(std::vector<Entry>& entries) {
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.barcode < b.barcode; });
    std::string out;
    out.reserve(entries.size() * 40);
    for (const Entry& e : entries) {
        out += e.barcode;
        out += ',';
        out += UnitsText(e.sum);
        out += ',';
        out += std::to_string(e.scans);
        out += ',';
        out += std::to_string(e.tables);
        out += "\r\n";
    }
    return out;
}

std::string RejectsText(std::vector<Reject>& rejects, const std::vector<std::string>& tables) {
    std::sort(rejects.begin(), rejects.end(), [](const Reject& a, const Reject& b) {
        return a.table != b.table ? a.table < b.table : a.recno < b.recno;
    });
    std::string out;
    for (const Reject& r : rejects)
        out += CsvValue(rt::Usual(tables[r.table])) + ',' + std::to_string(r.recno) + ',' + r.barcode + ',' + r.count +
               "\r\n";
    return out;
}

}  // namespace

std::string RejectsFileName(const std::string& totalsFile) {
    const size_t n = totalsFile.size();
    if (n >= 4 && rt::Upper(totalsFile.substr(n - 4)) == ".CSV")
        return totalsFile.substr(0, n - 4) + "-rejects" + totalsFile.substr(n - 4);
    return totalsFile + "-rejects.csv";
}

TotalsFault WriteTotals(const std::vector<std::string>& tables, const std::string& totalsFile, TotalsSummary* summary) {
    std::vector<std::string> paths;
    if (TotalsFault f = SameTables(tables, paths)) return f;
    const std::string rejectsFile = RejectsFileName(totalsFile);
    for (const std::string& out : {totalsFile, rejectsFile}) {
        int err = 0;
        if (NamesTable(NativeTarget(out, &err), paths)) return {TotalsFault::kOutputIsTable, 0, out, {}};
    }

    // Tables are handed out one at a time to as many readers as there are
    // cores; each keeps totals of its own, added together at the end.
    const size_t readers =
        std::clamp<size_t>(std::thread::hardware_concurrency(), 1, std::max<size_t>(1, tables.size()));
    std::vector<Worker> workers(readers);
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex faultLock;
    size_t faultAt = tables.size();
    TotalsFault fault;
    auto run = [&](Worker& w) {
        for (size_t i; !stop && (i = next++) < tables.size();) {
            if (TotalsFault f = ReadTable(tables[i], i, w)) {
                std::lock_guard<std::mutex> hold(faultLock);
                if (i < faultAt) {
                    faultAt = i;
                    fault = f;
                }
                stop = true;
            }
        }
    };
    std::vector<std::thread> threads;
    for (size_t k = 1; k < readers; ++k) threads.emplace_back(run, std::ref(workers[k]));
    run(workers[0]);
    for (std::thread& t : threads) t.join();
    if (fault) return fault;

    Worker& all = workers[0];
    for (size_t k = 1; k < readers; ++k) {
        for (const Entry& e : workers[k].map.Take()) {
            Entry& into = all.map.Find(e.barcode);
            into.sum += e.sum;
            into.scans += e.scans;
            into.tables += e.tables;
        }
        all.scans += workers[k].scans;
        for (Reject& r : workers[k].rejects) all.rejects.push_back(std::move(r));
    }
    if (summary) *summary = {all.map.Size(), all.scans, static_cast<int64_t>(all.rejects.size())};

    // The rejects first, so that any failure leaves the totals file as it
    // was; they are written also when there are none, so that no rejects of
    // an earlier run stand beside the new totals.
    if (int err = ReplaceFileContent(rejectsFile, RejectsText(all.rejects, tables)))
        return {TotalsFault::kWriteFailed, err, rejectsFile, {}};
    std::vector<Entry> entries = all.map.Take();
    if (int err = ReplaceFileContent(totalsFile, TotalsText(entries)))
        return {TotalsFault::kWriteFailed, err, totalsFile, {}};
    return {};
}

std::string DescribeFault(const TotalsFault& f) {
    const std::string nothing = " Nothing was written.";
    switch (f.kind) {
        case TotalsFault::kNone: return {};
        case TotalsFault::kUnreadable:
            return "Unable to read " + f.file + ". " +
                   (f.detail.empty() ? rt::DosErrString(f.osError) : f.detail + ".") + nothing;
        case TotalsFault::kNotScanTable:
            return "Unable to total " + f.file + ": it has no " + (f.detail == "QTY" ? "field" : "character field") +
                   " named " + f.detail + "." + nothing;
        case TotalsFault::kSameTable:
            return "Unable to total " + f.file + ": it is the same table as " + f.detail + "." + nothing;
        case TotalsFault::kOutputIsTable: return "Unable to write " + f.file + ": it is one of the tables." + nothing;
        case TotalsFault::kWriteFailed: return "Unable to write " + f.file + ". " + rt::DosErrString(f.osError);
    }
    return {};
}

}  // namespace exportdata
