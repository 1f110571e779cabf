#include "lib/controls/unformat.h"

#include <cctype>

#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace lib {
namespace {

bool EndsWith(const std::string& s, const char* tail) {
    const size_t a = s.find_last_not_of(' ');
    if (a == std::string::npos) return false;
    const std::string t = s.substr(0, a + 1);
    const std::string w(tail);
    return t.size() >= w.size() && t.compare(t.size() - w.size(), w.size(), w) == 0;
}

// The digits of a date text in year, month, day order as one number
// (YYYYMMDD), located by the date picture.
double DateDigits(const std::string& text) {
    const std::string pic = rt::SetDateFrmt();
    auto field = [&](const char* key) {
        const size_t p = pic.find(key);
        if (p == std::string::npos || p >= text.size()) return 0L;
        const std::string part = text.substr(p, std::string(key).size());
        return std::strtol(part.c_str(), nullptr, 10);
    };
    long year = pic.find("YYYY") != std::string::npos ? field("YYYY") : field("YY");
    if (pic.find("YYYY") == std::string::npos)
        year += year < rt::SetEpoch() % 100 ? (rt::SetEpoch() / 100 + 1) * 100 : rt::SetEpoch() / 100 * 100;
    return static_cast<double>(year * 10000 + field("MM") * 100 + field("DD"));
}

}  // namespace

double UnformatNumber(const std::string& text, const std::string& picture) {
    std::string functions, tmpl = picture;
    if (!picture.empty() && picture[0] == '@') {
        const size_t blank = picture.find(' ');
        // Function letters in either case, as Transform reads them.
        functions = rt::Upper(picture.substr(1, blank == std::string::npos ? std::string::npos : blank - 1));
        tmpl = blank == std::string::npos ? std::string() : picture.substr(blank + 1);
    }
    auto has = [&](char f) { return functions.find(f) != std::string::npos; };
    if (has('D')) return DateDigits(text);
    bool negative = text.find('-') != std::string::npos;
    if (has('X') && EndsWith(text, "DB")) negative = true;
    // @C: the runtime's Transform writes "CR" after positive values, so a
    // trailing "CR" is read as the positive mark it was written as (a text
    // written with a picture must read back as the number it shows); a "-"
    // still makes it negative.
    if (has('(') && text.find('(') != std::string::npos) negative = true;
    // The decimal separator Transform writes: "," under @E, else the
    // runtime's (a code that is no ASCII character falls back to ".").
    const int code = rt::SetDecimalSep();
    const char sep = has('E') ? ',' : code >= 1 && code <= 127 ? static_cast<char>(code) : '.';
    // @B moves the text to the left, away from the template's places.
    const bool byTemplate = !has('B') && !tmpl.empty() && tmpl.size() == text.size();
    std::string number;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (byTemplate) {
            const char t = tmpl[i];
            if (t == '.' && c == sep) number += '.';
            else if ((t == '9' || t == '#' || t == '$' || t == '*') && std::isdigit(static_cast<unsigned char>(c)))
                number += c;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            number += c;
        } else if (c == sep && number.find('.') == std::string::npos) {
            number += '.';
        }
    }
    const double v = rt::Val(number).AsDouble();
    return negative ? -v : v;
}

}  // namespace lib
