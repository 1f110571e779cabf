// Per-barcode totals over several scan tables (the live scan data file,
// archive copies, other workstations' files): the total count, the number of
// scans and the number of tables each barcode came from, written as CSV in
// the export's conventions, with the counts that are not numbers listed in a
// second file beside it. docs/export.md describes both files. No Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace exportdata {

// What went wrong in a totals run; nothing was written to the totals file.
struct TotalsFault {
    enum Kind {
        kNone,
        kUnreadable,     // a table could not be opened or read, or is damaged (osError, detail)
        kNotScanTable,   // a table has no character field BARCODE or no field QTY (detail)
        kSameTable,      // one table given twice (detail: the other name)
        kOutputIsTable,  // an output file names one of the tables
        kWriteFailed,    // an output file could not be written whole (osError)
    };
    Kind kind = kNone;
    int osError = 0;
    std::string file;    // the table or output file concerned
    std::string detail;  // what is wrong with it
    explicit operator bool() const { return kind != kNone; }
};

struct TotalsSummary {
    size_t barcodes = 0;  // lines of the totals file
    int64_t scans = 0;    // live records summed
    int64_t rejects = 0;  // live records whose count is not a number (lines of the rejects file)
};

// The rejects file beside the totals file: "-rejects" before a final ".csv"
// (any letter case), else "-rejects.csv" appended.
std::string RejectsFileName(const std::string& totalsFile);

// Reads the live records of every table (without locking them: a scanning
// screen that holds a table open is neither blocked nor refused) and writes
// the rejects file, then the totals file, each through the runtime's atomic
// replace. On a fault the totals file is left as it was.
TotalsFault WriteTotals(const std::vector<std::string>& tables, const std::string& totalsFile,
                        TotalsSummary* summary = nullptr);

// One plain sentence saying what failed, for stderr.
std::string DescribeFault(const TotalsFault& fault);

}  // namespace exportdata
