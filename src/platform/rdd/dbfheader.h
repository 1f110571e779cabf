// The table header: parsing with every check a damaged or foreign file
// needs, and building the header of a new table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/rdd/fault.h"

namespace rdd::dbf {

struct FieldDesc {
    std::string name;  // upper case as stored
    char type = 'C';
    int width = 0;
    int decimals = 0;
    size_t offset = 0;  // from the record start (the deletion flag is byte 0)
};

enum class MemoKind { kNone, kDbt, kFpt };

struct Layout {
    uint8_t version = 0;
    uint8_t codePage = 0;
    int year = 0, month = 0, day = 0;  // last update
    uint32_t headerCount = 0;          // record count as the header states it
    uint16_t headerLen = 0;
    uint16_t recordLen = 0;
    std::vector<FieldDesc> fields;
    MemoKind memo = MemoKind::kNone;
};

// Whether the version byte is one this engine reads.
bool KnownVersion(uint8_t version);

// The header length the 32-byte header announces, or 0 when fewer than 32
// bytes are given.
size_t AnnouncedHeaderLen(std::span<const uint8_t> bytes);

// Parses the header and descriptors. `bytes` holds the start of the file (at
// least the announced header length when the file is that long); fileSize is
// the whole file's size. On a fault, `fault` names what is wrong.
bool ParseHeader(std::span<const uint8_t> bytes, uint64_t fileSize, Layout& out, Fault& fault);

// Checks a structure for creation and fills in offsets; a fault names the
// first bad field.
bool CheckStructure(std::vector<FieldDesc>& fields, Fault& fault);

// The header bytes of a new, empty table (terminator included).
std::vector<uint8_t> BuildHeader(const std::vector<FieldDesc>& fields, uint8_t codePage, int year, int month, int day);

// Little-endian helpers.
inline uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline void PutLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace rdd::dbf
