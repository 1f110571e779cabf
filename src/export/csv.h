// The CSV conversion of a DBF table, shared by the program's export command
// and the qzdbf tool. No Qt, no dialogs.
//
// The file: one line per live record in record-number order, no header line,
// the fields separated by a single comma, every line (the last included)
// ended by CR LF; a table without live records gives an empty file. Values
// are written by their type (CsvValue); the scan data file's count (a
// character field QTY) is written as a number with a decimal point where it
// reads as one. docs/export.md describes the format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/runtime/codepage.h"
#include "platform/runtime/usual.h"

namespace exportdata {

inline constexpr const char* kDefaultCsvName = "QZScan.csv";

// The name proposed in the save dialog: ".csv" is appended unless the
// upper-cased name contains ".CSV" somewhere.
std::string ProposedCsvName(std::string_view name);

// The text of one value:
//   string   commas, double quotes and vertical bars removed, CR and LF made
//            blanks, then blanks removed at both ends;
//   integer  Str(n) (10 positions, right-aligned, not trimmed);
//   float    Str(n, 12, 2), widened rather than starred when too large;
//   date     DToC;  logic "Y" / "N";  anything else "???".
std::string CsvValue(const rt::Usual& value);

// Whether a count (trimmed of blanks) reads as a number: an optional sign,
// then digits with at most one decimal mark, a comma or a point, among them.
bool IsDecimalNumber(std::string_view text);

// A character field's bytes (in the code page cp) appended to out as
// CsvValue writes its text. ASCII without anything to remove is copied
// straight from the bytes.
void AppendCleanText(std::string& out, const uint8_t* p, size_t n, const rt::CodePage& cp);

// What went wrong in an export.
struct CsvFault {
    enum Kind {
        kNone,
        kTableNotOpened,  // the table could not be opened (its Error went to the error block)
        kNoSuchField,     // a name in the field list is not a field of the table (detail)
        kReadFailed,      // moving through the table failed part way
        kSameFile,        // the CSV name is the table itself
        kWriteFailed,     // the CSV file could not be written whole (osError)
    };
    Kind kind = kNone;
    int osError = 0;
    std::string detail;
    explicit operator bool() const { return kind != kNone; }
};

// Reads every live record of the table into CSV text in memory; the table
// is opened shared and read-only and closed before this returns.
// fieldList is an array of field names (trailing blanks ignored); when it is
// empty it is filled with every field's name, upper-cased and padded to 10
// characters, and the caller sees the filled array. *records counts the
// lines.
CsvFault ReadTableAsCsv(const std::string& table, rt::Usual& fieldList, std::string& csv, int64_t* records = nullptr);

// The whole export: the table is read, closed, and only then is the CSV file
// written (docs/export.md: temporary file, then renamed over the name).
CsvFault TableToCsvFile(const std::string& table, const std::string& csvFile, rt::Usual& fieldList,
                        int64_t* records = nullptr);

// One plain sentence (or two) saying what failed, for a message box or stderr.
std::string DescribeFault(const CsvFault& fault, const std::string& table, const std::string& csvFile);

}  // namespace exportdata
