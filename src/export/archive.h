// The archive of the scan data file: a byte-for-byte copy in the data
// directory, named after the date and minute it was made. No Qt.
#pragma once

#include <string>

#include "platform/runtime/dates.h"

namespace exportdata {

// "YYYYMMDDHHMM": the date and the 24-hour time to the minute, leading
// zeros kept (09:05 on 2 March 2024 gives "202403020905").
std::string ArchiveStamp(const rt::CivilTime& t);

// The archive name for a stamp and a sequence number within its minute:
// "<stamp>.dbf" for the first, "<stamp>_2.dbf", "<stamp>_3.dbf", ... for
// later ones, so that a second archive in the same minute never replaces
// the first.
std::string ArchiveFileName(const std::string& stamp, int sequence);

// Copies the scan data file (data directory + "\QZSCAN.DBF") to the first
// free archive name of this minute in the data directory and returns the
// archive's full path (data directory + "\" + name). *osError (when given)
// is 0 after a complete copy, else the Windows error number; a failed copy
// leaves no file under the archive name.
std::string CopyScannedDataFile(int* osError = nullptr);

}  // namespace exportdata
