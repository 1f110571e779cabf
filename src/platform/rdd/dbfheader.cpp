#include "platform/rdd/dbfheader.h"

#include <cstdio>
#include <set>

#include "platform/rdd/dbflayout.h"
#include "platform/runtime/error.h"

namespace rdd::dbf {
namespace {

std::string Hex(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

bool IsVfp(uint8_t version) {
    return version == kVersionVfp || version == kVersionVfpAuto || version == kVersionVfpVar;
}

Fault Corrupt(std::string what) { return MakeFault(rt::kGenCorruption, std::move(what)); }

// A stored field name: ASCII up to the first NUL, at most ten characters.
bool ReadName(const uint8_t* p, std::string& name) {
    name.clear();
    for (size_t i = 0; i < kDescNameLen && p[i] != 0; ++i) {
        if (p[i] < 0x21 || p[i] > 0x7E) return false;
        char c = static_cast<char>(p[i]);
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        name.push_back(c);
    }
    return !name.empty();
}

}  // namespace

bool KnownVersion(uint8_t version) {
    switch (version) {
        case kVersionDb3:
        case kVersionDb4:
        case kVersionDb5:
        case kVersionVfp:
        case kVersionVfpAuto:
        case kVersionVfpVar:
        case kVersionDb3Memo:
        case kVersionDb4Memo:
        case kVersionFoxMemo: return true;
        default: return false;
    }
}

size_t AnnouncedHeaderLen(std::span<const uint8_t> bytes) {
    return bytes.size() < kHeaderSize ? 0 : Le16(bytes.data() + kOffHeaderLen);
}

bool ParseHeader(std::span<const uint8_t> bytes, uint64_t fileSize, Layout& out, Fault& fault) {
    out = Layout{};
    if (fileSize == 0) {
        fault = Corrupt("the file is empty, not a DBF table");
        return false;
    }
    // The version byte first: a file that is no table at all says so
    // whatever its length.
    if (!bytes.empty() && !KnownVersion(bytes[kOffVersion])) {
        fault = Corrupt("unknown version byte " + Hex(bytes[kOffVersion]) + ": not a DBF table");
        return false;
    }
    if (bytes.size() < kHeaderSize || fileSize < kHeaderSize) {
        fault = Corrupt("truncated header: " + std::to_string(fileSize) + " bytes, a DBF table needs at least 32");
        return false;
    }
    const uint8_t* h = bytes.data();
    out.version = h[kOffVersion];
    // dBASE stores the year less 1900, FoxPro the year of the century.
    out.year = h[kOffDate] < 70 ? 2000 + h[kOffDate] : 1900 + h[kOffDate];
    out.month = h[kOffDate + 1];
    out.day = h[kOffDate + 2];
    out.headerCount = Le32(h + kOffCount);
    out.headerLen = Le16(h + kOffHeaderLen);
    out.recordLen = Le16(h + kOffRecordLen);
    out.codePage = h[kOffCodePage];
    if (out.headerLen < kHeaderSize + 1) {
        fault = Corrupt("header length " + std::to_string(out.headerLen) + " is too short for a DBF header");
        return false;
    }
    if (out.headerLen > fileSize || out.headerLen > bytes.size()) {
        fault = Corrupt("truncated header: the header length is " + std::to_string(out.headerLen) +
                        " bytes but the file holds " + std::to_string(fileSize));
        return false;
    }
    if (out.recordLen < 2) {
        fault = Corrupt("record length " + std::to_string(out.recordLen) + " is too short");
        return false;
    }

    // Descriptors run from offset 32 to the terminator, inside the header.
    size_t pos = kHeaderSize;
    size_t offset = 1;
    bool terminated = false;
    while (pos < out.headerLen) {
        if (h[pos] == kTerminator) {
            terminated = true;
            break;
        }
        if (pos + kDescSize > out.headerLen) break;
        const uint8_t* d = h + pos;
        FieldDesc f;
        size_t n = out.fields.size() + 1;
        if (!ReadName(d + kDescOffName, f.name)) {
            fault = Corrupt("field " + std::to_string(n) + " has no valid name");
            return false;
        }
        f.type = static_cast<char>(d[kDescOffType]);
        if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
        if (f.type < 'A' || f.type > 'Z') {
            fault =
                Corrupt("field " + f.name + " has an invalid type byte " + Hex(static_cast<uint8_t>(d[kDescOffType])));
            return false;
        }
        f.width = d[kDescOffWidth];
        f.decimals = d[kDescOffDecimals];
        // Long character fields keep the high byte of the width in the
        // decimals byte (a common extension).
        if (f.type == 'C' && !IsVfp(out.version) && f.decimals > 0) {
            f.width += f.decimals * 256;
            f.decimals = 0;
        }
        if (f.width == 0) {
            fault = Corrupt("field " + f.name + " has width 0");
            return false;
        }
        f.offset = offset;
        offset += static_cast<size_t>(f.width);
        if (f.type == 'M')
            out.memo = out.version == kVersionFoxMemo || IsVfp(out.version) ? MemoKind::kFpt : MemoKind::kDbt;
        out.fields.push_back(std::move(f));
        pos += kDescSize;
    }
    if (!terminated) {
        fault = Corrupt("field descriptors run past the header length " + std::to_string(out.headerLen));
        return false;
    }
    if (out.fields.empty()) {
        fault = Corrupt("the header describes no fields");
        return false;
    }
    if (offset != out.recordLen) {
        fault = Corrupt("record length " + std::to_string(out.recordLen) + " does not match the fields, which need " +
                        std::to_string(offset));
        return false;
    }
    return true;
}

bool CheckStructure(std::vector<FieldDesc>& fields, Fault& fault) {
    auto bad = [&](const std::string& what) {
        fault = MakeFault(rt::kGenCreate, what);
        return false;
    };
    if (fields.empty()) return bad("the structure has no fields");
    if (kHeaderSize + fields.size() * kDescSize + 1 > kMaxHeaderLen) return bad("the structure has too many fields");
    std::set<std::string> names;
    size_t offset = 1;
    for (size_t i = 0; i < fields.size(); ++i) {
        FieldDesc& f = fields[i];
        std::string label = "field " + std::to_string(i + 1);
        if (f.name.empty() || f.name.size() > kMaxNameChars) return bad(label + " needs a name of 1 to 10 characters");
        for (char& c : f.name) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
            if (!ok) return bad(label + " name " + f.name + " may hold letters, digits and _ only");
        }
        if (f.name[0] >= '0' && f.name[0] <= '9') return bad(label + " name must start with a letter");
        if (!names.insert(f.name).second) return bad("field name " + f.name + " appears twice");
        if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 'a' + 'A');
        switch (f.type) {
            case 'C':
                if (f.width < 1 || f.width > kMaxCharWidth)
                    return bad("field " + f.name + ": character width must be 1 to 254");
                f.decimals = 0;
                break;
            case 'N':
            case 'F':
                if (f.width < 1 || f.width > kMaxNumWidth)
                    return bad("field " + f.name + ": numeric width must be 1 to 20");
                if (f.decimals < 0 || (f.decimals > 0 && f.decimals > f.width - 2))
                    return bad("field " + f.name + ": decimals must leave room for the point");
                break;
            case 'D':
                f.width = 8;
                f.decimals = 0;
                break;
            case 'L':
                f.width = 1;
                f.decimals = 0;
                break;
            default:
                return bad("field " + f.name + ": type " + std::string(1, f.type) +
                           " cannot be created (C, N, F, D and L can)");
        }
        f.offset = offset;
        offset += static_cast<size_t>(f.width);
    }
    if (offset > kMaxRecordLen) return bad("the record would be longer than 65535 bytes");
    return true;
}

std::vector<uint8_t> BuildHeader(const std::vector<FieldDesc>& fields, uint8_t codePage, int year, int month, int day) {
    size_t headerLen = kHeaderSize + fields.size() * kDescSize + 1;
    size_t recordLen = 1;
    for (const FieldDesc& f : fields) recordLen += static_cast<size_t>(f.width);
    std::vector<uint8_t> h(headerLen, 0);
    h[kOffVersion] = kVersionDb3;
    h[kOffDate] = static_cast<uint8_t>(year - 1900);
    h[kOffDate + 1] = static_cast<uint8_t>(month);
    h[kOffDate + 2] = static_cast<uint8_t>(day);
    PutLe32(&h[kOffCount], 0);
    PutLe16(&h[kOffHeaderLen], static_cast<uint16_t>(headerLen));
    PutLe16(&h[kOffRecordLen], static_cast<uint16_t>(recordLen));
    h[kOffCodePage] = codePage;
    for (size_t i = 0; i < fields.size(); ++i) {
        uint8_t* d = &h[kHeaderSize + i * kDescSize];
        const FieldDesc& f = fields[i];
        for (size_t k = 0; k < f.name.size() && k < kMaxNameChars; ++k)
            d[kDescOffName + k] = static_cast<uint8_t>(f.name[k]);
        d[kDescOffType] = static_cast<uint8_t>(f.type);
        d[kDescOffWidth] = static_cast<uint8_t>(f.width);
        d[kDescOffDecimals] = static_cast<uint8_t>(f.decimals);
    }
    h[headerLen - 1] = kTerminator;
    return h;
}

}  // namespace rdd::dbf
