// Erasing the scan data file for a restart. No Qt.
#pragma once

#include <string>

namespace exportdata {

// Erases a table file unless some open of it, in this process or another,
// is using it: the table's own locks are taken first (an exclusive open),
// since the file layer's erase does not see them, and held while the file
// is erased. Returns 0, or the Windows error number (32 when the table is
// in use).
int EraseTable(const std::string& path);

}  // namespace exportdata
