// The export and restart commands of the shell window, and the export with
// its save dialog. The shell window's CSVEXPORT and DATARESTART methods
// call these.
#pragma once

#include <string>

#include "export/csv.h"
#include "platform/runtime/usual.h"

namespace gui {
class Window;
}

namespace exportdata {

// Exports a table to a CSV file that the operator confirms in the save
// dialog, which proposes csvName (".csv" appended when the upper-cased name
// lacks ".CSV"). fieldList as for ReadTableAsCsv: an empty array is filled
// for the caller. True when the file was written whole; false after cancel
// or an empty name (nothing shown), and after a failure, which is shown in
// an "EXPORT FAILED" box.
bool DBF2CSV(const std::string& table, const std::string& csvName = kDefaultCsvName,
             rt::Usual fieldList = rt::Usual::Array());

// "&Export Data": asks, exports the scan data file, archives it and reminds
// the operator to restart the scan file. A failed export makes no archive; a
// failed archive is shown instead of the reminder.
void CsvExport(gui::Window& shell);

// "&Restart Data": asks, erases the scan data file and makes a new empty
// one. A failure at either step is shown, and "DATA FILE RESTARTED" only
// after both succeeded.
void DataRestart(gui::Window& shell);

}  // namespace exportdata
