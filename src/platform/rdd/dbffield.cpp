#include "platform/rdd/dbffield.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/rdd/dbfmemo.h"
#include "platform/runtime/error.h"
#include "platform/runtime/text.h"

namespace rdd::dbf {
namespace {

std::string_view Trimmed(const uint8_t* p, int width) {
    return rt::AllTrimmed(std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(width)));
}

// Numbers in a table are C-locale text ("12.50") whatever the process
// locale: the conversions here never go through the C library's locale
// (under a decimal-comma locale strtod would stop at the "." and snprintf
// would write "12,50").
bool ParseInteger(std::string_view text, long long& out) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && ptr == text.data() + text.size();
}

bool ParseDouble(std::string_view text, double& out) {
    if (!text.empty() && text[0] == '+') text.remove_prefix(1);
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out, std::chars_format::general);
    return ec == std::errc() && ptr == text.data() + text.size();
}

rt::Usual DecodeNumber(const FieldDesc& f, const uint8_t* p) {
    std::string text(Trimmed(p, f.width));
    // A decimal comma, as programs under such a locale write it, reads as
    // the point.
    for (char& c : text)
        if (c == ',') c = '.';
    bool integral = f.decimals == 0 && text.find_first_of(".eE") == std::string::npos;
    long long whole = 0;
    if (integral && ParseInteger(text, whole)) return rt::Usual(static_cast<int64_t>(whole));
    double d = 0.0;
    if (!ParseDouble(text, d) || !std::isfinite(d)) d = 0.0;  // "***" and other junk
    if (f.decimals == 0 && d == std::trunc(d) && std::fabs(d) < 9e15) return rt::Usual(static_cast<int64_t>(d));
    return rt::Usual(rt::Float{d, static_cast<int16_t>(f.width), static_cast<int16_t>(f.decimals)});
}

rt::Usual DecodeDate(const uint8_t* p, int width) {
    if (width < 8) return rt::Usual(rt::Date{});
    int y = 0, m = 0, d = 0;
    for (int i = 0; i < 8; ++i) {
        if (p[i] < '0' || p[i] > '9') return rt::Usual(rt::Date{});
        int digit = p[i] - '0';
        if (i < 4) y = y * 10 + digit;
        else if (i < 6) m = m * 10 + digit;
        else d = d * 10 + digit;
    }
    static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1]) return rt::Usual(rt::Date{});
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (m == 2 && d == 29 && !leap) return rt::Usual(rt::Date{});
    return rt::Usual(rt::Date{JulianFromCivil(y, m, d)});
}

Fault TypeFault(const FieldDesc& f, const rt::Usual& v) {
    return MakeFault(rt::kGenDataType, "field " + f.name + " of type " + std::string(1, f.type) +
                                           " cannot hold a value of type " + rt::TypeString(v.Type()));
}

// The number right-aligned in `width` positions with `decimals` places,
// rounded as printf rounds in the "C" locale; the length it needs, which
// may exceed the width (nothing is cut), or -1 when it does not fit `size`.
int FormatNumber(char* buf, size_t size, const rt::Usual& v, int width, int decimals) {
    char digits[700];
    std::to_chars_result r;
    if (v.IsLong() && decimals == 0) {
        r = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(v.AsLong()));
    } else {
        double d = v.AsDouble();
        r = std::to_chars(digits, digits + sizeof digits, d, std::chars_format::fixed, decimals);
        // A value that rounds to zero keeps no minus sign.
        if (r.ec == std::errc() && digits[0] == '-' &&
            std::string_view(digits + 1, static_cast<size_t>(r.ptr - digits - 1)).find_first_not_of("0.") ==
                std::string_view::npos)
            r = std::to_chars(digits, digits + sizeof digits, 0.0, std::chars_format::fixed, decimals);
    }
    if (r.ec != std::errc()) return -1;
    auto len = static_cast<size_t>(r.ptr - digits);
    size_t total = std::max(len, static_cast<size_t>(std::max(width, 0)));
    if (total >= size) return -1;
    std::memset(buf, ' ', total - len);
    std::memcpy(buf + (total - len), digits, len);
    buf[total] = '\0';
    return static_cast<int>(total);
}

Fault EncodeNumber(const FieldDesc& f, const rt::Usual& v, uint8_t* p) {
    if (!(v.IsLong() && f.decimals == 0) && !std::isfinite(v.AsDouble()))
        return MakeFault(rt::kGenDataWidth, "field " + f.name + " cannot hold an infinite number");
    // Tables made elsewhere may declare numeric fields up to 255 wide: the
    // buffer holds the widest field whole.
    char buf[512];
    int n = FormatNumber(buf, sizeof buf, v, f.width, f.decimals);
    if (n < 0 || n > f.width) {
        std::string shown = n > 0 ? std::string(buf, static_cast<size_t>(n)) : "?";
        shown.erase(0, shown.find_first_not_of(' '));
        return MakeFault(rt::kGenDataWidth, "value " + shown + " does not fit field " + f.name + " (width " +
                                                std::to_string(f.width) + ")");
    }
    std::memcpy(p, buf, static_cast<size_t>(f.width));
    return {};
}

}  // namespace

int32_t JulianFromCivil(int year, int month, int day) {
    int a = (14 - month) / 12;
    int64_t y = int64_t{year} + 4800 - a;
    int64_t m = month + 12 * a - 3;
    return static_cast<int32_t>(day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045);
}

void CivilFromJulian(int32_t julian, int& year, int& month, int& day) {
    int64_t a = int64_t{julian} + 32044;
    int64_t b = (4 * a + 3) / 146097;
    int64_t c = a - 146097 * b / 4;
    int64_t d = (4 * c + 3) / 1461;
    int64_t e = c - 1461 * d / 4;
    int64_t m = (5 * e + 2) / 153;
    day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
    month = static_cast<int>(m + 3 - 12 * (m / 10));
    year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

rt::Usual DecodeField(const FieldDesc& f, const uint8_t* p, const rt::CodePage& cp, const MemoFile* memo) {
    switch (f.type) {
        case 'C': {
            const auto width = static_cast<size_t>(f.width);
            if (rt::IsAscii(p, width)) return rt::Usual(std::string(reinterpret_cast<const char*>(p), width));
            std::string text;
            cp.Decode(p, width, text);
            return rt::Usual(std::move(text));
        }
        case 'N':
        case 'F': return DecodeNumber(f, p);
        case 'D': return DecodeDate(p, f.width);
        case 'L': return rt::Usual(p[0] == 'T' || p[0] == 't' || p[0] == 'Y' || p[0] == 'y');
        case 'M': return rt::Usual(memo ? cp.Decode(memo->Read(p, f.width)) : std::string());
        default: return rt::Usual(std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(f.width)));
    }
}

Fault EncodeField(const FieldDesc& f, const rt::Usual& v, uint8_t* p, const rt::CodePage& cp) {
    const size_t width = static_cast<size_t>(f.width);
    if (v.IsNil()) {
        std::memset(p, ' ', width);
        return {};
    }
    switch (f.type) {
        case 'C': {
            if (!v.IsString()) return TypeFault(f, v);
            std::string bytes;
            rt::CodePage::Encoded r = cp.Encode(v.AsStr(), width, bytes);
            if (!r.ok)
                return MakeFault(rt::kGenDataType, "field " + f.name + " cannot hold \"" + r.bad + "\" (" +
                                                       rt::CodePage::CodePointName(r.bad) +
                                                       "): the table's code page " + cp.Name() +
                                                       " has no such character");
            std::memcpy(p, bytes.data(), bytes.size());
            std::memset(p + bytes.size(), ' ', width - bytes.size());
            return {};
        }
        case 'N':
        case 'F':
            if (!v.IsNumeric()) return TypeFault(f, v);
            return EncodeNumber(f, v, p);
        case 'D': {
            if (!v.IsDate()) return TypeFault(f, v);
            rt::Date d = v.AsDate();
            if (d.IsEmpty()) {
                std::memset(p, ' ', width);
                return {};
            }
            int y, m, day;
            CivilFromJulian(d.julian, y, m, day);
            if (y < 1 || y > 9999)
                return MakeFault(rt::kGenDataWidth, "field " + f.name + ": the year is outside 1 to 9999");
            char buf[16];
            std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, day);
            std::memset(p, ' ', width);
            std::memcpy(p, buf, std::min<size_t>(8, width));
            return {};
        }
        case 'L':
            if (!v.IsLogic()) return TypeFault(f, v);
            p[0] = v.AsLogic() ? 'T' : 'F';
            return {};
        default:
            return MakeFault(rt::kGenUnsupported,
                             "field " + f.name + " of type " + std::string(1, f.type) + " cannot be written");
    }
}

rt::Usual BlankValue(const FieldDesc& f) {
    switch (f.type) {
        case 'C': return rt::Usual(std::string(static_cast<size_t>(f.width), ' '));
        case 'N':
        case 'F':
            if (f.decimals == 0) return rt::Usual(int64_t{0});
            return rt::Usual(rt::Float{0.0, static_cast<int16_t>(f.width), static_cast<int16_t>(f.decimals)});
        case 'D': return rt::Usual(rt::Date{});
        case 'L': return rt::Usual(false);
        default: return rt::Usual(std::string());
    }
}

}  // namespace rdd::dbf
