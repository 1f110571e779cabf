#include "platform/rdd/indexkey.h"

#include <cmath>
#include <cstring>

#include "platform/runtime/dates.h"

namespace rdd::idx {
namespace {

void PutNumber(double d, std::string& out) {
    if (d == 0.0) d = 0.0;  // -0 and 0 are one key
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    bits = (bits & 0x8000000000000000ULL) ? ~bits : bits ^ 0x8000000000000000ULL;
    for (int i = 7; i >= 0; --i) out.push_back(static_cast<char>((bits >> (i * 8)) & 0xFF));
}

double GetNumber(const uint8_t* b) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | b[i];
    bits = (bits & 0x8000000000000000ULL) ? bits ^ 0x8000000000000000ULL : ~bits;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// Key text in the code page's bytes, every character kept ('?' for one the
// code page cannot hold).
std::string KeyText(const std::string& text, const rt::CodePage& cp) {
    std::string out;
    cp.Encode(text, std::string::npos, out, '?');
    return out;
}

}  // namespace

bool KeyTypeOf(const rt::Usual& v, KeyType& type) {
    if (v.IsString()) type = KeyType::kChar;
    else if (v.IsNumeric()) type = KeyType::kNumber;
    else if (v.IsDate()) type = KeyType::kDate;
    else if (v.IsLogic()) type = KeyType::kLogic;
    else return false;
    return true;
}

size_t KeyWidthOf(const rt::Usual& v, const rt::CodePage& cp) {
    if (v.IsString()) return KeyText(v.AsStr(), cp).size();
    if (v.IsLogic()) return 1;
    return 8;
}

bool EncodeKey(const rt::Usual& v, KeyType type, size_t width, const rt::CodePage& cp, std::string& out) {
    out.clear();
    switch (type) {
        case KeyType::kChar:
            if (!v.IsString()) return false;
            cp.Encode(v.AsStr(), width, out, '?');
            out.resize(width, ' ');
            return true;
        case KeyType::kNumber:
            if (!v.IsNumeric()) return false;
            PutNumber(v.AsDouble(), out);
            return true;
        case KeyType::kDate:
            if (!v.IsDate()) return false;
            out = rt::DToS(v.AsDate());
            return true;
        case KeyType::kLogic:
            if (!v.IsLogic()) return false;
            out.assign(1, v.AsLogic() ? 'T' : 'F');
            return true;
    }
    return false;
}

bool EncodeSeekKey(const rt::Usual& v, KeyType type, size_t width, const rt::CodePage& cp, std::string& out) {
    if (v.IsString() && (type == KeyType::kChar || type == KeyType::kDate)) {
        if (type == KeyType::kChar) out = KeyText(v.AsStr(), cp);
        else out.assign(v.AsStr());
        // Blanks past the key width cannot spoil a match: they are dropped.
        if (out.size() > width && out.find_first_not_of(' ', width) == std::string::npos) out.resize(width);
        return true;
    }
    return EncodeKey(v, type, width, cp, out);
}

rt::Usual DecodeKey(const uint8_t* bytes, KeyType type, size_t width, const rt::CodePage& cp) {
    switch (type) {
        case KeyType::kChar: {
            std::string text;
            cp.Decode(bytes, width, text);
            return rt::Usual(std::move(text));
        }
        case KeyType::kNumber: {
            double d = GetNumber(bytes);
            if (std::trunc(d) == d && std::fabs(d) < 9.0e15) return rt::Usual(static_cast<int64_t>(d));
            return rt::Usual(d);
        }
        case KeyType::kDate: return rt::Usual(rt::SToD(std::string_view(reinterpret_cast<const char*>(bytes), 8)));
        case KeyType::kLogic: return rt::Usual(bytes[0] == 'T');
    }
    return rt::Usual();
}

}  // namespace rdd::idx
