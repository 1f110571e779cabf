#include "platform/runtime/numbers.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "platform/runtime/codepage.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/object.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace rt {
namespace {

// A number as decimal digits: value = 0.digits x 10^point, digits without
// leading or trailing zeros (empty for zero). Integers convert exactly,
// doubles through their shortest round-trip form, so that rounding works on
// the digits a reader sees rather than on the binary fraction.
struct Decimal {
    bool negative = false;
    bool finite = true;
    std::string digits;
    int point = 0;

    bool IsZero() const { return digits.empty(); }
};

void Normalise(Decimal& d) {
    size_t first = d.digits.find_first_not_of('0');
    if (first == std::string::npos) {
        d.digits.clear();
        d.point = 0;
        return;
    }
    d.digits.erase(0, first);
    d.point -= static_cast<int>(first);
    d.digits.erase(d.digits.find_last_not_of('0') + 1);
}

Decimal FromInteger(int64_t v) {
    Decimal d;
    d.negative = v < 0;
    uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    d.digits = std::to_string(magnitude);
    d.point = static_cast<int>(d.digits.size());
    Normalise(d);
    return d;
}

Decimal FromDouble(double v) {
    Decimal d;
    if (!std::isfinite(v)) {
        d.finite = false;
        return d;
    }
    if (v == 0) return d;
    d.negative = v < 0;
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
    std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
    size_t e = text.find('e');
    for (char c : text.substr(0, e))
        if (c != '.') d.digits += c;
    int exponent = 0;
    std::string_view expText = text.substr(e + 1);
    if (!expText.empty() && expText[0] == '+') expText.remove_prefix(1);
    std::from_chars(expText.data(), expText.data() + expText.size(), exponent);
    d.point = exponent + 1;
    Normalise(d);
    return d;
}

Decimal FromNumber(const Usual& n) { return n.IsLong() ? FromInteger(n.AsLong()) : FromDouble(n.AsDouble()); }

// Keeps the first `keep` digits, rounding half away from zero (the sign is
// held apart, so rounding the magnitude up is away from zero).
void RoundDigits(Decimal& d, int keep) {
    if (keep >= static_cast<int>(d.digits.size())) return;
    if (keep < 0) {
        d.digits.clear();
        d.point = 0;
        return;
    }
    bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[static_cast<size_t>(i)] == '9') d.digits[static_cast<size_t>(i--)] = '0';
        if (i < 0) {
            d.digits.insert(0, 1, '1');
            ++d.point;
        } else {
            ++d.digits[static_cast<size_t>(i)];
        }
    }
    Normalise(d);
}

void RoundToDecimals(Decimal& d, int decimals) { RoundDigits(d, d.point + decimals); }

// Integer and fraction digits of a rounded decimal; the integer part is ""
// when it is zero.
std::string IntDigits(const Decimal& d) {
    if (d.point <= 0) return {};
    std::string s = d.digits.substr(0, std::min(d.digits.size(), static_cast<size_t>(d.point)));
    s.append(static_cast<size_t>(d.point) - s.size(), '0');
    return s;
}

std::string FracDigits(const Decimal& d, int decimals) {
    std::string s;
    for (int i = 0; i < decimals; ++i) {
        int index = d.point + i;
        s += index >= 0 && index < static_cast<int>(d.digits.size()) ? d.digits[static_cast<size_t>(index)] : '0';
    }
    return s;
}

// "-12.50": the number rounded to `decimals`, without padding.
std::string FixedText(Decimal d, int decimals) {
    RoundToDecimals(d, decimals);
    std::string intPart = IntDigits(d);
    std::string out = d.negative && !d.IsZero() ? "-" : "";
    out += intPart.empty() ? "0" : intPart;
    if (decimals > 0) out += "." + FracDigits(d, decimals);
    return out;
}

// The longest scientific form ("-1.234E+15") that fits `width`, or "".
std::string ScienceText(const Decimal& d, int width) {
    for (int mantissa = std::min(width, 17); mantissa >= 0; --mantissa) {
        Decimal r = d;
        RoundDigits(r, mantissa + 1);
        int exponent = r.IsZero() ? 0 : r.point - 1;
        std::string digits = r.digits;
        digits.resize(static_cast<size_t>(mantissa) + 1, '0');
        std::string out = r.negative && !r.IsZero() ? "-" : "";
        out += digits[0];
        if (mantissa > 0) out += "." + digits.substr(1);
        std::string exp = std::to_string(std::abs(exponent));
        if (exp.size() < 2) exp.insert(0, 1, '0');
        out += (exponent < 0 ? "E-" : "E+") + exp;
        if (static_cast<int>(out.size()) <= width) return out;
    }
    return {};
}

std::string Asterisks(int width) { return std::string(static_cast<size_t>(std::max(width, 1)), '*'); }

bool RequireNumber(const Usual& n, std::string_view operation) {
    if (n.IsNumeric()) return true;
    ErrorRef e = MakeError(kGenArg, operation);
    e->ArgNum = 1;
    e->ArgType = n.Type();
    e->ArgTypeReq = kFloat;
    e->Description = "argument is not a number";
    RaiseError(e);
    return false;
}

std::string StrImpl(const Usual& n, std::optional<int> width, std::optional<int> decimals) {
    if (!RequireNumber(n, "STR")) return {};
    if (width && *width < 1) width.reset();
    if (width) width = std::min(*width, kMaxNumWidth);
    if (decimals) decimals = std::clamp(*decimals, 0, kMaxNumWidth);

    int dec = 0;
    int intPositions = 10;
    if (n.IsFloat()) {
        Float f = n.AsFloat();
        if (decimals) dec = *decimals;
        else if (width) dec = 0;
        else if (SetFixed() || f.decimals < 0) dec = SetDecimal();
        else dec = f.decimals;
        if (f.width > 0) intPositions = f.width - (f.decimals > 0 ? f.decimals + 1 : 0);
    } else {
        dec = decimals.value_or(0);
    }
    dec = std::min(dec, kMaxNumWidth);
    int defaultWidth = std::max(intPositions, 1) + (dec > 0 ? dec + 1 : 0);

    Decimal d = FromNumber(n);
    int field = width.value_or(defaultWidth);
    if (!d.finite) return Asterisks(field);
    std::string text = FixedText(d, dec);
    if (static_cast<int>(text.size()) > field) {
        if (!width) return text;  // a default field widens
        if (SetScience()) {
            std::string sci = ScienceText(d, field);
            if (!sci.empty()) return PadL(sci, field);
        }
        return Asterisks(field);
    }
    return PadL(text, field);
}

// A separator is one ASCII character: a byte above it would not be a
// character of UTF-8 text on its own.
char SepChar(int code, char fallback) { return code >= 1 && code <= 127 ? static_cast<char>(code) : fallback; }

// The length in bytes of the character at s[i]: a UTF-8 sequence, or one
// byte that is not UTF-8.
size_t CharLen(std::string_view s, size_t i) {
    size_t len = 0;
    NextCodePoint(s, i, len);
    return len == 0 ? 1 : len;
}

size_t CharCount(std::string_view s) {
    size_t n = 0;
    for (size_t i = 0; i < s.size(); i += CharLen(s, i)) ++n;
    return n;
}

// A display picture: "@functions template", or only one of them.
struct Picture {
    std::string functions;  // upper case, without the "@"
    std::string tmpl;
    bool Has(char f) const { return functions.find(f) != std::string::npos; }
};

Picture SplitPicture(std::string_view picture) {
    Picture p;
    if (!picture.empty() && picture[0] == '@') {
        size_t space = picture.find(' ');
        p.functions = Upper(picture.substr(1, space == std::string_view::npos ? space : space - 1));
        if (space != std::string_view::npos) p.tmpl = std::string(picture.substr(space + 1));
    } else {
        p.tmpl = std::string(picture);
    }
    return p;
}

bool IsDigitPosition(char c) { return c == '9' || c == '#' || c == '*' || c == '$'; }

// The number laid into a numeric template. Digit positions are 9 # * $; the
// first "." is the decimal point; "," shows the thousands separator when a
// digit stands to its left; any other character is copied. Leading unused
// positions show blanks, or "*" / "$" where the template has those.
std::string TransformNumber(const Usual& value, const Picture& pic) {
    char decSep = SepChar(SetDecimalSep(), '.');
    char thouSep = SepChar(SetThousandSep(), ',');
    if (pic.Has('E')) {
        decSep = ',';
        thouSep = '.';
    }

    std::string tmpl = pic.tmpl;
    if (tmpl.empty()) {
        // Without a template the default Str field is the template.
        std::string text = Str(value);
        size_t dot = text.find('.');
        tmpl = dot == std::string::npos ? std::string(text.size(), '9')
                                        : std::string(dot, '9') + "." + std::string(text.size() - dot - 1, '9');
    }

    size_t pointAt = tmpl.find('.');
    size_t intEnd = pointAt == std::string::npos ? tmpl.size() : pointAt;
    int intPositions = 0, decPositions = 0;
    for (size_t i = 0; i < tmpl.size(); ++i)
        if (IsDigitPosition(tmpl[i])) ++(i < intEnd ? intPositions : decPositions);

    Decimal d = FromNumber(value);
    RoundToDecimals(d, decPositions);
    bool zero = d.IsZero();
    bool negative = d.negative && !zero;
    bool parens = pic.Has('(');
    bool debit = pic.Has('X');
    bool showSign = negative && !debit;

    std::string intDigits = IntDigits(d);
    // A zero integer part shows as "0" when there is room for it.
    if (intDigits.empty() && intPositions > (showSign ? 1 : 0)) intDigits = "0";
    std::string fracDigits = FracDigits(d, decPositions);

    std::string out(tmpl.size(), ' ');
    bool overflow = !d.finite || static_cast<int>(intDigits.size()) + (showSign ? 1 : 0) > intPositions;
    if (!overflow) {
        // Integer part, right to left.
        int next = static_cast<int>(intDigits.size()) - 1;
        bool signPlaced = !showSign;
        for (size_t k = intEnd; k-- > 0;) {
            char t = tmpl[k];
            char fill = t == '*' || t == '$' ? t : ' ';
            if (IsDigitPosition(t)) {
                if (next >= 0) {
                    out[k] = intDigits[static_cast<size_t>(next--)];
                } else if (!signPlaced) {
                    out[k] = parens ? '(' : '-';
                    signPlaced = true;
                } else {
                    out[k] = fill;
                }
            } else if (t == ',') {
                if (next >= 0) {
                    out[k] = thouSep;
                } else {
                    char left = k > 0 ? tmpl[k - 1] : ' ';
                    out[k] = left == '*' || left == '$' ? left : ' ';
                }
            } else {
                out[k] = t;
            }
        }
        // Decimal point and fraction, left to right.
        size_t f = 0;
        for (size_t k = intEnd; k < tmpl.size(); ++k) {
            char t = tmpl[k];
            if (k == pointAt) out[k] = decSep;
            else if (IsDigitPosition(t)) out[k] = fracDigits[f++];
            else if (t == ',') out[k] = thouSep;
            else out[k] = t;
        }
    } else {
        // One "*" for each character of the template, the point kept.
        out.clear();
        for (size_t k = 0; k < tmpl.size(); k += CharLen(tmpl, k)) out += k == pointAt ? decSep : '*';
    }

    // Suffixes keep the same length whatever the sign, so columns line up.
    if (parens) out += showSign && !overflow ? ")" : " ";
    if (pic.Has('C') || debit) {
        if (!overflow && negative && debit) out += " DB";
        else if (!overflow && !negative && !zero && pic.Has('C')) out += " CR";
        else out += "   ";
    }
    if (pic.Has('Z') && zero && d.finite) return std::string(CharCount(out), ' ');
    if (pic.Has('B')) return PadR(LTrim(out), static_cast<int64_t>(out.size()));
    return out;
}

bool IsTemplateChar(char c) {
    switch (c) {
        case 'X':
        case 'x':
        case 'A':
        case 'a':
        case 'N':
        case 'n':
        case '9':
        case '#':
        case '!':
        case 'L':
        case 'l':
        case 'Y':
        case 'y': return true;
        default: return false;
    }
}

// A string laid into a template: each template character takes the next
// character of the value ("!" upper-cases it); other characters are copied
// in, replacing the value character at that place unless "@R" asks to
// insert them. Characters are whole UTF-8 sequences (a byte that is not
// UTF-8 counts as one), so the result has the template's length in
// characters and never a split sequence.
std::string TransformString(const std::string& value, const Picture& pic) {
    bool upperAll = pic.Has('!');
    if (pic.tmpl.empty()) return upperAll ? Upper(value) : value;
    bool insert = pic.Has('R');
    const std::string_view tmpl = pic.tmpl;
    std::string out;
    size_t next = 0;  // where the value's next character starts
    for (size_t k = 0; k < tmpl.size();) {
        const size_t tlen = CharLen(tmpl, k);
        const size_t vlen = next < value.size() ? CharLen(value, next) : 0;
        const char t = tmpl[k];
        if (tlen == 1 && IsTemplateChar(t)) {
            if (vlen == 0) {
                out += ' ';
            } else if (vlen == 1) {
                char c = value[next];
                if ((t == '!' || upperAll) && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                out += c;
            } else {
                out.append(value, next, vlen);
            }
            next += vlen;
        } else {
            out.append(tmpl.substr(k, tlen));
            if (!insert) next += vlen;
        }
        k += tlen;
    }
    return out;
}

}  // namespace

std::string Str(const Usual& n) { return StrImpl(n, std::nullopt, std::nullopt); }
std::string Str(const Usual& n, int width) { return StrImpl(n, width, std::nullopt); }
std::string Str(const Usual& n, int width, int decimals) { return StrImpl(n, width, decimals); }

std::string NTrim(const Usual& n) { return AllTrim(Str(n)); }

Usual Val(std::string_view text) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) return Usual(0);
    auto isDigit = [&](size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
    auto digitsFrom = [&](size_t k) {
        size_t e = k;
        while (isDigit(e)) ++e;
        return e - k;
    };

    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    size_t numberStart = i;
    size_t intCount = digitsFrom(i);
    i += intCount;
    size_t fracCount = 0;
    bool hasPoint = false;
    if (i < text.size() && text[i] == '.') {
        fracCount = digitsFrom(i + 1);
        if (intCount > 0 || fracCount > 0) {
            hasPoint = true;
            i += 1 + fracCount;
        }
    }
    if (intCount == 0 && fracCount == 0) return Usual(0);

    // An exponent counts only when digits follow the "e" (and its sign).
    bool hasExp = false;
    int64_t exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t k = i + 1;
        bool expNegative = false;
        if (k < text.size() && (text[k] == '+' || text[k] == '-')) expNegative = text[k++] == '-';
        size_t expCount = digitsFrom(k);
        if (expCount > 0) {
            hasExp = true;
            for (size_t j = k; j < k + expCount && exponent < 100000; ++j) exponent = exponent * 10 + (text[j] - '0');
            if (expNegative) exponent = -exponent;
            i = k + expCount;
        }
    }
    std::string_view number = text.substr(numberStart, i - numberStart);

    if (!hasPoint && !hasExp) {
        uint64_t magnitude = 0;
        auto res = std::from_chars(number.data(), number.data() + number.size(), magnitude);
        constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
        if (res.ec == std::errc()) {
            if (magnitude <= kMax) {
                int64_t v = static_cast<int64_t>(magnitude);
                return Usual(negative ? -v : v);
            }
            if (negative && magnitude == kMax + 1) return Usual(std::numeric_limits<int64_t>::min());
        }
        // Too long for 64 bits: carried on as a float without decimals.
    }

    double value = 0;
    auto res = std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range)
        value = exponent > 0 || intCount > 308 ? std::numeric_limits<double>::infinity() : 0.0;
    if (negative) value = -value;
    if (value == 0) value = 0.0;  // no negative zero

    int64_t decimals = static_cast<int64_t>(fracCount) - (hasExp ? exponent : 0);
    decimals = std::clamp<int64_t>(decimals, 0, kMaxNumWidth);
    return Usual(Float{value, -1, static_cast<int16_t>(decimals)});
}

std::string AsString(const Usual& v) {
    switch (v.Type()) {
        case kNil: return "NIL";
        case kString: return v.AsStr();
        case kLong: return std::to_string(v.AsLong());
        case kFloat: return NTrim(v);
        case kLogic: return v.AsLogic() ? ".T." : ".F.";
        case kDate: return DToC(v.AsDate());
        case kSymbol: return v.AsSymbol().Name();
        case kArray: return "{[" + std::to_string(v.ALen()) + "]}";
        case kObject: return v.AsObject() ? "{" + ClassName(v).Name() + "}" : "NULL_OBJECT";
        case kCodeBlock: return "{|| ... }";
        case kPtr: {
            char buf[40];
            std::snprintf(buf, sizeof buf, "0x%0*" PRIXPTR, static_cast<int>(sizeof(void*) * 2),
                          reinterpret_cast<uintptr_t>(v.AsPtr().address));
            return buf;
        }
        default: return {};
    }
}

std::string Transform(const Usual& value, std::string_view picture) {
    Picture pic = SplitPicture(picture);
    if (value.IsNumeric()) return TransformNumber(value, pic);
    if (value.IsString()) return TransformString(value.AsStr(), pic);
    if (value.IsDate()) {
        if (pic.Has('E')) return DToC(value.AsDate(), SetCentury() ? "DD/MM/YYYY" : "DD/MM/YY");
        return DToC(value.AsDate());
    }
    if (value.IsLogic()) {
        bool yesNo = pic.Has('Y') || (!pic.tmpl.empty() && (pic.tmpl[0] == 'Y' || pic.tmpl[0] == 'y'));
        if (yesNo) return value.AsLogic() ? "Y" : "N";
        return value.AsLogic() ? "T" : "F";
    }
    return AsString(value);
}

}  // namespace rt
