#include "export/csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "export/fieldbytes.h"
#include "export/replacefile.h"
#include "export/writebehind.h"
#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/oserror.h"
#include "platform/runtime/posixfile.h"
#include "platform/runtime/text.h"

namespace exportdata {
namespace {

constexpr int kFloatWidth = 12;
constexpr int kFloatDecimals = 2;
// Wide enough for any double written out with two decimals.
constexpr int kWidestFloat = 400;

std::string CleanText(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == ',' || c == '"' || c == '|') continue;
        // A line break inside a value would split one record over two lines.
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return rt::AllTrim(out);
}

std::string FloatText(const rt::Usual& v) {
    std::string s = rt::Str(v, kFloatWidth, kFloatDecimals);
    if (s.find('*') == std::string::npos) return s;
    // Too large for 12 positions: the whole number rather than asterisks.
    std::string wide = rt::AllTrim(rt::Str(v, kWidestFloat, kFloatDecimals));
    return wide.find('*') == std::string::npos ? wide : s;
}

// The CSV text as it is made: a buffer written through a pointer, with
// room made before each write. The room always has kWordSlack bytes more
// than asked for, so a field may be copied as whole 16-byte words.
class CsvOut {
public:
    explicit CsvOut(size_t reserve) : buf_(reserve + kWordSlack) {}
    // Room for `need` more bytes after the text; where they go.
    char* Room(size_t need) {
        if (buf_.size() - n_ < need + kWordSlack) Grow(need + kWordSlack);
        return buf_.data() + n_;
    }
    void Advance(size_t k) { n_ += k; }
    // The text ends at w, a pointer into the room made last.
    void EndAt(const char* w) { n_ = static_cast<size_t>(w - buf_.data()); }
    void Append(std::string_view s) {
        std::memcpy(Room(s.size()), s.data(), s.size());
        n_ += s.size();
    }
    size_t Size() const { return n_; }
    // The buffer, its first Size() bytes the text; one of the same size may
    // be put in its place.
    std::vector<char>& Buffer() { return buf_; }
    void Clear() { n_ = 0; }

private:
    [[gnu::noinline]] void Grow(size_t need) { buf_.resize(std::max(buf_.size() * 2, n_ + need)); }

    std::vector<char> buf_;
    size_t n_ = 0;
};

// The same as CleanText on a character field's text. The usual field is
// ASCII, which reads the same in every code page: its trimmed bytes are
// copied at once; any other field is converted first.
void AppendCleanText(CsvOut& out, const uint8_t* p, size_t n, const rt::CodePage& cp) {
    size_t b, e;
    TrimBlanks(p, n, b, e);
    if (!AnySpecial(p + b, e - b)) {
        out.Append(std::string_view(reinterpret_cast<const char*>(p + b), e - b));
        return;
    }
    std::string text;
    cp.Decode(p, n, text);
    out.Append(CleanText(text));
}

// The fast paths of the two writers below, at w with room for the whole
// field: nullptr when the field needs more than a copy.
[[gnu::always_inline]] inline char* CopyPlainText(char* w, const uint8_t* p, size_t n) {
    size_t b, e;
    TrimBlanks(p, n, b, e);
    if (AnySpecial(p + b, e - b)) return nullptr;
    std::memcpy(w, p + b, e - b);
    return w + (e - b);
}

// The scan data file's count field: a number kept as text.
constexpr const char* kCountField = "QTY";

// A count, trimmed. One that reads as a number is written with a decimal
// point, so that its value does not change ("2,5", stored under a decimal
// comma, is 2.5, never 25). Text that is no number is written as any text,
// except that a comma becomes a blank rather than joining the digits around
// it ("2,5,1" is "2 5 1").
[[gnu::always_inline]] inline char* CopyPlainCount(char* w, const uint8_t* p, size_t n) {
    size_t b, e;
    TrimBlanks(p, n, b, e);
    std::string_view text(reinterpret_cast<const char*>(p + b), e - b);
    if (!IsDecimalNumber(text)) return nullptr;
    for (char c : text) *w++ = c == ',' ? '.' : c;
    return w;
}

void AppendCount(CsvOut& out, const uint8_t* p, size_t n, const rt::CodePage& cp) {
    if (char* w = CopyPlainCount(out.Room(n), p, n)) {
        out.EndAt(w);
        return;
    }
    size_t b, e;
    TrimBlanks(p, n, b, e);
    std::string spaced(reinterpret_cast<const char*>(p + b), e - b);
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    AppendCleanText(out, reinterpret_cast<const uint8_t*>(spaced.data()), spaced.size(), cp);
}

// The records of an open table, a block at a time, through a descriptor of
// its own. The block has kWordSlack bytes after its last record, so the
// last record's fields may be read as whole 16-byte words too.
class RecordReader {
public:
    explicit RecordReader(const rdd::dbf::Table& t)
        : fd_(::open(t.Path().c_str(), O_RDONLY | O_CLOEXEC)),
          recordLen_(t.RecordLen()),
          headerLen_(t.Header().headerLen),
          count_(t.Count()),
          blockRecords_(std::clamp<size_t>(kBlockBytes / std::max<size_t>(recordLen_, 1), 1, kBlockRecords)),
          block_(recordLen_ * std::min<size_t>(blockRecords_, count_) + kWordSlack) {}
    ~RecordReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    bool Ok() const { return fd_ >= 0; }
    bool Failed() const { return failed_; }

    size_t RecordLen() const { return recordLen_; }

    // The next block of records: how many (0 after the last one or on a
    // failure), the first at *first and the others after it.
    size_t NextBlock(const uint8_t** first) {
        if (next_ > count_) return 0;
        size_t n = std::min<size_t>(blockRecords_, count_ - next_ + 1);
        size_t want = n * recordLen_;
        uint64_t at = headerLen_ + uint64_t{next_ - 1} * recordLen_;
        // A file that ends before the records its header counts is a failure too.
        if (rt::ReadAt(fd_, block_.data(), want, at).bytes != want) {
            failed_ = true;
            return 0;
        }
        next_ += static_cast<uint32_t>(n);
        *first = block_.data();
        return n;
    }

private:
    // 4,096 records, or fewer of a wide table: a block of records that
    // are kilobytes long each stays a few hundred kilobytes.
    static constexpr size_t kBlockRecords = 4096;
    static constexpr size_t kBlockBytes = size_t{256} << 10;

    int fd_;
    size_t recordLen_;
    uint64_t headerLen_;
    uint32_t count_;
    uint32_t next_ = 1;
    size_t blockRecords_;
    std::vector<uint8_t> block_;
    bool failed_ = false;
};

// A table opened for the export, with its field list looked up, that
// writes its live records as CSV text to a sink a chunk (a quarter of a
// megabyte or a little more) at a time.
class CsvSource {
public:
    ~CsvSource() {
        if (db_) db_->Close();
    }

    // Opens the table shared and read-only (an export never changes it, and
    // a read-only open is always a shared one) and looks up every name of
    // the list once, before any record is read: a name the table does not
    // have fails the export instead of every record.
    CsvFault Open(const std::string& table, rt::Usual& fieldList) {
        if (!fieldList.IsArray()) fieldList = rt::Usual::Array();
        auto db = rt::New<rdd::DBServer>();
        if (!db->Init(rt::Usual(table), rt::Usual(true), rt::Usual(true))) return {CsvFault::kTableNotOpened, 0, {}};
        db_ = db;
        if (fieldList.ALen() == 0) {
            rt::Usual structure = db->DBStruct();
            for (size_t i = 1; i <= structure.ALen(); ++i)
                fieldList.AAdd(rt::Usual(rt::PadR(rt::Upper(structure.At(i).At(1).AsStr()), 10)));
        }
        db->LastRec();  // the count as it stands now
        const rdd::dbf::Table& engine = *db->Engine();
        for (size_t i = 1; i <= fieldList.ALen(); ++i) {
            const rt::Usual& entry = fieldList.At(i);
            std::string name = entry.IsString() ? rt::Trim(entry.AsStr()) : rt::AsString(entry);
            int64_t pos = entry.IsString() ? db->FieldPos(rt::Usual(name)) : 0;
            if (pos == 0) return {CsvFault::kNoSuchField, 0, name};
            const rdd::dbf::FieldDesc& f = engine.Fields()[static_cast<size_t>(pos - 1)];
            const auto width = static_cast<size_t>(f.width);
            const bool word = width >= 1 && width <= kWordField;
            const bool count = rt::Upper(rt::Trim(f.name)) == kCountField;
            Kind kind = f.type != 'C' ? Kind::kOther
                        : count       ? (word ? Kind::kCount16 : Kind::kCount)
                                      : (word ? Kind::kText16 : Kind::kText);
            fields_.push_back({&f, kind, static_cast<size_t>(f.offset), width, word ? FieldBits(width) : 0});
            lineMax_ += width + 1;
        }
        allWords_ = !fields_.empty() && std::all_of(fields_.begin(), fields_.end(), [](const Field& f) {
            return f.kind == Kind::kText16 || f.kind == Kind::kCount16;
        });
        return {};
    }

    // The records are read in blocks straight from the file while the open
    // above holds the table (its shared lock keeps exclusive writers out),
    // rather than one read per record through the server. sink answers 0 or
    // the errno of a failed write, which ends the writing (osError); it is
    // called on a thread of the writer's, one chunk after the other.
    CsvFault Write(const rt::ReplaceSink& sink, int64_t* records) {
        RecordReader reader(*db_->Engine());
        if (!reader.Ok()) return {CsvFault::kReadFailed, 0, {}};
        const size_t line = LineMax();
        // A chunk, or less for a table whose text is smaller.
        CsvOut out(std::min(kChunk, size_t{Count()} * line) + line);
        // Each full chunk is written while the next one is made.
        WriteBehind writer(sink);
        int64_t count = 0;
        const uint8_t* rec = nullptr;
        for (size_t n = reader.NextBlock(&rec); n > 0; n = reader.NextBlock(&rec)) {
            const size_t len = reader.RecordLen();
            for (const uint8_t* end = rec + n * len; rec < end; rec += len) {
                if (allWords_ && (rec = CopyPlainRecords(out, rec, end, len, &count)) == end) break;
                if (rec[0] == rdd::dbf::kDeletedFlag) continue;
                AppendRecord(out, rec);
                ++count;
            }
            if (out.Size() >= kChunk) {
                if (int err = writer.Put(out.Buffer(), out.Size())) return {CsvFault::kWriteFailed, err, {}};
                out.Clear();
            }
        }
        if (reader.Failed()) return {CsvFault::kReadFailed, 0, {}};
        if (int err = writer.Finish(out.Buffer(), out.Size())) return {CsvFault::kWriteFailed, err, {}};
        if (records) *records = count;
        return {};
    }

    uint32_t Count() const { return db_->Engine()->Count(); }
    size_t LineMax() const { return lineMax_ + 2; }

private:
    // Small enough for the processor's cache to still hold a chunk when the
    // writer copies it to the file, and the few buffers cost few page faults.
    static constexpr size_t kChunk = size_t{1} << 18;
    // Character fields of up to 16 bytes are tested as one word (kText16,
    // kCount16); wider ones eight bytes at a time.
    enum class Kind { kText16, kCount16, kText, kCount, kOther };
    struct Field {
        const rdd::dbf::FieldDesc* desc;
        Kind kind;
        size_t offset, width;
        uint32_t bits;  // FieldBits(width) of a field tested as one word
    };

    // The lines of the records from rec up to end, as long as every field
    // is a word field that needs no more than a copy: the first record one
    // of whose fields needs more (nothing of it written), or end. *count
    // counts the lines. No call in the loop, so the compare constants stay
    // in registers; room for every line is made before it.
    const uint8_t* CopyPlainRecords(CsvOut& out, const uint8_t* rec, const uint8_t* end, size_t len, int64_t* count) {
        const size_t line = lineMax_ + 2;
        char* w = out.Room(static_cast<size_t>(end - rec) / len * line);
        // Locals rather than members: after a store through a char pointer
        // members would be read from memory again.
        const Field* const first = fields_.data();
        const Field* const last = first + fields_.size();
        int64_t lines = 0;
        for (; rec < end; rec += len) {
            if (rec[0] == rdd::dbf::kDeletedFlag) continue;
            char* const start = w;
            for (const Field* f = first; f < last; ++f) {
                const uint8_t* p = rec + f->offset;
                if (f->kind == Kind::kCount16) w = CopyPlainCount16(w, p, f->bits);
                else w = CopyPlainText16(w, p, f->bits);
                if (!w) {
                    w = start;
                    break;
                }
                *w++ = ',';
            }
            if (w == start) break;
            w[-1] = '\r';  // in place of the comma after the last field
            *w++ = '\n';
            ++lines;
        }
        out.EndAt(w);
        *count += lines;
        return rec;
    }

    // A record's line, each field as its type and bytes need.
    void AppendRecord(CsvOut& out, const uint8_t* rec) {
        const rdd::dbf::Table& engine = *db_->Engine();
        const rt::CodePage& cp = engine.TextCodePage();
        // Room for the line as the fields' bytes give it; a field that needs
        // more than a copy goes through `out` and makes room again.
        const size_t line = lineMax_ + 2;
        char* w = out.Room(line);
        for (size_t i = 0; i < fields_.size(); ++i) {
            if (i) *w++ = ',';
            const Field& f = fields_[i];
            const uint8_t* p = rec + f.offset;
            char* fast = nullptr;
            switch (f.kind) {
                case Kind::kText16: fast = CopyPlainText16(w, p, f.bits); break;
                case Kind::kCount16: fast = CopyPlainCount16(w, p, f.bits); break;
                case Kind::kText: fast = CopyPlainText(w, p, f.width); break;
                case Kind::kCount: fast = CopyPlainCount(w, p, f.width); break;
                case Kind::kOther: break;
            }
            if (fast) {
                w = fast;
                continue;
            }
            out.EndAt(w);
            switch (f.kind) {
                case Kind::kText16:
                case Kind::kText: AppendCleanText(out, p, f.width, cp); break;
                case Kind::kCount16:
                case Kind::kCount: AppendCount(out, p, f.width, cp); break;
                case Kind::kOther: out.Append(CsvValue(rdd::dbf::DecodeField(*f.desc, p, cp, engine.Memo()))); break;
            }
            w = out.Room(line);
        }
        *w++ = '\r';
        *w++ = '\n';
        out.EndAt(w);
    }

    std::shared_ptr<rdd::DBServer> db_;
    std::vector<Field> fields_;
    size_t lineMax_ = 0;
    bool allWords_ = false;  // every field a kText16 or kCount16 one
};

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

bool IsDecimalNumber(std::string_view t) {
    size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    bool digits = false, mark = false;
    for (; i < t.size(); ++i) {
        if (t[i] >= '0' && t[i] <= '9') digits = true;
        else if ((t[i] == ',' || t[i] == '.') && !mark) mark = true;
        else return false;
    }
    return digits;
}

void AppendCleanText(std::string& out, const uint8_t* p, size_t n, const rt::CodePage& cp) {
    size_t b, e;
    TrimBlanks(p, n, b, e);
    if (!AnySpecial(p + b, e - b)) {
        out.append(reinterpret_cast<const char*>(p + b), e - b);
        return;
    }
    std::string text;
    cp.Decode(p, n, text);
    out += CleanText(text);
}

std::string ProposedCsvName(std::string_view name) {
    std::string result(name);
    if (rt::At(".CSV", rt::Upper(result)) == 0) result += ".csv";
    return result;
}

std::string CsvValue(const rt::Usual& v) {
    if (v.IsString()) return CleanText(v.AsStr());
    if (v.IsLong()) return rt::Str(v);
    if (v.IsFloat()) return FloatText(v);
    if (v.IsDate()) return rt::DToC(v.AsDate());
    if (v.IsLogic()) return v.AsLogic() ? "Y" : "N";
    return "???";
}

CsvFault ReadTableAsCsv(const std::string& table, rt::Usual& fieldList, std::string& csv, int64_t* records) {
    csv.clear();
    if (records) *records = 0;
    CsvSource source;
    if (CsvFault f = source.Open(table, fieldList)) return f;
    csv.reserve(std::min<size_t>(size_t{source.Count()} * source.LineMax(), size_t{1} << 30));
    return source.Write(
        [&](std::string_view piece) {
            csv.append(piece);
            return 0;
        },
        records);
}

CsvFault TableToCsvFile(const std::string& table, const std::string& csvFile, rt::Usual& fieldList, int64_t* records) {
    int err = 0;
    if (SameFile(rdd::TablePath(table, false), NativeTarget(csvFile, &err))) return {CsvFault::kSameFile, 0, {}};
    if (records) *records = 0;
    CsvSource source;
    if (CsvFault f = source.Open(table, fieldList)) return f;
    // Each chunk goes to the new file as soon as it is made; the name
    // gets the file only once it is whole and on the disk.
    CsvFault fault;
    err = ReplaceFileContentAsMade(csvFile, [&](const rt::ReplaceSink& sink) {
        fault = source.Write(sink, records);
        return fault ? (fault.osError ? fault.osError : -1) : 0;
    });
    if (fault.kind == CsvFault::kReadFailed) return fault;
    if (err != 0) return {CsvFault::kWriteFailed, err, {}};
    return {};
}

std::string DescribeFault(const CsvFault& fault, const std::string& table, const std::string& csvFile) {
    const std::string nothing = " Nothing was exported.";
    switch (fault.kind) {
        case CsvFault::kNone: return {};
        case CsvFault::kTableNotOpened: return "Unable to open " + table + "." + nothing;
        case CsvFault::kNoSuchField:
            return "Unable to export " + table + ": it has no field named \"" + fault.detail + "\"." + nothing;
        case CsvFault::kReadFailed: return "Unable to read every record of " + table + "." + nothing;
        case CsvFault::kSameFile: return "Unable to write " + csvFile + ": it is the table being exported." + nothing;
        case CsvFault::kWriteFailed:
            return "Unable to write " + csvFile + ". " + rt::DosErrString(fault.osError) + nothing;
    }
    return {};
}

}  // namespace exportdata
