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

// Whether a table's records can be read: kInUse when another open holds it
// exclusively (nothing is known of its content), kDamaged when its header
// or records cannot be read (cut short, not a table), kMissing when there
// is no such file.
enum class TableState { kReadable, kInUse, kDamaged, kMissing };
TableState ProbeTable(const std::string& path);

}  // namespace exportdata
