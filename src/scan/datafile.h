// The scan data file QZSCAN.DBF in the data directory: one record per
// accepted scan, BARCODE character 15 and QTY character 10 (the count as
// typed, as text).
#pragma once

#include <string>

#include "platform/runtime/usual.h"

namespace scan {

inline constexpr const char* kDataFileName = "QZSCAN.DBF";

// The structure array {{"BARCODE","C",15,0}, {"QTY","C",10,0}}.
rt::Usual ScanStructure();

// The data directory (settings list position 1) followed by "\QZSCAN.DBF".
std::string DataFilePath();

// The scan data file's path, all lower case where that names the same file
// as the path as written (else the path as written); creates the file first
// when the path as written names no file.
std::string GetDataFileName();

// The scan data file as it is on disk (native separators, the letter case of
// its folders and name): what the operator is shown.
std::string DataFileOnDisk();

// Creates the scan data file, empty, replacing any file of that name; the
// table is made as an OEM table (the ANSI setting is switched off for the
// creation and restored, also when the error handler leaves the call).
// Returns whether the file exists afterwards.
bool MakeScannedDataFile();

}  // namespace scan
