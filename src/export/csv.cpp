#include "export/csv.h"

#include <sys/stat.h>

#include <vector>

#include "export/replacefile.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/oserror.h"
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

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {}, sb {};
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// Closes the table however the reading ends.
struct CloseOnExit {
    rt::DBServer& db;
    ~CloseOnExit() { db.Close(); }
};

}  // namespace

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
    auto db = rt::New<rt::DBServer>();
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

    int64_t count = 0;
    std::string line;
    if (!db->GoTop()) return {CsvFault::kReadFailed, 0, {}};
    while (!db->Eof()) {
        if (!db->Deleted()) {
            line.clear();
            for (size_t i = 0; i < positions.size(); ++i) {
                if (i) line += ',';
                line += CsvValue(db->FieldGet(positions[i]));
            }
            csv += line;
            csv += "\r\n";
            ++count;
        }
        if (!db->Skip(rt::Usual(1))) return {CsvFault::kReadFailed, 0, {}};
    }
    if (records) *records = count;
    return {};
}

CsvFault TableToCsvFile(const std::string& table, const std::string& csvFile, rt::Usual& fieldList,
                        int64_t* records) {
    int err = 0;
    if (SameFile(rt::TablePath(table, false), NativeTarget(csvFile, &err)))
        return {CsvFault::kSameFile, 0, {}};
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
        case CsvFault::kSameFile:
            return "Unable to write " + csvFile + ": it is the table being exported." + nothing;
        case CsvFault::kWriteFailed:
            return "Unable to write " + csvFile + ". " + rt::DosErrString(fault.osError) + nothing;
    }
    return {};
}

}  // namespace exportdata
