#include "platform/runtime/regional.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/runtime/text.h"

namespace rt {
namespace {

// One category of a locale, loaded without touching the process's locale.
class LocaleCategory {
public:
    LocaleCategory(int mask, std::string_view name) : loc_(newlocale(mask, std::string(name).c_str(), nullptr)) {}
    ~LocaleCategory() {
        if (loc_) freelocale(loc_);
    }
    LocaleCategory(const LocaleCategory&) = delete;
    LocaleCategory& operator=(const LocaleCategory&) = delete;

    explicit operator bool() const { return loc_ != nullptr; }
    std::string Item(nl_item item) const {
        const char* p = loc_ ? nl_langinfo_l(item, loc_) : nullptr;
        return p ? std::string(p) : std::string();
    }

private:
    locale_t loc_;
};

struct Token {
    bool conversion = false;
    char c = 0;           // the conversion character
    std::string literal;  // text between conversions
};

// Splits a strftime format into conversions and literal text. Flags,
// widths and the E/O modifiers are skipped; the composite conversions are
// expanded (%D %F %T %R %r), %r into the 12-hour format given.
void Tokenize(std::string_view fmt, std::string_view ampm, std::vector<Token>& out, int depth = 0) {
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 >= fmt.size()) {
            if (out.empty() || out.back().conversion) out.push_back(Token{});
            out.back().literal += fmt[i];
            continue;
        }
        size_t j = i + 1;
        while (j < fmt.size() && std::string_view("-_0^#").find(fmt[j]) != std::string_view::npos) ++j;
        while (j < fmt.size() && fmt[j] >= '0' && fmt[j] <= '9') ++j;
        if (j < fmt.size() && (fmt[j] == 'E' || fmt[j] == 'O')) ++j;
        if (j >= fmt.size()) break;
        char c = fmt[j];
        i = j;
        std::string_view expansion;
        switch (c) {
            case 'D': expansion = "%m/%d/%y"; break;
            case 'F': expansion = "%Y-%m-%d"; break;
            case 'T': expansion = "%H:%M:%S"; break;
            case 'R': expansion = "%H:%M"; break;
            case 'r': expansion = ampm.empty() ? "%I:%M:%S %p" : ampm; break;
            default: break;
        }
        if (!expansion.empty()) {
            if (depth < 2) Tokenize(expansion, {}, out, depth + 1);
            continue;
        }
        if (c == '%' || c == 'n' || c == 't') {
            if (out.empty() || out.back().conversion) out.push_back(Token{});
            out.back().literal += c == '%' ? '%' : ' ';
            continue;
        }
        out.push_back(Token{true, c, {}});
    }
}

// The first character of a text: one byte, or one UTF-8 sequence.
std::string FirstChar(std::string_view s) {
    if (s.empty()) return {};
    auto lead = static_cast<unsigned char>(s[0]);
    size_t n = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return std::string(s.substr(0, n));
}

uint32_t CodePoint(std::string_view s) {
    auto b = [&](size_t i) { return i < s.size() ? static_cast<unsigned char>(s[i]) & 0x3Fu : 0u; };
    auto lead = static_cast<unsigned char>(s[0]);
    if (lead >= 0xF0) return ((lead & 0x07u) << 18) | (b(1) << 12) | (b(2) << 6) | b(3);
    if (lead >= 0xE0) return ((lead & 0x0Fu) << 12) | (b(1) << 6) | b(2);
    if (lead >= 0xC0) return ((lead & 0x1Fu) << 6) | b(1);
    return lead;
}

}  // namespace

int SeparatorCode(std::string_view text, int fallback) {
    if (text.empty()) return fallback;
    auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return lead;
    // The runtime's separators are single bytes. The spaces that locales use
    // to group digits (no-break, narrow, thin, figure) become a plain space;
    // any other character beyond ASCII cannot be one byte of UTF-8 text.
    uint32_t cp = CodePoint(text);
    if (cp == 0xA0 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F) return ' ';
    return fallback;
}

void ReadDateFormat(std::string_view dFmt, RegionalSettings& s) {
    std::vector<Token> tokens;
    Tokenize(dFmt, {}, tokens);
    std::string picture;
    char firstField = 0, lastField = 0;
    int fields = 0;
    // The first character of the text between each two date fields: the
    // gaps that a separator fills.
    std::vector<std::string> gaps;
    std::string pending;  // the text since the last field
    for (const Token& t : tokens) {
        if (!t.conversion) {
            picture += t.literal;
            pending += t.literal;
            continue;
        }
        char field = 0;
        switch (t.c) {
            case 'd':
                picture += "dd";
                field = 'd';
                break;
            case 'e':
                picture += "d";
                field = 'd';
                break;
            case 'm':
                picture += "MM";
                field = 'm';
                break;
            case 'b':
            case 'h':
                picture += "MMM";
                field = 'm';
                break;
            case 'B':
                picture += "MMMM";
                field = 'm';
                break;
            case 'y':
            case 'g':
                picture += "yy";
                field = 'y';
                break;
            case 'Y':
            case 'G':
                picture += "yyyy";
                field = 'y';
                break;
            case 'C':
                picture += "yy";
                field = 'y';
                break;  // "%C%y" is a four-digit year
            case 'a': picture += "ddd"; break;
            case 'A': picture += "dddd"; break;
            default: break;
        }
        // "%C%y" is one year field: no gap between its halves.
        if (field && field != lastField) {
            if (!firstField) firstField = field;
            if (fields++ >= 1) gaps.push_back(FirstChar(pending));
        }
        if (field) {
            lastField = field;
            pending.clear();
        }
    }
    if (!firstField) return;  // nothing to go by: the fallbacks stay
    s.dateOrder = firstField == 'd' ? 1 : firstField == 'y' ? 2 : 0;
    // The separator stands between every two fields: one ASCII mark in all
    // the gaps. Where each gap has its own text ("%Y年%m月%d日") no one
    // character separates them, and the fallback stays.
    auto mark = [](const std::string& g) {
        if (g.size() != 1) return false;
        char c = g[0];
        return c >= ' ' && c <= '~' && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z');
    };
    bool uniform = !gaps.empty() && mark(gaps[0]);
    for (const std::string& g : gaps) uniform = uniform && g == gaps[0];
    if (uniform) s.dateSep = gaps[0];
    s.shortDate = rt::Upper(picture);
}

void ReadTimeFormat(std::string_view tFmt, std::string_view tFmtAmPm, RegionalSettings& s) {
    std::vector<Token> tokens;
    Tokenize(tFmt, tFmtAmPm, tokens);
    bool twelve = false, twentyFour = false;
    int sep = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        if (!t.conversion) continue;
        bool hour = t.c == 'I' || t.c == 'l' || t.c == 'H' || t.c == 'k';
        if (t.c == 'I' || t.c == 'l') twelve = true;
        if (t.c == 'H' || t.c == 'k') twentyFour = true;
        if ((hour || t.c == 'M') && !sep && i + 1 < tokens.size() && !tokens[i + 1].conversion)
            sep = SeparatorCode(tokens[i + 1].literal, 0);
    }
    if (twelve || twentyFour) s.twelveHour = twelve;
    if (sep) s.timeSep = sep;
}

int OemCodePage(std::string_view localeName) {
    std::string name(localeName);
    for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        if (!name.empty()) break;
        if (const char* v = std::getenv(var)) name = v;
    }
    // language_TERRITORY.codeset@modifier
    const std::string language = name.substr(0, name.find_first_of("_.@"));
    const size_t under = name.find('_');
    const std::string territory = under == std::string::npos ? "" : name.substr(under + 1, 2);
    if (language == "en") return territory == "US" || territory.empty() ? 437 : 850;
    static const char* const k850[] = {"ca", "da", "de", "es", "eu", "fi", "fo", "fr", "ga", "gl", "id", "is",
                                       "it", "ms", "nb", "nl", "nn", "no", "pt", "rm", "sq", "sv", "sw", "af"};
    for (const char* l : k850)
        if (language == l) return 850;
    return 437;
}

RegionalSettings ReadRegionalSettings(std::string_view localeName) {
    RegionalSettings s;
    s.oemCodePage = OemCodePage(localeName);
    if (LocaleCategory numeric(LC_NUMERIC_MASK, localeName); numeric) {
        s.decimalSep = SeparatorCode(numeric.Item(RADIXCHAR), s.decimalSep);
        s.thousandSep = SeparatorCode(numeric.Item(THOUSEP), s.thousandSep);
    }
    if (LocaleCategory time(LC_TIME_MASK, localeName); time) {
        ReadTimeFormat(time.Item(T_FMT), time.Item(T_FMT_AMPM), s);
        s.amExt = " " + time.Item(AM_STR);
        s.pmExt = " " + time.Item(PM_STR);
        ReadDateFormat(time.Item(D_FMT), s);
    }
    // The decimal places of numbers keep their fallback: a POSIX locale has
    // no such item for numbers, and its currency digits (frac_digits: 0 in
    // ja_JP, 3 in ar_KW) are the places of money, not of numbers.
    return s;
}

bool LocaleAvailable(std::string_view localeName) { return static_cast<bool>(LocaleCategory(LC_ALL_MASK, localeName)); }

std::string DatePicture(const RegionalSettings& s) {
    std::string year = s.shortDate.find("YYYY") != std::string::npos ? "YYYY" : "YY";
    const std::string& sep = s.dateSep;
    switch (s.dateOrder) {
        case 1: return "DD" + sep + "MM" + sep + year;
        case 2: return year + sep + "MM" + sep + "DD";
        default: return "MM" + sep + "DD" + sep + year;
    }
}

}  // namespace rt
