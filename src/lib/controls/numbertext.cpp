#include "lib/controls/numbertext.h"

#include "platform/runtime/text.h"

namespace lib {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Takes c off the front (or the back) of t, with the blanks next to it.
bool TakeFront(std::string_view& t, char c) {
    if (t.empty() || t.front() != c) return false;
    t = rt::AllTrimmedWhite(t.substr(1));
    return true;
}

bool TakeBack(std::string_view& t, char c) {
    if (t.empty() || t.back() != c) return false;
    t = rt::AllTrimmedWhite(t.substr(0, t.size() - 1));
    return true;
}

}  // namespace

std::string NumberText::Plain(char decimalSep) const {
    std::string out = negative ? "-" : "";
    out += whole.empty() ? "0" : whole;
    if (!decimals.empty()) out += decimalSep + decimals;
    return out;
}

size_t NumberText::Significant() const {
    const size_t first = whole.find_first_not_of('0');
    return first == std::string::npos ? 0 : whole.size() - first;
}

std::optional<NumberText> ReadNumberText(std::string_view text, char decimalSep, char thousandSep) {
    std::string_view t = rt::AllTrimmedWhite(text);
    NumberText n;
    int signs = 0;
    if (TakeFront(t, '(')) {
        if (!TakeBack(t, ')')) return std::nullopt;
        n.negative = true, ++signs;
    }
    if (TakeFront(t, '-')) n.negative = true, ++signs;
    else if (TakeFront(t, '+')) ++signs;
    TakeFront(t, '$');
    if (TakeBack(t, '-')) n.negative = true, ++signs;
    if (signs > 1 || t.empty()) return std::nullopt;
    // Digits, groups only between digits, then the decimals.
    size_t i = 0;
    for (; i < t.size() && t[i] != decimalSep; ++i) {
        if (IsDigit(t[i])) n.whole += t[i];
        else if (t[i] != thousandSep || i == 0 || i + 1 >= t.size() || !IsDigit(t[i - 1]) || !IsDigit(t[i + 1]))
            return std::nullopt;
    }
    if (i < t.size()) {
        for (++i; i < t.size(); ++i) {
            if (!IsDigit(t[i])) return std::nullopt;
            n.decimals += t[i];
        }
    }
    if (n.whole.empty() && n.decimals.empty()) return std::nullopt;
    return n;
}

}  // namespace lib
