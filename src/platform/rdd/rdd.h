// The table driver layer: the driver list, the default driver, table
// creation, and the list of open tables that a process end closes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/rdd/dbfheader.h"
#include "platform/rdd/fault.h"
#include "platform/runtime/usual.h"

namespace rdd {

// Driver-layer setting numbers.
inline constexpr int kRddDefaultDriver = 102;

// The default driver's name ("DBFCDX" at start). With a non-blank name the
// default becomes that name (upper case); either way the previous default
// is returned.
std::string RDDSetDefault(std::string_view name = {});

// Reads a driver-layer setting; with a value, sets it and returns the
// previous one. Unknown numbers give nil.
rt::Usual RDDInfo(int setting);
rt::Usual RDDInfo(int setting, const rt::Usual& value);

// The drivers stacked for a driver name, base first ({"DBF", "DBFCDX"});
// an empty name stands for the default. Empty for an unknown driver.
std::vector<std::string> RDDStack(std::string_view driver = {});

// The driver layer's create: a new, empty table at a native path from a
// structure, replacing an existing file. A fault says why it failed.
dbf::Fault RDDCreate(const std::string& nativePath, const rt::Usual& structure,
                     const std::vector<std::string>& drivers);

// Creates or replaces a table. The file name is looked for like a table
// name (the default directory when it has no path, ".dbf" when it has no
// extension). On failure an Error with FuncSym DBCREATE goes to the error
// block and its answer is returned (a retry answer tries again); TRUE on
// success.
rt::Usual DBCreate(const std::string& fileName, const rt::Usual& structure, std::string_view driver = {});

// The native path a table name stands for (see DBCreate).
std::string TablePath(std::string_view fileName, bool forCreate);

// Soft seek: a Seek that finds nothing leaves the record pointer on the
// next greater key instead of at the end (default false). Returns the
// previous setting.
bool SetSoftSeek();
bool SetSoftSeek(bool on);

// Closes every open table (committing what they hold). Registered as a quit
// handler, so that a process end through _Quit closes them too.
void RDDCloseAll();

// What RDDCloseAll closes: open tables register themselves.
class OpenTable {
public:
    virtual ~OpenTable() = default;
    virtual void CloseForQuit() = 0;
};
void RegisterOpenTable(OpenTable* t);
void UnregisterOpenTable(OpenTable* t);
size_t OpenTableCount();

}  // namespace rdd
