#include "lib/controls/numentry.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "lib/controls/numbertext.h"

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

std::string NumEntry::Write(double v) const {
    return format_.IsTime() ? WriteTime(static_cast<int64_t>(v < 0 ? -v : v))
                            : rt::Transform(rt::Usual(v), format_.Template());
}

bool NumEntry::IsWritten(const std::string& text) const { return Write(ValueOf(text)) == text; }

std::string NumEntry::SetField(const std::string& text, int factor) {
    const double v = ValueOf(text) * factor;
    const std::string out = Write(v);
    if (negativePending && out.find(':') == std::string::npos && v != 0) negativePending = false;
    return out;
}

std::string NumEntry::WriteTime(int64_t digits) const {
    // Digits right-aligned into the picture's digit places.
    const std::string text = std::to_string(digits);
    std::string out = format_.picture.substr(format_.picture.find("99:99"));
    int di = static_cast<int>(text.size()) - 1;
    for (int i = static_cast<int>(out.size()) - 1; i >= 0; --i) {
        if (out[static_cast<size_t>(i)] != '9') continue;
        out[static_cast<size_t>(i)] = di >= 0 ? text[static_cast<size_t>(di--)] : '0';
    }
    return di >= 0 ? std::string(out.size(), '*') : out;
}

bool NumEntry::TimeInRange(const std::string& text) const {
    if (text.find('*') != std::string::npos) return false;
    // The first group is the hours, the later ones minutes (and seconds).
    int group = 0, value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ':') {
            if (value > (group == 0 ? 23 : 59)) return false;
            ++group, value = 0;
        } else if (text[i] >= '0' && text[i] <= '9') {
            value = value * 10 + (text[i] - '0');
        }
    }
    return true;
}

bool NumEntry::TimeCanComplete(const std::string& text) const {
    // Each digit typed later shifts the digits one place left; zeros keep
    // every group as small as it can be.
    int64_t digits = static_cast<int64_t>(std::llabs(static_cast<long long>(ValueOf(text))));
    for (int k = 0; k <= 8; ++k, digits *= 10) {
        const std::string t = WriteTime(digits);
        if (t.find('*') != std::string::npos) return false;
        if (TimeInRange(t)) return true;
    }
    return false;
}

std::string NumEntry::Pasted(const std::string& text) {
    const char sep = static_cast<char>(rt::SetDecimalSep());
    if (format_.IsTime()) {
        // "12:30", "9:05" or the digits alone.
        const std::string t = rt::AllTrim(text);
        const size_t colon = t.find(':');
        const bool digitsOnly = !t.empty() && t.find_first_not_of("0123456789:") == std::string::npos &&
                                (colon == std::string::npos ||
                                 (colon > 0 && t.size() - colon == 3 && t.find(':', colon + 1) == std::string::npos));
        if (!digitsOnly || t.size() > 12) return {};
        const std::string written = SetField(t, 1);
        return TimeInRange(written) ? written : std::string();
    }
    const auto n = ReadNumberText(text, sep, static_cast<char>(rt::SetThousandSep()));
    if (!n || static_cast<int>(n->decimals.size()) > std::max(0, format_.decimals)) return {};
    const std::string written = SetField(n->Plain(sep), 1);
    return written.find('*') == std::string::npos ? written : std::string();
}

int NumEntry::Edit::SepPos() const {
    if (decimals == 0) return static_cast<int>(text().size());
    const size_t p = text().find(decimalSep);
    return p == std::string::npos ? static_cast<int>(text().size()) : static_cast<int>(p);
}

int NumEntry::Edit::PlaceFromRight(int fromRight) const {
    const int size = static_cast<int>(text().size());
    return std::clamp(size - fromRight, 0, size);
}

NumEntry::Result NumEntry::ProcessKey(uint32_t vk, uint32_t ch, const std::string& text, int selStart, int selEnd) {
    Edit e;
    e.result.text = text;
    e.decimalSep = static_cast<char>(rt::SetDecimalSep());
    e.decimals = format_.IsTime() ? 0 : std::max(0, format_.decimals);
    const std::string tmpl = format_.Template();
    e.decimalsAllowed = e.decimals > 0 && (tmpl.empty() || tmpl.find('.') != std::string::npos);
    const int len = static_cast<int>(text.size());
    e.selStart = std::clamp(selStart, 0, len);
    e.selEnd = std::clamp(selEnd, e.selStart, len);

    // A key with the whole text selected starts a new entry (a caret alone in
    // an empty text keeps the entry as it was); a key with less selected, or
    // with the caret inside the text, edits at the caret.
    const bool wholeSelected = e.selStart == 0 && e.selEnd == len;
    if (!wholeSelected) entryStarted = false;
    else if (e.selStart != e.selEnd) entryStarted = true;

    // The caret stands in the decimals when it is past the separator or the
    // selection begins at it.
    e.caret = e.selStart;
    const int sep = e.SepPos();
    e.inDecimals = e.decimalsAllowed && sep < len && (e.caret > sep || (e.selStart == sep && e.selEnd > e.selStart));
    if (e.inDecimals && e.caret == sep) e.caret = sep + 1;

    if (IsNavigation(vk)) return Navigate(vk, e);

    bool done = false;
    if (e.selStart != e.selEnd && !entryStarted) done = RemoveSelection(vk, e);
    if (!done && entryStarted) {
        StartNewEntry(ch, e);
        done = true;
    }
    if (!done && (vk == kBack || vk == kDelete)) {
        Erase(vk, e);
        done = true;
    }
    if (!done) TypeCharacter(ch, e);
    return Finish(text, e);
}

// The arrows, Home, End, Enter and Tab move the caret through the edit's own
// handling. While a new entry is pending or text is selected, they only end
// the entry: the caret is put where the edit's move lands on the
// selection's start (Left) or end (Right).
NumEntry::Result NumEntry::Navigate(uint32_t vk, Edit& e) {
    Result r = std::move(e.result);
    r.handled = false;
    if (entryStarted || e.selStart != e.selEnd) {
        entryStarted = false;
        r.caret = vk == kLeft ? e.selStart + 1 : vk == kRight ? std::max(0, e.selEnd - 1) : e.selStart;
        return r;
    }
    r.caret = e.caret;
    return r;
}

// Part of the text selected: the selected characters go, except the
// decimal separator. Backspace and Delete have then done their work.
bool NumEntry::RemoveSelection(uint32_t vk, Edit& e) {
    const std::string& t = e.text();
    std::string kept;
    for (int i = 0; i < static_cast<int>(t.size()); ++i)
        if (i < e.selStart || i >= e.selEnd || t[static_cast<size_t>(i)] == e.decimalSep)
            kept += t[static_cast<size_t>(i)];
    const int fromRight = static_cast<int>(kept.size()) - e.selStart;
    e.text() = SetField(kept, 1);
    e.caret = e.inDecimals ? e.PlaceFromRight(fromRight) : e.SepPos();
    if (vk == kBack || vk == kDelete) return true;
    e.inDecimals = e.decimalsAllowed && e.caret > e.SepPos();
    return false;
}

// The first key of a new entry replaces the value: a digit becomes the
// value, a decimal point or comma leads into the decimals of zero, a minus
// makes the next value typed negative; any other key leaves zero. A sign
// left pending by an earlier entry does not carry over.
void NumEntry::StartNewEntry(uint32_t ch, Edit& e) {
    entryStarted = false;
    std::string value = "0";
    bool toDecimals = false;
    if (ch == '.' || ch == ',') toDecimals = e.decimals > 0;
    else if (ch == '-') negativePending = true;
    else if (ch >= '0' && ch <= '9') value = std::string(1, static_cast<char>(ch));
    if (e.decimals > 0) value += e.decimalSep + std::string(static_cast<size_t>(e.decimals), '0');
    e.text() = SetField(value, 1);
    e.caret = e.decimals == 0 ? static_cast<int>(e.text().size()) : toDecimals ? e.SepPos() + 1 : e.SepPos();
    e.inDecimals = toDecimals;
}

// Backspace removes the character before the caret, Delete the one after
// it, in the part the caret stands in; a value of zero leaves the caret
// before the separator.
void NumEntry::Erase(uint32_t vk, Edit& e) {
    if (e.inDecimals) EraseInDecimals(vk, e);
    else EraseInWhole(vk, e);
    if (ValueOf(e.text()) == 0) e.caret = e.SepPos();
}

// The decimals close up and are filled with zeros from the right.
void NumEntry::EraseInDecimals(uint32_t vk, Edit& e) {
    const int sep = e.SepPos();
    const std::string& t = e.text();
    std::string decimals = t.substr(static_cast<size_t>(sep) + 1);
    int at = e.caret - sep - 1;  // the caret's place among the decimals
    if (vk == kBack && at > 0) decimals.erase(static_cast<size_t>(--at), 1), --e.caret;
    else if (vk == kDelete && at < static_cast<int>(decimals.size())) decimals.erase(static_cast<size_t>(at), 1);
    while (static_cast<int>(decimals.size()) < e.decimals) decimals += '0';
    const int fromRight = static_cast<int>(t.size()) - e.caret;
    e.text() = SetField(
        t.substr(0, static_cast<size_t>(sep)) + e.decimalSep + decimals.substr(0, static_cast<size_t>(e.decimals)), 1);
    e.caret = e.PlaceFromRight(fromRight);
}

// A thousands separator erased with Backspace takes the digit before it
// along; the caret keeps its distance from the right end.
void NumEntry::EraseInWhole(uint32_t vk, Edit& e) {
    const char thousandSep = static_cast<char>(rt::SetThousandSep());
    const int sep = e.SepPos();
    const std::string& t = e.text();
    std::string whole = t.substr(0, static_cast<size_t>(sep));
    const std::string rest = t.substr(static_cast<size_t>(sep));
    int fromRight = static_cast<int>(t.size()) - e.caret;
    if (vk == kBack && e.caret > 0 && e.caret <= sep) {
        const char gone = whole[static_cast<size_t>(e.caret - 1)];
        whole.erase(static_cast<size_t>(e.caret - 1), 1);
        if (gone == thousandSep && e.caret - 2 >= 0) whole.erase(static_cast<size_t>(e.caret - 2), 1);
    } else if (vk == kDelete && e.caret < sep) {
        whole.erase(static_cast<size_t>(e.caret), 1);
        --fromRight;  // the caret moves one place right
    }
    e.text() = SetField(e.decimals > 0 ? whole + rest : whole, 1);
    e.caret = e.PlaceFromRight(std::max(0, fromRight));
}

// A minus negates a value (or, on zero, makes the next value negative) and
// a plus makes a negative value positive; a decimal point or comma moves
// into the decimals; a digit is typed. Any other character changes nothing.
void NumEntry::TypeCharacter(uint32_t ch, Edit& e) {
    std::string& t = e.text();
    if (ch == '-' && t.find('-') == std::string::npos) {
        if (ValueOf(t) == 0) negativePending = true;
        else if (static_cast<int>(rt::AllTrim(t).size()) >= format_.length) e.result.beep = true;
        else t = SetField(t, -1);
    } else if (ch == '+' && t.find('-') != std::string::npos) {
        t = SetField(t, -1);
    } else if (ch == '.' || ch == ',') {
        if (e.decimals > 0 && !e.inDecimals) {
            e.inDecimals = true;
            e.caret = e.SepPos() + 1;
        }
        e.result.modified = true;
    } else if (ch >= '0' && ch <= '9') {
        if (e.inDecimals) TypeDecimalDigit(static_cast<char>(ch), e);
        else TypeWholeDigit(static_cast<char>(ch), e);
    }
}

// A digit in the decimals is inserted at the caret; the last decimal
// falls off.
void NumEntry::TypeDecimalDigit(char digit, Edit& e) {
    const int sep = e.SepPos();
    const std::string& t = e.text();
    std::string decimals = t.substr(static_cast<size_t>(sep) + 1);
    const int at = std::clamp(e.caret - sep - 1, 0, static_cast<int>(decimals.size()));
    decimals.insert(static_cast<size_t>(at), 1, digit);
    e.text() = SetField(t.substr(0, static_cast<size_t>(sep)) + e.decimalSep +
                            decimals.substr(0, static_cast<size_t>(e.decimals)),
                        negativePending ? -1 : 1);
    e.caret = std::min(e.SepPos() + 1 + at + 1, static_cast<int>(e.text().size()));
}

// A digit in the whole part replaces a zero value, or is inserted at the
// caret while the value has fewer digits than the picture has places and
// the text is shorter than the field; otherwise it beeps.
void NumEntry::TypeWholeDigit(char digit, Edit& e) {
    const int sign = negativePending ? -1 : 1;
    const int sep = e.SepPos();
    const std::string& t = e.text();
    std::string whole = t.substr(0, static_cast<size_t>(sep));
    const std::string rest = t.substr(static_cast<size_t>(sep));
    auto skipped = [&](int at) {
        const char c = whole[static_cast<size_t>(at)];
        return c == ' ' || c == '-' || c == ':';
    };
    while (e.caret < sep && skipped(e.caret)) ++e.caret;
    // A time of zero fills from the right wherever the caret is, as a zero
    // amount does: "1230" typed after a click into 00:00 is 12:30, not 10:00
    // and a beep for each digit.
    if (format_.IsTime() && ValueOf(whole) == 0) e.caret = sep;
    const bool hasMinus = t.find('-') != std::string::npos;
    // Digits the value holds against the places the picture has.
    const std::string tmpl = format_.Template();
    const std::string wholePicture = tmpl.substr(0, std::min(tmpl.size(), tmpl.find('.')));
    const int places = static_cast<int>(std::count(wholePicture.begin(), wholePicture.end(), '9') +
                                        std::count(wholePicture.begin(), wholePicture.end(), '#'));
    const std::string significant = rt::AllTrim(rt::Str(rt::Usual(static_cast<int64_t>(std::abs(ValueOf(whole)))), 30));
    const bool fits = (format_.IsTime() || static_cast<int>(rt::AllTrim(t).size()) < format_.length) &&
                      static_cast<int>(significant.size()) < places;
    if (ValueOf(whole) == 0 && !format_.IsTime()) {
        e.text() = SetField(std::string(hasMinus ? "-" : "") + digit + rest, sign);
        e.caret = e.SepPos();
    } else if (fits) {
        const int fromRight = static_cast<int>(t.size()) - e.caret;
        whole.insert(static_cast<size_t>(e.caret), 1, digit);
        e.text() = SetField(e.decimals > 0 ? whole + rest : whole, sign);
        e.caret = e.PlaceFromRight(fromRight);
    } else {
        e.result.beep = true;
    }
}

// The caret leaves the decimals it is not in; a text that no longer fits the
// picture (shown as stars) beeps and keeps the text as it was; otherwise the
// text is written through the picture once more.
NumEntry::Result NumEntry::Finish(const std::string& before, Edit& e) {
    if (!e.inDecimals && e.decimals > 0 && e.caret > e.SepPos()) e.caret = e.SepPos();
    Result r = std::move(e.result);
    // Stars: the number no longer fits the picture. A time that no digit
    // typed later can bring into range (25:99) is refused the same way.
    if (r.text.find('*') != std::string::npos || (format_.IsTime() && !TimeCanComplete(r.text))) {
        r.beep = true;
        r.text = before;
        r.caret = std::clamp(e.selStart, 0, static_cast<int>(before.size()));
        return r;
    }
    r.text = SetField(r.text, 1);
    r.modified = true;
    r.caret = std::clamp(e.caret, 0, static_cast<int>(r.text.size()));
    return r;
}

}  // namespace lib
