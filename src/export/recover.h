// Saving what can be saved of a damaged table: the intact records of a
// table file that no longer opens (cut short, a header that counts records
// the file lost) copied into a new table. No Qt.
#pragma once

#include <cstdint>
#include <string>

namespace exportdata {

struct Recovery {
    int err = 0;              // 0, or the Windows error number of the step that failed
    std::string problem;      // why nothing could be recovered, when err is set
    uint32_t recovered = 0;   // records written to the new table (deleted-marked included)
    uint32_t deleted = 0;     // of those, marked deleted
    uint32_t claimed = 0;     // records the damaged header counted
    uint32_t unreadable = 0;  // whole records dropped: no valid deletion flag
    uint64_t tornBytes = 0;   // bytes of a record cut short, dropped
    bool memo = false;        // the table has a memo file, which is not copied
};

// Copies the intact records of the table at `in` into a new table at `out`
// (both application paths, see platform/runtime/paths.h): the same header
// and fields, the record count set to what was recovered, records byte for
// byte. `in` is only read; `out` must not name the same file, and is
// written whole or not at all.
Recovery RecoverTable(const std::string& in, const std::string& out);

}  // namespace exportdata
