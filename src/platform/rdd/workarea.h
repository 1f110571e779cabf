// Work areas for compiled blocks: the current data server, whose fields a
// bare name in a block reads (NAME, FIELD->NAME), and servers reached by
// alias (ALIAS->NAME). Any data server answering FIELDPOS, FIELDGET and
// FIELDPUT late-bound can be an area (DBServer, ArrayServer).
#pragma once

#include <string_view>

#include "platform/runtime/usual.h"

namespace rdd {

// Installs the current-area field lookup of the block compiler and the
// area functions of the function table (DELETED, RECNO, EOF, BOF, LASTREC,
// RECCOUNT, DBSELECTAREA). Idempotent.
void InstallWorkAreas();

// Makes a server the current area (NIL: none); returns the previous one.
rt::Usual SelectArea(const rt::Usual& server);
rt::Usual CurrentArea();

// Names a server by alias, letter case ignored (NIL removes the alias).
void SetAlias(std::string_view alias, const rt::Usual& server);
// The server of an alias: an alias set with SetAlias, else the current
// area when its file's base name is the alias; NIL when none.
rt::Usual AliasArea(std::string_view alias);

// Selects a server for the life of the scope and restores the previous
// current area afterwards (an index key evaluated for its own table).
class AreaScope {
public:
    explicit AreaScope(const rt::Usual& server) : previous_(SelectArea(server)) {}
    ~AreaScope() { SelectArea(previous_); }
    AreaScope(const AreaScope&) = delete;
    AreaScope& operator=(const AreaScope&) = delete;

private:
    rt::Usual previous_;
};

}  // namespace rdd
