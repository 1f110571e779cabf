#include "platform/os/profilefile.h"

#include <cstdint>

#include "platform/runtime/codepage.h"
#include "platform/runtime/text.h"

namespace os::profile {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr uint32_t kReplacement = 0xFFFD;

bool Wide(Encoding e) { return e == Encoding::kUtf16Le || e == Encoding::kUtf16Be; }

uint8_t Byte(std::string_view s, size_t i) { return static_cast<uint8_t>(s[i]); }

// The code unit at byte offset i (one byte, or two in a UTF-16 file).
uint32_t UnitAt(std::string_view s, size_t i, Encoding e) {
    if (e == Encoding::kUtf16Le) return Byte(s, i) | static_cast<uint32_t>(Byte(s, i + 1)) << 8;
    if (e == Encoding::kUtf16Be) return static_cast<uint32_t>(Byte(s, i)) << 8 | Byte(s, i + 1);
    return Byte(s, i);
}

void PutUnit(std::string& out, uint32_t u, Encoding e) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += e == Encoding::kUtf16Le ? lo : hi;
    out += e == Encoding::kUtf16Le ? hi : lo;
}

// The code point of well-formed UTF-8 at s[i], advancing i; a byte that
// starts no well-formed character stands for itself (Latin-1), as the rest
// of the program reads text that is not UTF-8.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
    size_t len = 0;
    const char32_t cp = rt::NextCodePoint(s, i, len);
    if (len == 0) return Byte(s, i++);
    i += len;
    return cp;
}

// UTF-16 bytes to the runtime's text; a lone surrogate or an odd last byte
// reads as U+FFFD.
std::string FromUtf16(std::string_view raw, Encoding e) {
    std::string out;
    size_t i = 0;
    for (; i + 1 < raw.size(); i += 2) {
        uint32_t u = UnitAt(raw, i, e);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < raw.size()) {
            uint32_t low = UnitAt(raw, i + 2, e);
            if (low >= 0xDC00 && low < 0xE000) {
                rt::AppendUtf8(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00), out);
                i += 2;
                continue;
            }
        }
        rt::AppendUtf8(u >= 0xD800 && u < 0xE000 ? kReplacement : u, out);
    }
    if (i < raw.size()) rt::AppendUtf8(kReplacement, out);
    return out;
}

// The runtime's text in the file's encoding.
std::string Encode(std::string_view text, Encoding e) {
    if (!Wide(e)) return std::string(text);
    std::string out;
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = NextCodePoint(text, i);
        if (cp >= 0x10000) {
            PutUnit(out, 0xD800 | ((cp - 0x10000) >> 10), e);
            PutUnit(out, 0xDC00 | (cp & 0x3FF), e);
        } else {
            PutUnit(out, cp, e);
        }
    }
    return out;
}

// Byte offset of the first line feed in data, or npos.
size_t FindLineFeed(std::string_view data, Encoding e) {
    if (!Wide(e)) return data.find('\n');
    for (size_t i = 0; i + 1 < data.size(); i += 2)
        if (UnitAt(data, i, e) == '\n') return i;
    return std::string_view::npos;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

Line MakeLine(std::string text) {
    Line l;
    l.text = std::move(text);
    std::string_view t = rt::AllTrimmedWhite(l.text);
    if (!t.empty() && t.front() == '[') {
        size_t close = t.find(']');
        l.kind = Line::kSection;
        l.name =
            std::string(rt::AllTrimmedWhite(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1)));
    } else if (!t.empty() && t.front() != ';') {
        size_t eq = t.find('=');
        l.kind = Line::kKey;
        l.name = std::string(rt::AllTrimmedWhite(t.substr(0, eq)));
        if (eq != std::string_view::npos) l.value = std::string(rt::AllTrimmedWhite(t.substr(eq + 1)));
    }
    return l;
}

File Parse(std::string_view data) {
    File f;
    if (data.substr(0, 2) == kUtf16LeBom) f.encoding = Encoding::kUtf16Le;
    else if (data.substr(0, 2) == kUtf16BeBom) f.encoding = Encoding::kUtf16Be;
    else if (data.substr(0, 3) == kUtf8Bom) f.encoding = Encoding::kUtf8Bom;
    data.remove_prefix(f.encoding == Encoding::kBytes ? 0 : f.encoding == Encoding::kUtf8Bom ? 3 : 2);
    const bool wide = Wide(f.encoding);
    const size_t unit = wide ? 2 : 1;
    bool sawEnd = false;
    while (!data.empty()) {
        size_t nl = FindLineFeed(data, f.encoding);
        std::string_view raw = nl == std::string_view::npos ? data : data.substr(0, nl);
        data.remove_prefix(nl == std::string_view::npos ? data.size() : nl + unit);
        std::string end;
        if (nl != std::string_view::npos) {
            bool cr = raw.size() >= unit && UnitAt(raw, raw.size() - unit, f.encoding) == '\r';
            if (cr) raw.remove_suffix(unit);
            end = cr ? "\r\n" : "\n";
            if (!sawEnd) f.newline = end;
            sawEnd = true;
        }
        Line l = MakeLine(wide ? FromUtf16(raw, f.encoding) : std::string(raw));
        if (wide) l.raw = std::string(raw);
        l.end = std::move(end);
        f.lines.push_back(std::move(l));
    }
    return f;
}

std::string Serialise(const File& f) {
    std::string out;
    switch (f.encoding) {
        case Encoding::kBytes: break;
        case Encoding::kUtf8Bom: out = kUtf8Bom; break;
        case Encoding::kUtf16Le: out = kUtf16LeBom; break;
        case Encoding::kUtf16Be: out = kUtf16BeBom; break;
    }
    for (const Line& l : f.lines) {
        // A last line cut inside a character (an odd byte) is encoded
        // afresh once a line follows it, so every later unit stays aligned.
        bool aligned = l.raw && (l.raw->size() % 2 == 0 || l.end.empty());
        out += aligned ? *l.raw : Encode(l.text, f.encoding);
        out += Encode(l.end, f.encoding);
    }
    return out;
}

std::optional<std::pair<size_t, size_t>> FindSection(const File& f, std::string_view name) {
    name = rt::AllTrimmedWhite(name);
    for (size_t i = 0; i < f.lines.size(); ++i) {
        if (f.lines[i].kind != Line::kSection || !SameName(f.lines[i].name, name)) continue;
        size_t end = i + 1;
        while (end < f.lines.size() && f.lines[end].kind != Line::kSection) ++end;
        return std::make_pair(i, end);
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const File& f, std::pair<size_t, size_t> sec, std::string_view key) {
    key = rt::AllTrimmedWhite(key);
    for (size_t i = sec.first + 1; i < sec.second; ++i)
        if (f.lines[i].kind == Line::kKey && SameName(f.lines[i].name, key)) return i;
    return std::nullopt;
}

bool Writable(std::string_view section, std::optional<std::string_view> key, std::optional<std::string_view> value) {
    constexpr auto npos = std::string_view::npos;
    if (section.find_first_of("]\r\n") != npos || (value && value->find_first_of("\r\n") != npos)) return false;
    if (!key) return true;
    const std::string_view k = rt::AllTrimmedWhite(*key);
    return key->find_first_of("=\r\n") == npos && !k.empty() && k.front() != '[' && k.front() != ';';
}

bool Write(File& f, std::string_view section, std::optional<std::string_view> key,
           std::optional<std::string_view> value) {
    auto sec = FindSection(f, section);
    if (!key) {
        // Every section of that name goes, with its lines.
        bool changed = false;
        while (auto s = FindSection(f, section)) {
            f.lines.erase(f.lines.begin() + static_cast<std::ptrdiff_t>(s->first),
                          f.lines.begin() + static_cast<std::ptrdiff_t>(s->second));
            changed = true;
        }
        return changed;
    }
    if (!value) {
        bool changed = false;
        while (sec) {
            auto k = FindKey(f, *sec, *key);
            if (!k) break;
            f.lines.erase(f.lines.begin() + static_cast<std::ptrdiff_t>(*k));
            --sec->second;
            changed = true;
        }
        return changed;
    }
    auto addLine = [&](size_t at, std::string text) {
        // The line before a new one gets the line end it lacked.
        if (at > 0 && f.lines[at - 1].end.empty()) f.lines[at - 1].end = f.newline;
        Line l = MakeLine(std::move(text));
        l.end = f.newline;
        f.lines.insert(f.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(l));
    };
    const std::string k(rt::AllTrimmedWhite(*key));
    const std::string entry = k + "=" + std::string(*value);
    if (!sec) {
        addLine(f.lines.size(), "[" + std::string(rt::AllTrimmedWhite(section)) + "]");
        addLine(f.lines.size(), entry);
    } else if (auto found = FindKey(f, *sec, k)) {
        Line& l = f.lines[*found];
        std::string end = std::move(l.end);
        l = MakeLine(l.name + "=" + std::string(*value));
        l.end = std::move(end);
    } else {
        size_t at = sec->first + 1;
        for (size_t i = sec->first + 1; i < sec->second; ++i)
            if (f.lines[i].kind == Line::kKey) at = i + 1;
        addLine(at, entry);
    }
    return true;
}

}  // namespace os::profile
