#include "export/csv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include <vector>

#include "export/replacefile.h"
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

// The scan data file's count field: a number kept as text.
constexpr const char* kCountField = "QTY";

// A count, trimmed. One that reads as a number is written with a decimal
// point, so that its value does not change ("2,5", stored under a decimal
// comma, is 2.5, never 25). Text that is no number is written as any text,
// except that a comma becomes a blank rather than joining the digits around
// it ("2,5,1" is "2 5 1").
void AppendCount(std::string& out, const uint8_t* p, size_t n, const rt::CodePage& cp) {
    size_t b = 0, e = n;
    while (b < e && p[b] == ' ') ++b;
    while (e > b && p[e - 1] == ' ') --e;
    std::string text(reinterpret_cast<const char*>(p + b), e - b);
    if (IsDecimalNumber(text)) {
        std::replace(text.begin(), text.end(), ',', '.');
        out += text;
        return;
    }
    std::replace(text.begin(), text.end(), ',', ' ');
    AppendCleanText(out, reinterpret_cast<const uint8_t*>(text.data()), text.size(), cp);
}

// The records of an open table, a block at a time, through a descriptor of
// its own.
class RecordReader {
public:
    explicit RecordReader(const rdd::dbf::Table& t)
        : fd_(::open(t.Path().c_str(), O_RDONLY | O_CLOEXEC)),
          recordLen_(t.RecordLen()),
          headerLen_(t.Header().headerLen),
          count_(t.Count()),
          block_(recordLen_ * kBlockRecords) {}
    ~RecordReader() {
        if (fd_ >= 0) ::close(fd_);
    }
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    bool Ok() const { return fd_ >= 0; }
    bool Failed() const { return failed_; }

    // The next record's bytes, nullptr after the last one or on a failure.
    const uint8_t* Next() {
        if (inBlock_ == used_) {
            if (next_ > count_ || !Load()) return nullptr;
        }
        return block_.data() + recordLen_ * inBlock_++;
    }

private:
    static constexpr size_t kBlockRecords = 4096;

    bool Load() {
        size_t n = std::min<size_t>(kBlockRecords, count_ - next_ + 1);
        size_t want = n * recordLen_;
        uint64_t at = headerLen_ + uint64_t{next_ - 1} * recordLen_;
        // A file that ends before the records its header counts is a failure too.
        if (rt::ReadAt(fd_, block_.data(), want, at).bytes != want) {
            failed_ = true;
            return false;
        }
        next_ += static_cast<uint32_t>(n);
        used_ = n;
        inBlock_ = 0;
        return true;
    }

    int fd_;
    size_t recordLen_;
    uint64_t headerLen_;
    uint32_t count_;
    uint32_t next_ = 1;
    std::vector<uint8_t> block_;
    size_t used_ = 0, inBlock_ = 0;
    bool failed_ = false;
};

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Closes the table however the reading ends.
struct CloseOnExit {
    rdd::DBServer& db;
    ~CloseOnExit() { db.Close(); }
};

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

// The usual field is ASCII, which reads the same in every code page: its
// trimmed bytes are copied at once; any other field is converted first.
void AppendCleanText(std::string& out, const uint8_t* p, size_t n, const rt::CodePage& cp) {
    size_t b = 0, e = n;
    while (b < e && p[b] == ' ') ++b;
    while (e > b && p[e - 1] == ' ') --e;
    // Bytes that need more than a copy: the removed and replaced characters
    // and every byte beyond ASCII. One lookup a byte, no early exit.
    static constexpr auto kSpecial = [] {
        std::array<uint8_t, 256> t{};
        for (int c = 0x80; c < 256; ++c) t[static_cast<size_t>(c)] = 1;
        for (char c : {',', '"', '|', '\r', '\n'}) t[static_cast<uint8_t>(c)] = 1;
        return t;
    }();
    uint8_t special = 0;
    for (size_t i = b; i < e; ++i) special |= kSpecial[p[i]];
    if (!special) {
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
    if (!fieldList.IsArray()) fieldList = rt::Usual::Array();

    // Read-only: an export never changes the table, and a read-only open is
    // always a shared one.
    auto db = rt::New<rdd::DBServer>();
    if (!db->Init(rt::Usual(table), rt::Usual(true), rt::Usual(true))) return {CsvFault::kTableNotOpened, 0, {}};
    CloseOnExit closer{*db};

    if (fieldList.ALen() == 0) {
        rt::Usual structure = db->DBStruct();
        for (size_t i = 1; i <= structure.ALen(); ++i)
            fieldList.AAdd(rt::Usual(rt::PadR(rt::Upper(structure.At(i).At(1).AsStr()), 10)));
    }
    // Every name is looked up once, before any record is read: a name the
    // table does not have fails the export instead of every record.
    std::vector<rt::Usual> positions;
    for (size_t i = 1; i <= fieldList.ALen(); ++i) {
        const rt::Usual& entry = fieldList.At(i);
        std::string name = entry.IsString() ? rt::Trim(entry.AsStr()) : rt::AsString(entry);
        int64_t pos = entry.IsString() ? db->FieldPos(rt::Usual(name)) : 0;
        if (pos == 0) return {CsvFault::kNoSuchField, 0, name};
        positions.emplace_back(pos);
    }

    // The records are read in blocks straight from the file while the open
    // above holds the table (its shared lock keeps exclusive writers out),
    // rather than one read per record through the server.
    db->LastRec();  // the count as it stands now
    const rdd::dbf::Table& engine = *db->Engine();
    const rt::CodePage& cp = engine.TextCodePage();
    std::vector<const rdd::dbf::FieldDesc*> fields;
    std::vector<bool> isCount;
    size_t lineGuess = 2;
    for (const rt::Usual& pos : positions) {
        fields.push_back(&engine.Fields()[static_cast<size_t>(pos.AsLong() - 1)]);
        isCount.push_back(fields.back()->type == 'C' && rt::Upper(rt::Trim(fields.back()->name)) == kCountField);
        lineGuess += static_cast<size_t>(fields.back()->width) + 1;
    }
    RecordReader reader(engine);
    if (!reader.Ok()) return {CsvFault::kReadFailed, 0, {}};
    csv.reserve(std::min<size_t>(engine.Count() * lineGuess, size_t{1} << 30));
    int64_t count = 0;
    for (const uint8_t* rec = reader.Next(); rec; rec = reader.Next()) {
        if (rec[0] == rdd::dbf::kDeletedFlag) continue;
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i) csv += ',';
            const rdd::dbf::FieldDesc& f = *fields[i];
            if (isCount[i]) AppendCount(csv, rec + f.offset, static_cast<size_t>(f.width), cp);
            else if (f.type == 'C') AppendCleanText(csv, rec + f.offset, static_cast<size_t>(f.width), cp);
            else csv += CsvValue(rdd::dbf::DecodeField(f, rec + f.offset, cp, engine.Memo()));
        }
        csv += "\r\n";
        ++count;
    }
    if (reader.Failed()) return {CsvFault::kReadFailed, 0, {}};
    if (records) *records = count;
    return {};
}

CsvFault TableToCsvFile(const std::string& table, const std::string& csvFile, rt::Usual& fieldList, int64_t* records) {
    int err = 0;
    if (SameFile(rdd::TablePath(table, false), NativeTarget(csvFile, &err))) return {CsvFault::kSameFile, 0, {}};
    std::string csv;
    if (CsvFault f = ReadTableAsCsv(table, fieldList, csv, records)) return f;
    if ((err = ReplaceFileContent(csvFile, csv)) != 0) return {CsvFault::kWriteFailed, err, {}};
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
