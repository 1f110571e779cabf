// Wildcard matching and filtered seek: WILDMATCH, WILDPOS, the WILDSEEK
// method of DBServer, and FilterBlock (docs/wildcard.md).
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/rdd/dbserver.h"
#include "platform/runtime/object.h"

namespace lib {

// Whether the whole value matches the whole pattern: "*" any run of
// characters (also none), "?" exactly one; everything else compares exactly
// and case-sensitively. Characters are UTF-8 ("?" takes "é" whole); a byte
// that starts no well-formed character counts as one. Time at most value
// length x pattern length. A value or pattern longer than 65535 characters
// raises a conversion Error and gives FALSE.
bool WildMatch(std::string_view value, std::string_view pattern);

// The position of the pattern's first wildcard as a seek uses it: the first
// "*" (0 when none), or an earlier "?" when the "*" is not the first
// character. A pattern with "?" but no "*" gives 0.
int64_t WildPos(std::string_view pattern);

// Positions the server on the first record, in the current order, whose key
// matches the pattern: a seek of the literal prefix, then a scan forward
// while the keys keep that prefix. Keys that are no text (and patterns
// without "*") are a plain Seek.
bool WildSeek(rdd::DBServer& db, const rt::Usual& key);

// A data server and a condition block, evaluated later as one unit.
class FilterBlock : public rt::Object {
    QZ_OBJECT(FilterBlock)
public:
    FilterBlock() = default;
    rt::ObjectRef Init(const rt::Usual& server, const rt::Usual& condition);
    rt::Usual Eval();  // the condition called with the server; nil after Destroy
    void Destroy();
    void Axit() override { Destroy(); }

    rt::Usual odb;    // ODB
    rt::Usual bexpr;  // BEXPR
};

// Registers FILTERBLOCK, the functions WILDMATCH and WILDPOS, and adds
// WILDSEEK to DBSERVER (idempotent).
void RegisterWildcard();

}  // namespace lib
