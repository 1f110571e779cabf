// qzdbf: a command-line tool on the program's table engine, for people and
// scripts. See Usage() for the commands; errors go to stderr; exit codes:
// 0 done, 1 the operation failed (file, table or value), 2 wrong usage.
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "export/csv.h"
#include "export/recover.h"
#include "export/totals.h"
#include "platform/rdd/dbffield.h"
#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbserver.h"
#include "platform/rdd/rdd.h"
#include "platform/runtime/error.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* const kUsageText =
    "usage: qzdbf COMMAND FILE [ARGS...]\n"
    "\n"
    "commands:\n"
    "  info FILE                       header, fields, record counts, code page and\n"
    "                                  any problems found (torn record, missing marker)\n"
    "  dump FILE                       every record, tab separated: number, deletion\n"
    "                                  flag (* deleted), then the fields\n"
    "  create FILE NAME:TYPE:LEN[:DEC]...\n"
    "                                  a new empty table (replaces FILE); TYPE is C, N,\n"
    "                                  F, D or L (D and L need no LEN)\n"
    "  append FILE VALUE...            adds one record, values in field order (dates as\n"
    "                                  YYYYMMDD, logic as T or F), committed durably\n"
    "                                  before the tool exits 0; prints its number\n"
    "  delete FILE RECNO               marks a record deleted, durably\n"
    "  recode-utf8 FILE                text that earlier builds stored as UTF-8 bytes,\n"
    "                                  rewritten in the table's code page; prints the\n"
    "                                  fields changed and those left (no such character)\n"
    "  export FILE OUT.csv [FIELD...]  the live records as the program's CSV export\n"
    "                                  writes them (all fields, or the ones named);\n"
    "                                  OUT.csv is replaced only once written whole\n"
    "  recover FILE OUT                the intact records of a damaged table (cut short,\n"
    "                                  a header counting lost records) into the new table\n"
    "                                  OUT; says what was recovered and what was dropped;\n"
    "                                  FILE is only read\n"
    "  totals OUT.csv TABLE...         per-barcode totals of scan tables (BARCODE, QTY):\n"
    "                                  barcode, total count, scans, tables it came from;\n"
    "                                  live records only, sorted by barcode; counts read\n"
    "                                  as the export reads them (1,5 = 1.5). Counts that\n"
    "                                  are not numbers go to OUT-rejects.csv instead (table,\n"
    "                                  record number, barcode, count; written, empty too,\n"
    "                                  before OUT.csv). Tables are read without a lock, so\n"
    "                                  an open scanning screen is not disturbed. OUT.csv\n"
    "                                  is left as it was when a table cannot be read or\n"
    "                                  a file cannot be written (see docs/export.md)\n"
    "\n"
    "Text is shown and taken as UTF-8 and stored in the table's code page (header\n"
    "byte 29; none stated reads as Windows-1252); CSV files are written in UTF-8.\n"
    "A character the code page cannot hold is refused.\n"
    "\n"
    "exit codes: 0 done, 1 the operation failed, 2 wrong usage\n"
    "\n"
    "  --help     shows this help\n"
    "  --version  shows the version\n";

int Usage(bool error) {
    std::fputs(kUsageText, error ? stderr : stdout);
    return error ? kUsage : kOk;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "qzdbf: %s\n", message.c_str());
    return kFailed;
}

// Every runtime error is reported on stderr and answered "give up".
bool gFailed = false;
void InstallErrorBlock() {
    rt::ErrorBlock(rt::Usual::Block([](rt::Args a) {
        auto e = std::dynamic_pointer_cast<rt::Error>(a[0].AsObject());
        gFailed = true;
        if (e) {
            std::string text = std::string(rt::ErrString(e->GenCode));
            std::fprintf(stderr, "qzdbf: %s: %s\n", text.c_str(), e->Description.c_str());
        }
        return rt::Usual(false);
    }));
}

std::string Escape(const std::string& s) {
    std::string r;
    for (char c : s) {
        if (c == '\t') r += "\\t";
        else if (c == '\n') r += "\\n";
        else if (c == '\r') r += "\\r";
        else if (c == '\\') r += "\\\\";
        else r += c;
    }
    return r;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// A field's value as text for dump.
std::string Show(const rdd::dbf::FieldDesc& f, const rt::Usual& v) {
    if (v.IsString()) return Escape(f.type == 'C' ? TrimRight(v.AsStr()) : v.AsStr());
    if (v.IsLogic()) return v.AsLogic() ? "T" : "F";
    if (v.IsDate()) {
        if (v.AsDate().IsEmpty()) return "";
        int y, m, d;
        rdd::dbf::CivilFromJulian(v.AsDate().julian, y, m, d);
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
        return buf;
    }
    if (v.IsLong()) return std::to_string(v.AsLong());
    if (v.IsFloat()) {
        // "C"-locale digits whatever the environment's locale.
        char buf[400];
        auto r = std::to_chars(buf, buf + sizeof buf, v.AsDouble(), std::chars_format::fixed, f.decimals);
        return r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("*");
    }
    return "";
}

std::shared_ptr<rdd::DBServer> OpenTable(const std::string& file, bool readOnly) {
    auto db = rt::New<rdd::DBServer>(rt::Usual(file), rt::Usual(readOnly), rt::Usual(readOnly));
    return db->Used() ? db : nullptr;
}

int Info(const std::string& file) {
    rt::SetDeleted(false);
    auto db = OpenTable(file, true);
    if (!db) return kFailed;
    const rdd::dbf::Table& t = *db->Engine();
    const rdd::dbf::Layout& h = t.Header();
    int64_t deleted = 0;
    for (db->GoTop(); !db->Eof(); db->Skip(rt::Usual(1)))
        if (db->Deleted()) ++deleted;
    std::printf("file:          %s\n", t.Path().c_str());
    std::printf("version:       0x%02X\n", h.version);
    std::printf("last update:   %04d-%02d-%02d\n", h.year, h.month, h.day);
    std::printf("records:       %u (header says %u)\n", t.Count(), h.headerCount);
    std::printf("deleted:       %lld\n", static_cast<long long>(deleted));
    std::printf("header length: %u\n", h.headerLen);
    std::printf("record length: %u\n", h.recordLen);
    if (int number = rdd::dbf::CodePageNumber(h.codePage))
        std::printf("code page:     0x%02X (%d, text read as %s)\n", h.codePage, number,
                    t.TextCodePage().Name().c_str());
    else
        std::printf("code page:     0x%02X (none stated, text read as %s)\n", h.codePage,
                    t.TextCodePage().Name().c_str());
    if (t.Memo()) std::printf("memo file:     %s\n", t.Memo()->Path().c_str());
    std::printf("fields:        %zu\n", t.Fields().size());
    for (const auto& f : t.Fields()) std::printf("  %-10s %c %3d %2d\n", f.name.c_str(), f.type, f.width, f.decimals);
    if (t.Notes().empty()) {
        std::printf("problems:      none\n");
    } else {
        std::printf("problems:\n");
        for (const std::string& n : t.Notes()) std::printf("  %s\n", n.c_str());
    }
    return gFailed ? kFailed : kOk;
}

int Dump(const std::string& file) {
    rt::SetDeleted(false);
    auto db = OpenTable(file, true);
    if (!db) return kFailed;
    const auto& fields = db->Engine()->Fields();
    std::printf("#\tDEL");
    for (const auto& f : fields) std::printf("\t%s", f.name.c_str());
    std::printf("\n");
    for (db->GoTop(); !db->Eof(); db->Skip(rt::Usual(1))) {
        std::printf("%lld\t%s", static_cast<long long>(db->RecNo()), db->Deleted() ? "*" : "");
        for (size_t i = 0; i < fields.size(); ++i)
            std::printf("\t%s", Show(fields[i], db->FieldGet(rt::Usual(static_cast<int64_t>(i + 1)))).c_str());
        std::printf("\n");
    }
    return gFailed ? kFailed : kOk;
}

int Create(const std::string& file, const std::vector<std::string>& fieldDefs) {
    if (fieldDefs.empty()) return Usage(true);
    rt::Usual structure = rt::Usual::Array();
    for (const std::string& fieldDef : fieldDefs) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (;;) {
            size_t colon = fieldDef.find(':', start);
            parts.push_back(fieldDef.substr(start, colon - start));
            if (colon == std::string::npos) break;
            start = colon + 1;
        }
        if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1) {
            std::fprintf(stderr, "qzdbf: field %s is not NAME:TYPE:LEN[:DEC]\n", fieldDef.c_str());
            return kUsage;
        }
        char type = static_cast<char>(std::toupper(static_cast<unsigned char>(parts[1][0])));
        long width = type == 'D' ? 8 : type == 'L' ? 1 : -1;
        long dec = 0;
        char* end = nullptr;
        if (parts.size() >= 3) {
            width = std::strtol(parts[2].c_str(), &end, 10);
            if (parts[2].empty() || *end) width = -1;
        }
        if (parts.size() == 4) {
            dec = std::strtol(parts[3].c_str(), &end, 10);
            if (parts[3].empty() || *end) dec = -1;
        }
        if (width < 0 || dec < 0) {
            std::fprintf(stderr, "qzdbf: field %s needs a width (and decimals) as numbers\n", fieldDef.c_str());
            return kUsage;
        }
        structure.AAdd(
            rt::Usual::Array({rt::Usual(parts[0]), rt::Usual(std::string(1, type)), rt::Usual(width), rt::Usual(dec)}));
    }
    rt::Usual r = rdd::DBCreate(file, structure);
    return r.IsLogic() && r.AsLogic() && !gFailed ? kOk : kFailed;
}

// The typed value of a command-line text for a field.
bool Parse(const rdd::dbf::FieldDesc& f, const std::string& text, rt::Usual& out) {
    switch (f.type) {
        case 'C': out = rt::Usual(text); return true;
        case 'N':
        case 'F': {
            if (text.empty()) {
                out = rt::Usual();
                return true;
            }
            // The number is read in the "C" locale whatever the environment's.
            std::string_view n(text);
            if (n[0] == '+') n.remove_prefix(1);
            const char* last = n.data() + n.size();
            if (f.decimals == 0 && n.find_first_of(".eE") == std::string_view::npos) {
                int64_t whole = 0;
                auto r = std::from_chars(n.data(), last, whole);
                if (r.ec != std::errc() || r.ptr != last) return false;
                out = rt::Usual(whole);
                return true;
            }
            double d = 0;
            auto r = std::from_chars(n.data(), last, d, std::chars_format::general);
            if (r.ec != std::errc() || r.ptr != last) return false;
            out = rt::Usual(d);
            return true;
        }
        case 'D': {
            if (text.empty()) {
                out = rt::Usual(rt::Date{});
                return true;
            }
            if (text.size() != 8 || text.find_first_not_of("0123456789") != std::string::npos) return false;
            int y = std::stoi(text.substr(0, 4)), m = std::stoi(text.substr(4, 2)), d = std::stoi(text.substr(6, 2));
            int32_t j = rdd::dbf::JulianFromCivil(y, m, d);
            int cy, cm, cd;
            rdd::dbf::CivilFromJulian(j, cy, cm, cd);
            if (cy != y || cm != m || cd != d) return false;
            out = rt::Usual(rt::Date{j});
            return true;
        }
        case 'L':
            if (text == "T" || text == "t" || text == "Y" || text == "y") out = rt::Usual(true);
            else if (text == "F" || text == "f" || text == "N" || text == "n" || text.empty()) out = rt::Usual(false);
            else return false;
            return true;
        default: return false;
    }
}

int Append(const std::string& file, const std::vector<std::string>& values) {
    auto db = OpenTable(file, false);
    if (!db) return kFailed;
    const auto& fields = db->Engine()->Fields();
    if (values.size() > fields.size())
        return Fail("the table has " + std::to_string(fields.size()) + " fields, " + std::to_string(values.size()) +
                    " values were given");
    std::vector<rt::Usual> typed(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        if (!Parse(fields[i], values[i], typed[i]))
            return Fail("value \"" + values[i] + "\" does not suit field " + fields[i].name + " of type " +
                        std::string(1, fields[i].type));
        // Every value is checked before the record is added: a refused value
        // must not leave a half-filled record behind.
        std::vector<uint8_t> bytes(static_cast<size_t>(fields[i].width));
        if (rdd::dbf::Fault f = rdd::dbf::EncodeField(fields[i], typed[i], bytes.data(), db->Engine()->TextCodePage()))
            return Fail(f.description);
    }
    if (!db->Append()) return kFailed;
    for (size_t i = 0; i < typed.size(); ++i) {
        db->FieldPut(rt::Usual(static_cast<int64_t>(i + 1)), typed[i]);
    }
    if (!db->Commit() || gFailed) return kFailed;
    int64_t recno = db->RecNo();
    if (!db->Close() || gFailed) return kFailed;
    std::printf("%lld\n", static_cast<long long>(recno));
    return kOk;
}

int Delete(const std::string& file, const std::string& recnoText) {
    char* end = nullptr;
    long long recno = std::strtoll(recnoText.c_str(), &end, 10);
    if (recnoText.empty() || *end || recno < 1) {
        std::fprintf(stderr, "qzdbf: %s is not a record number\n", recnoText.c_str());
        return kUsage;
    }
    rt::SetDeleted(false);
    auto db = OpenTable(file, false);
    if (!db) return kFailed;
    if (recno > db->LastRec())
        return Fail("record " + std::to_string(recno) + " does not exist (the table holds " +
                    std::to_string(db->LastRec()) + ")");
    db->GoTo(recno);
    if (!db->Delete() || !db->Close() || gFailed) return kFailed;
    return kOk;
}

// Whether bytes are UTF-8 with at least one character beyond ASCII: text
// that earlier builds stored without converting it.
bool StoredAsUtf8(const std::string& bytes) {
    if (rt::IsAscii(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) return false;
    for (size_t i = 0, len = 0; i < bytes.size(); i += len) {
        rt::NextCodePoint(bytes, i, len);
        if (len == 0) return false;
    }
    return true;
}

// Character fields holding UTF-8 bytes are rewritten in the table's code
// page. Only single-byte code pages: there every field's bytes come back
// from its text exactly, so a field that is not UTF-8 is never touched.
int RecodeUtf8(const std::string& file) {
    rt::SetDeleted(false);
    auto db = OpenTable(file, false);
    if (!db) return kFailed;
    const rdd::dbf::Table& t = *db->Engine();
    const rt::CodePage& cp = t.TextCodePage();
    if (!cp.SingleByte()) return Fail("the table's code page " + cp.Name() + " is not a single-byte one");
    long long changed = 0, left = 0;
    for (db->GoTop(); !db->Eof() && !gFailed; db->Skip(rt::Usual(1))) {
        for (size_t i = 0; i < t.Fields().size(); ++i) {
            if (t.Fields()[i].type != 'C') continue;
            const rt::Usual pos(static_cast<int64_t>(i + 1));
            std::string bytes, check;
            cp.Encode(db->FieldGet(pos).AsStr(), std::string::npos, bytes);
            if (!StoredAsUtf8(bytes)) continue;
            if (!cp.Encode(bytes, std::string::npos, check).ok) {
                ++left;
                continue;
            }
            db->FieldPut(pos, rt::Usual(bytes));
            ++changed;
        }
    }
    if (gFailed || !db->Commit() || !db->Close() || gFailed) return kFailed;
    std::printf("%lld fields recoded, %lld left as they were\n", changed, left);
    return kOk;
}

// The program's CSV export without its dialogs: the same conversion, with
// the program's date format and deleted records left out.
int Export(const std::string& file, const std::string& csvFile, const std::vector<std::string>& fields) {
    rt::SetDeleted(true);
    rt::SetCentury(true);
    rt::SetDateFrmt("DD/MM/YYYY");
    rt::Usual list = rt::Usual::Array();
    for (const std::string& f : fields) list.AAdd(rt::Usual(f));
    exportdata::CsvFault fault = exportdata::TableToCsvFile(file, csvFile, list);
    if (fault) {
        // An open error has been reported by the error block already.
        if (fault.kind != exportdata::CsvFault::kTableNotOpened || !gFailed)
            Fail(exportdata::DescribeFault(fault, file, csvFile));
        return kFailed;
    }
    return gFailed ? kFailed : kOk;
}

// Totals of several scan tables; a note on stderr when counts were set apart.
int Totals(const std::string& out, const std::vector<std::string>& tables) {
    const size_t n = out.size();
    if (n >= 4 && rt::Upper(out.substr(n - 4)) == ".DBF")
        return Fail("the output " + out + " names a table; give the CSV file first: totals OUT.csv TABLE...");
    exportdata::TotalsSummary summary;
    if (exportdata::TotalsFault fault = exportdata::WriteTotals(tables, out, &summary))
        return Fail(exportdata::DescribeFault(fault));
    std::printf("%zu barcodes, %lld scans from %zu tables\n", summary.barcodes, static_cast<long long>(summary.scans),
                tables.size());
    if (summary.rejects)
        std::fprintf(stderr, "qzdbf: %lld counts are not numbers and are not in the totals; see %s\n",
                     static_cast<long long>(summary.rejects), exportdata::RejectsFileName(out).c_str());
    return kOk;
}

int Recover(const std::string& file, const std::string& out) {
    exportdata::Recovery r = exportdata::RecoverTable(file, out);
    if (r.err) return Fail(r.problem);
    std::printf("recovered %u records (%u of them marked deleted) into %s\n", r.recovered, r.deleted, out.c_str());
    if (r.claimed > r.recovered + r.unreadable)
        std::printf("dropped: %u records the header counted are missing from the file\n",
                    r.claimed - r.recovered - r.unreadable);
    if (r.unreadable) std::printf("dropped: %u records without a valid deletion flag\n", r.unreadable);
    if (r.tornBytes)
        std::printf("dropped: %llu bytes of a record cut short\n", static_cast<unsigned long long>(r.tornBytes));
    if (r.memo) std::printf("note: the memo file was not copied; memo fields of %s refer to it\n", out.c_str());
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage(true);
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") return Usage(false);
    if (args[0] == "--version") {
        std::puts("qzdbf " QZ_VERSION);
        return kOk;
    }
    if (args.size() < 2) return Usage(true);
    InstallErrorBlock();
    const std::string& cmd = args[0];
    const std::string& file = args[1];
    std::vector<std::string> rest(args.begin() + 2, args.end());
    if (cmd == "info" && rest.empty()) return Info(file);
    if (cmd == "dump" && rest.empty()) return Dump(file);
    if (cmd == "create") return Create(file, rest);
    if (cmd == "append") return Append(file, rest);
    if (cmd == "delete" && rest.size() == 1) return Delete(file, rest[0]);
    if (cmd == "recode-utf8" && rest.empty()) return RecodeUtf8(file);
    if (cmd == "export" && !rest.empty())
        return Export(file, rest[0], std::vector<std::string>(rest.begin() + 1, rest.end()));
    if (cmd == "recover" && rest.size() == 1) return Recover(file, rest[0]);
    if (cmd == "totals" && !rest.empty()) return Totals(file, rest);
    return Usage(true);
}
