#include "lib/controls/numentry.h"

#include <algorithm>
#include <cctype>

#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace lib {
namespace {

enum : uint32_t { kTab = 9, kBack = 8, kEnter = 13, kEnd = 35, kHome = 36, kLeft = 37, kRight = 39, kDelete = 46 };

bool IsNavigation(uint32_t vk) {
    return vk == kEnd || vk == kHome || vk == kLeft || vk == kRight || vk == kEnter || vk == kTab;
}

}  // namespace

std::string FieldFormat::Template() const {
    if (!picture.empty()) {
        // The template after an "@" function part.
        if (picture[0] == '@') {
            const size_t blank = picture.find(' ');
            return blank == std::string::npos ? std::string() : picture.substr(blank + 1);
        }
        return picture;
    }
    if (decimals <= 0) return std::string(static_cast<size_t>(std::max(1, length)), '9');
    const int whole = std::max(1, length - decimals - 1);
    return std::string(static_cast<size_t>(whole), '9') + "." + std::string(static_cast<size_t>(decimals), '9');
}

double NumEntry::ValueOf(const std::string& text) const {
    const char sep = static_cast<char>(rt::SetDecimalSep());
    const char ths = static_cast<char>(rt::SetThousandSep());
    const std::string strip = stripChars.empty() ? std::string(1, ths) + "()$ " : stripChars;
    std::string t;
    for (char c : text) {
        if (c == sep) t += '.';
        else if (c == ths || strip.find(c) != std::string::npos || c == ':') continue;
        else t += c;
    }
    return rt::Val(t).AsDouble();
}

std::string NumEntry::SetField(const std::string& text, int factor) {
    const double v = ValueOf(text) * factor;
    std::string out;
    if (format_.IsTime()) {
        // Digits right-aligned into the picture's digit places.
        const std::string digits = rt::AllTrim(rt::Str(rt::Usual(static_cast<int64_t>(v < 0 ? -v : v)), 20));
        const std::string pic = format_.picture.substr(format_.picture.find("99:99"));
        out = pic;
        int di = static_cast<int>(digits.size()) - 1;
        for (int i = static_cast<int>(out.size()) - 1; i >= 0; --i) {
            if (out[i] != '9') continue;
            out[i] = di >= 0 ? digits[di--] : '0';
        }
        if (di >= 0) out = std::string(out.size(), '*');
    } else {
        out = rt::Transform(rt::Usual(v), format_.Template());
    }
    if (negativePending && out.find(':') == std::string::npos && v != 0) negativePending = false;
    return out;
}

NumEntry::Result NumEntry::ProcessKey(uint32_t vk, uint32_t ch, const std::string& text, int s, int f) {
    const char sep = static_cast<char>(rt::SetDecimalSep());
    const char ths = static_cast<char>(rt::SetThousandSep());
    const int d = format_.IsTime() ? 0 : std::max(0, format_.decimals);
    const int n = format_.length;
    const std::string tmpl = format_.Template();
    Result r;
    r.text = text;
    std::string& t = r.text;
    int len = static_cast<int>(t.size());
    s = std::clamp(s, 0, len);
    f = std::clamp(f, s, len);

    // 1. and 4. (whole selection)
    const bool whole = s == 0 && f == len;
    if (!whole) entryStarted = false;
    else if (s != f) entryStarted = true;

    auto sepPos = [&]() -> int {
        if (d == 0) return static_cast<int>(t.size());
        const size_t p = t.find(sep);
        return p == std::string::npos ? static_cast<int>(t.size()) : static_cast<int>(p);
    };
    const bool decimalsAllowed = d > 0 && (tmpl.empty() || tmpl.find('.') != std::string::npos);
    int caret = s;
    bool decimalMode = decimalsAllowed && sepPos() < len && (caret > sepPos() || (s == sepPos() && f > s));
    if (decimalMode && caret == sepPos()) caret = sepPos() + 1;

    // The caret kept as its distance from the right end: the text is
    // right-aligned, so rewriting it keeps that distance.
    auto placeFromRight = [&](int fromRight) { return std::clamp(static_cast<int>(t.size()) - fromRight, 0, static_cast<int>(t.size())); };
    const std::string before = text;
    bool finish = false;

    if (IsNavigation(vk)) {
        if (entryStarted || s != f) {  // 5.
            entryStarted = false;
            r.caret = vk == kLeft ? s + 1 : vk == kRight ? std::max(0, f - 1) : s;
            r.handled = false;
            return r;
        }
        r.caret = caret;  // 8.: the edit's own move follows
        r.handled = false;
        return r;
    }

    if (s != f && !entryStarted) {  // 4. other selections are removed
        std::string cut;
        for (int i = 0; i < len; ++i)
            if (i < s || i >= f || t[i] == sep) cut += t[i];
        const int fromRight = static_cast<int>(cut.size()) - s;
        t = SetField(cut, 1);
        caret = decimalMode ? placeFromRight(fromRight) : sepPos();
        finish = vk == kBack || vk == kDelete;
        if (!finish) {
            len = static_cast<int>(t.size());
            decimalMode = decimalsAllowed && caret > sepPos();
        }
    }

    if (!finish && entryStarted) {  // 6. the first key replaces the value
        entryStarted = false;
        std::string whole = "0";
        bool toDecimals = false;
        if (ch == '.' || ch == ',') toDecimals = d > 0;
        else if (ch == '-') negativePending = true;
        else if (ch >= '0' && ch <= '9') whole = std::string(1, static_cast<char>(ch));
        std::string digits = d > 0 ? whole + "." + std::string(static_cast<size_t>(d), '0') : whole;
        for (char& c : digits)
            if (c == '.') c = sep;
        // A new entry: a sign left pending by an earlier one does not carry
        // over (the "-" of this entry is pending for the next key).
        t = SetField(digits, 1);
        caret = d == 0 ? static_cast<int>(t.size()) : toDecimals ? sepPos() + 1 : sepPos();
        decimalMode = toDecimals;
        finish = true;
    }

    if (!finish && (vk == kBack || vk == kDelete)) {  // 7.
        const int sp = sepPos();
        if (decimalMode) {
            std::string dec = t.substr(static_cast<size_t>(sp) + 1);
            int k = caret - sp - 1;
            if (vk == kBack && k > 0) dec.erase(static_cast<size_t>(--k), 1), --caret;
            else if (vk == kDelete && k < static_cast<int>(dec.size())) dec.erase(static_cast<size_t>(k), 1);
            while (static_cast<int>(dec.size()) < d) dec += '0';
            const int fromRight = static_cast<int>(t.size()) - caret;
            t = SetField(t.substr(0, static_cast<size_t>(sp)) + sep + dec.substr(0, static_cast<size_t>(d)), 1);
            caret = placeFromRight(fromRight);
        } else {
            std::string ip = t.substr(0, static_cast<size_t>(sp));
            const std::string rest = t.substr(static_cast<size_t>(sp));
            int fromRight = static_cast<int>(t.size()) - caret;
            if (vk == kBack && caret > 0 && caret <= sp) {
                const char gone = ip[static_cast<size_t>(caret - 1)];
                ip.erase(static_cast<size_t>(caret - 1), 1);
                if (gone == ths && caret - 2 >= 0) ip.erase(static_cast<size_t>(caret - 2), 1);
            } else if (vk == kDelete && caret < sp) {
                ip.erase(static_cast<size_t>(caret), 1);
                --fromRight;  // the caret moves one place right
            }
            t = SetField(d > 0 ? ip + rest : ip, 1);
            caret = placeFromRight(std::max(0, fromRight));
        }
        if (ValueOf(t) == 0) caret = sepPos();
        finish = true;
    }

    if (!finish) {
        const std::string trimmed = rt::AllTrim(t);
        if (ch == '-' && t.find('-') == std::string::npos) {  // 9.
            if (ValueOf(t) == 0) negativePending = true;
            else if (static_cast<int>(trimmed.size()) >= n) r.beep = true;
            else t = SetField(t, -1);
        } else if (ch == '+' && t.find('-') != std::string::npos) {
            t = SetField(t, -1);
        } else if (ch == '.' || ch == ',') {  // 11.
            if (d > 0 && !decimalMode) {
                decimalMode = true;
                caret = sepPos() + 1;
            }
            r.modified = true;
        } else if (ch >= '0' && ch <= '9') {  // 12.
            const int factor = negativePending ? -1 : 1;
            const int sp = sepPos();
            if (decimalMode) {
                std::string dec = t.substr(static_cast<size_t>(sp) + 1);
                const int k = std::clamp(caret - sp - 1, 0, static_cast<int>(dec.size()));
                dec.insert(static_cast<size_t>(k), 1, static_cast<char>(ch));
                t = SetField(t.substr(0, static_cast<size_t>(sp)) + sep + dec.substr(0, static_cast<size_t>(d)), factor);
                caret = std::min(sepPos() + 1 + k + 1, static_cast<int>(t.size()));
            } else {
                std::string ip = t.substr(0, static_cast<size_t>(sp));
                const std::string rest = t.substr(static_cast<size_t>(sp));
                while (caret < sp && (ip[static_cast<size_t>(caret)] == ' ' || ip[static_cast<size_t>(caret)] == '-' ||
                                      ip[static_cast<size_t>(caret)] == ':'))
                    ++caret;
                // A time of zero fills from the right wherever the caret
                // is, as a zero amount does: "1230" typed after a click
                // into 00:00 is 12:30, not 10:00 and a beep for each digit.
                if (format_.IsTime() && ValueOf(ip) == 0) caret = sp;
                const bool hasMinus = t.find('-') != std::string::npos;
                // Digits the value holds against the places the picture has.
                const std::string whole = tmpl.substr(0, std::min(tmpl.size(), tmpl.find('.')));
                const int places = static_cast<int>(std::count(whole.begin(), whole.end(), '9') +
                                                    std::count(whole.begin(), whole.end(), '#'));
                const std::string sig = rt::AllTrim(rt::Str(rt::Usual(static_cast<int64_t>(std::abs(ValueOf(ip)))), 30));
                const bool fits = (format_.IsTime() || static_cast<int>(trimmed.size()) < n) &&
                                  static_cast<int>(sig.size()) < places;
                if (ValueOf(ip) == 0 && !format_.IsTime()) {
                    t = SetField(std::string(hasMinus ? "-" : "") + static_cast<char>(ch) + rest, factor);
                    caret = sepPos();
                } else if (fits) {
                    const int fromRight = static_cast<int>(t.size()) - caret;
                    ip.insert(static_cast<size_t>(caret), 1, static_cast<char>(ch));
                    t = SetField(d > 0 ? ip + rest : ip, factor);
                    caret = placeFromRight(fromRight);
                } else {
                    r.beep = true;
                }
            }
        }
        // 10.: anything else changes nothing here.
    }

    // 13.
    if (!decimalMode && d > 0 && caret > sepPos()) caret = sepPos();
    if (t.find('*') != std::string::npos) {
        r.beep = true;
        r.text = before;
        r.caret = std::clamp(s, 0, static_cast<int>(before.size()));
        return r;
    }
    t = SetField(t, 1);
    r.modified = true;
    r.caret = std::clamp(caret, 0, static_cast<int>(t.size()));
    return r;
}

}  // namespace lib
