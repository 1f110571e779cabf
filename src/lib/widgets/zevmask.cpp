#include "lib/widgets/zevmask.h"

#include <algorithm>
#include <cstdio>

#include "lib/controls/numbertext.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/text.h"

namespace lib {
namespace {

int CountCommas(const std::string& t, int n) {
    n = std::clamp(n, 0, static_cast<int>(t.size()));
    return static_cast<int>(std::count(t.begin(), t.begin() + n, ','));
}

// Only the digits: the groups go, and nothing else has a place in a number.
std::string DigitsOf(const std::string& t) {
    std::string out;
    for (char c : t)
        if (c >= '0' && c <= '9') out += c;
    return out;
}

int Clamp(int v, const std::string& t) { return std::clamp(v, 0, static_cast<int>(t.size())); }

std::string Reformat(std::string text, NumberLimits limits) {
    std::string sign;
    if (!text.empty() && text[0] == '-') {
        sign = "-";
        text.erase(0, 1);
    }
    const size_t dot = text.find('.');
    std::string integer = DigitsOf(dot == std::string::npos ? text : text.substr(0, dot));
    integer = integer.substr(0, static_cast<size_t>(limits.integerLength));
    std::string groups;
    while (integer.size() > 3) {
        groups = "," + integer.substr(integer.size() - 3) + groups;
        integer.erase(integer.size() - 3);
    }
    std::string out = sign + integer + groups;
    if (dot != std::string::npos)
        out += "." + DigitsOf(text.substr(dot + 1)).substr(0, static_cast<size_t>(limits.decimals));
    return out;
}

// Whether the text's integer part and decimals stay within the limits.
bool Fits(const std::string& text, NumberLimits limits) {
    const size_t dot = text.find('.');
    const std::string integer = DigitsOf(text.substr(0, dot));
    const std::string decimals = dot == std::string::npos ? std::string() : DigitsOf(text.substr(dot + 1));
    return static_cast<int>(integer.size()) <= limits.integerLength &&
           static_cast<int>(decimals.size()) <= limits.decimals;
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

}  // namespace

int MaskSetPos(const std::string& shown, int pos, int ref, bool toRaw) {
    return toRaw ? pos - CountCommas(shown, pos) : pos + CountCommas(shown, ref + 1);
}

MaskEdit NumberKey(const MaskEdit& in, MaskKey key, NumberLimits limits) {
    const std::string& shown = in.text;  // the control's text before the key
    std::string text = in.text;
    int s = Clamp(std::min(in.s, in.f), text), f = Clamp(std::max(in.s, in.f), text);
    const bool backspace = !key.deleteKey && key.code == 8;
    if (s != f) {
        text.erase(static_cast<size_t>(s), static_cast<size_t>(f - s));
    } else if (key.deleteKey || backspace) {
        if (key.deleteKey) ++s;
        if (s > 0 && s <= static_cast<int>(text.size())) {
            text.erase(static_cast<size_t>(s - 1), 1);
            --s;
        } else if (key.deleteKey) {
            --s;  // Delete at the end removes nothing
        }
    }
    int p = MaskSetPos(shown, s, s, true);
    const char ch = static_cast<char>(key.code);
    const bool signed_ = !text.empty() && text[0] == '-';
    if (ch == '-' && !key.deleteKey && !signed_) {
        text.insert(0, "-");
        ++p;
    } else if (ch == '+' && signed_) {
        text.erase(0, 1);
        if (p > 0) --p;
    } else if (ch == ' ') {
        text.clear();
        p = 0;
    } else if (!key.deleteKey && (IsDigit(ch) || (limits.decimals != 0 && (ch == '.' || ch == ',')))) {
        const char c = ch == ',' ? '.' : ch;
        if (p == 0 && signed_) p = 1;
        if (c != '.' || text.find('.') == std::string::npos) {
            // Nothing goes in front of the sign.
            const int at = (s == 0 && signed_) ? 1 : Clamp(s, text);
            text.insert(static_cast<size_t>(at), 1, c);
            ++p;
            // A digit with no place left would push another one out of
            // the field: refused, nothing changes.
            if (c != '.' && !Fits(text, limits)) return {shown, in.s, in.f, true};
        } else {
            s = static_cast<int>(text.find('.')) + 1;
            p = MaskSetPos(shown, s, s, true);
        }
    }
    text = Reformat(text, limits);
    const int caret = Clamp(MaskSetPos(text, p, s, false), text);
    return {text, caret, caret};
}

MaskEdit DateKey(const MaskEdit& in, MaskKey key) {
    const std::string mask = kDateMask;
    std::string text = in.text;
    if (text.size() < mask.size()) text += mask.substr(text.size());
    int s = std::clamp(std::min(in.s, in.f), 0, 10), f = std::clamp(std::max(in.s, in.f), 0, 10);
    const int c = key.deleteKey ? 46 : key.code;
    const char ch = key.deleteKey ? '\0' : static_cast<char>(key.code);
    const bool digit = !key.deleteKey && IsDigit(ch);
    const bool dateKey = !key.deleteKey && ch != '\0' && std::string("+-dDmMyY* ").find(ch) != std::string::npos;
    if (!((s < 10 && digit) || c == 8 || c == 46 || dateKey)) return in;
    if (s != f && s < 10 && digit)
        text.replace(static_cast<size_t>(s), static_cast<size_t>(f - s),
                     mask.substr(static_cast<size_t>(s), static_cast<size_t>(f - s)));
    if (c == 46 || c == 8) {
        if (s == f) {
            if (c == 8) {
                if (s > 0 && text[static_cast<size_t>(s - 1)] == '.') --s;
                if (s > 0) {
                    text[static_cast<size_t>(s - 1)] = ' ';
                    --s;
                }
            } else {
                if (s < static_cast<int>(text.size())) text.erase(static_cast<size_t>(s), 1);
                text += ' ';
                text.erase(std::remove(text.begin(), text.end(), '.'), text.end());
                text = text.substr(0, 8);
                text.resize(8, ' ');
                text = text.substr(0, 2) + "." + text.substr(2, 2) + "." + text.substr(4, 4);
            }
        }
        return {text, s, s};
    }
    const rt::Date date = MaskTextDate(text);
    // A step past the first or last date the calendar has is refused: the
    // date stays (the empty date here would erase it).
    auto step = [&](rt::Date to) {
        if (to.IsEmpty()) return false;
        text = MaskDateText(to);
        return true;
    };
    auto months = [&](int n) {
        if (date.IsEmpty()) return true;
        const int64_t target = int64_t{rt::Year(date)} * 12 + (rt::Month(date) - 1) + n;  // months from year 0
        if (target < 12 || target >= 10000 * 12) return false;
        text = MaskDateText(DateAddMonth(date, n));
        return true;
    };
    bool kept = true;
    switch (ch) {
        case '+':
        case 'D': kept = date.IsEmpty() || step(rt::AddDays(date, 1)); break;
        case '-':
        case 'd': kept = date.IsEmpty() || step(rt::AddDays(date, -1)); break;
        case 'M': kept = months(1); break;
        case 'm': kept = months(-1); break;
        case 'Y': kept = months(12); break;
        case 'y': kept = months(-12); break;
        case '*': text = MaskDateText(rt::Today()); break;
        case ' ': text = MaskDateText(rt::Date{}); break;
        default: {
            text[static_cast<size_t>(s)] = ch;
            while (s < 10 && s + 1 < 10 && mask[static_cast<size_t>(s + 1)] != ' ') ++s;
            return {text, s + 1, s + 1};
        }
    }
    if (!kept) return {in.text, in.s, in.f, true};
    return {text, in.s, in.f};
}

MaskEdit NumberPaste(const MaskEdit& in, const std::string& pasted, NumberLimits limits) {
    const int s = Clamp(std::min(in.s, in.f), in.text), f = Clamp(std::max(in.s, in.f), in.text);
    const std::string text = in.text.substr(0, static_cast<size_t>(s)) + rt::AllTrim(pasted) +
                             in.text.substr(static_cast<size_t>(f));
    const auto n = ReadNumberText(text, '.', ',');
    if (!n || static_cast<int>(n->Significant()) > limits.integerLength ||
        static_cast<int>(n->decimals.size()) > limits.decimals)
        return {in.text, in.s, in.f, true};
    std::string whole = n->whole.substr(n->whole.size() - n->Significant());
    if (whole.empty() && !n->whole.empty()) whole = "0";
    std::string plain = (n->negative ? "-" : "") + whole;
    if (text.find('.') != std::string::npos && limits.decimals > 0) plain += "." + n->decimals;
    const std::string out = Reformat(plain, limits);
    const int caret = static_cast<int>(out.size());
    return {out, caret, caret};
}

bool WellFormedNumber(const std::string& text, NumberLimits limits) {
    const size_t dot = text.find('.');
    // Reformat keeps a point only where decimals are allowed to follow.
    return Reformat(text, limits) == text && (dot == std::string::npos || limits.decimals > 0);
}

bool WellFormedDate(const std::string& text) {
    if (text.empty()) return true;
    if (text.size() != 10) return false;
    for (size_t i = 0; i < 10; ++i)
        if (kDateMask[i] == '.' ? text[i] != '.' : !(IsDigit(text[i]) || text[i] == ' ')) return false;
    return true;
}

MaskEdit DatePaste(const MaskEdit& in, const std::string& pasted) {
    const std::string t = rt::AllTrim(pasted);
    rt::Date d = MaskTextDate(t);
    // The process's own date format, when the text is exactly a date of it.
    if (d.IsEmpty() && !rt::CToD(t).IsEmpty() && rt::DToC(rt::CToD(t)) == t) d = rt::CToD(t);
    if (d.IsEmpty()) return {in.text, in.s, in.f, true};
    return {MaskDateText(d), 0, 0};
}

rt::Date DateAddMonth(rt::Date date, int months) {
    if (date.IsEmpty()) return date;
    // Counted in months from the year 0, so that any count is one step.
    const int64_t total = int64_t{rt::Year(date)} * 12 + (rt::Month(date) - 1) + months;
    const int64_t year = total >= 0 ? total / 12 : -((-total + 11) / 12);
    const int month = static_cast<int>(total - year * 12) + 1;
    if (year < 1 || year > 9999) return rt::Date{};
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", static_cast<int>(year), month, rt::Day(date));
    return rt::SToD(buf);
}

std::string MaskDateText(rt::Date d) {
    if (d.IsEmpty()) return kDateMask;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", rt::Day(d), rt::Month(d), rt::Year(d));
    return buf;
}

rt::Date MaskTextDate(const std::string& text) {
    if (text.size() < 10 || text[2] != '.' || text[5] != '.') return {};
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9})
        if (!IsDigit(text[static_cast<size_t>(i)])) return {};
    return rt::MakeDate(std::stoi(text.substr(6, 4)), std::stoi(text.substr(3, 2)), std::stoi(text.substr(0, 2)));
}

}  // namespace lib
