#include "regtext.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/runtime/codepage.h"
#include "platform/runtime/text.h"

namespace qzreg {
namespace {

struct RootAlias {
    const char* shortName;
    const char* longName;
    os::HKEY key;
};
constexpr RootAlias kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", os::HKEY_LOCAL_MACHINE},   {"HKCU", "HKEY_CURRENT_USER", os::HKEY_CURRENT_USER},
    {"HKCR", "HKEY_CLASSES_ROOT", os::HKEY_CLASSES_ROOT},     {"HKU", "HKEY_USERS", os::HKEY_USERS},
    {"HKCC", "HKEY_CURRENT_CONFIG", os::HKEY_CURRENT_CONFIG},
};

struct TypeDef {
    const char* name;
    os::DWORD type;
};
constexpr TypeDef kTypes[] = {
    {"REG_NONE", os::REG_NONE},           {"REG_SZ", os::REG_SZ},
    {"REG_EXPAND_SZ", os::REG_EXPAND_SZ}, {"REG_BINARY", os::REG_BINARY},
    {"REG_DWORD", os::REG_DWORD},         {"REG_MULTI_SZ", os::REG_MULTI_SZ},
    {"REG_QWORD", os::REG_QWORD},         {"REG_DWORD_BIG_ENDIAN", os::REG_DWORD_BIG_ENDIAN},
};

std::string Hex2(unsigned char c, bool upper) {
    char buf[4];
    std::snprintf(buf, sizeof buf, upper ? "%02X" : "%02x", c);
    return buf;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string UpTo0(const std::string& data) { return data.substr(0, std::min(data.find('\0'), data.size())); }

// The next code point of UTF-8 text, or nullopt (with i unmoved) where the
// bytes at i are not the shortest form of a scalar value: a stray or
// truncated sequence, an overlong form, a surrogate, or past U+10FFFF.
std::optional<uint32_t> NextCodePoint(const std::string& s, size_t& i) {
    size_t len = 0;
    const char32_t cp = rt::NextCodePoint(s, i, len);
    if (len == 0) return std::nullopt;
    i += len;
    return cp;
}

bool ValidUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();)
        if (!NextCodePoint(s, i)) return false;
    return true;
}

std::string QuoteText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Reads a quoted text at s[i] (the opening quote); the text unescaped.
std::optional<std::string> ReadQuoted(const std::string& s, size_t& i) {
    if (i >= s.size() || s[i] != '"') return std::nullopt;
    std::string out;
    for (++i; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            out += s[++i];
        } else if (s[i] == '"') {
            ++i;
            return out;
        } else {
            out += s[i];
        }
    }
    return std::nullopt;
}

std::optional<std::string> ReadHexBytes(const std::string& s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == ',' || s[i] == '\t')) ++i;
        if (i >= s.size()) break;
        if (i + 1 >= s.size() || HexDigit(s[i]) < 0 || HexDigit(s[i + 1]) < 0) return std::nullopt;
        out += static_cast<char>(HexDigit(s[i]) * 16 + HexDigit(s[i + 1]));
        i += 2;
    }
    return out;
}

}  // namespace

std::optional<KeyName> ParseKeyName(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\\') t.pop_back();
    size_t slash = t.find('\\');
    std::string root = rt::Upper(t.substr(0, slash));
    for (const RootAlias& r : kRoots) {
        if (root == r.shortName || root == r.longName) {
            KeyName k{r.key, r.longName, slash == std::string::npos ? "" : t.substr(slash + 1)};
            return k;
        }
    }
    return std::nullopt;
}

std::string TypeName(os::DWORD type) {
    for (const TypeDef& t : kTypes)
        if (t.type == type) return t.name;
    return "REG_UNKNOWN";
}

std::optional<os::DWORD> TypeFromName(const std::string& name) {
    std::string upper = rt::Upper(name);
    for (const TypeDef& t : kTypes)
        if (upper == t.name) return t.type;
    return std::nullopt;
}

std::string DataText(os::DWORD type, const std::string& data) {
    char buf[32];
    switch (type) {
        case os::REG_SZ:
        case os::REG_EXPAND_SZ: return UpTo0(data);
        case os::REG_MULTI_SZ: {
            std::string out;
            size_t i = 0;
            while (i < data.size() && data[i] != '\0') {
                size_t end = std::min(data.find('\0', i), data.size());
                if (!out.empty()) out += "\\0";
                out += data.substr(i, end - i);
                i = end + 1;
            }
            return out;
        }
        case os::REG_DWORD: {
            uint32_t v = 0;
            std::memcpy(&v, data.data(), std::min(data.size(), sizeof v));
            std::snprintf(buf, sizeof buf, "0x%" PRIx32, v);
            return buf;
        }
        case os::REG_DWORD_BIG_ENDIAN: {
            uint32_t v = 0;
            for (size_t k = 0; k < std::min<size_t>(data.size(), 4); ++k)
                v = v << 8 | static_cast<unsigned char>(data[k]);
            std::snprintf(buf, sizeof buf, "0x%" PRIx32, v);
            return buf;
        }
        case os::REG_QWORD: {
            uint64_t v = 0;
            std::memcpy(&v, data.data(), std::min(data.size(), sizeof v));
            std::snprintf(buf, sizeof buf, "0x%" PRIx64, v);
            return buf;
        }
        default: {
            std::string out;
            for (unsigned char c : data) out += Hex2(c, true);
            return out;
        }
    }
}

std::optional<std::string> DataFromText(os::DWORD type, const std::string& text, const std::string& separator) {
    switch (type) {
        case os::REG_SZ:
        case os::REG_EXPAND_SZ: return text + '\0';
        case os::REG_MULTI_SZ: {
            std::string out;
            std::string sep = separator.empty() ? "\\0" : separator;
            size_t i = 0;
            while (!text.empty() && i <= text.size()) {
                size_t j = text.find(sep, i);
                if (j == std::string::npos) j = text.size();
                out += text.substr(i, j - i) + '\0';
                i = j + sep.size();
            }
            return out + '\0';
        }
        case os::REG_DWORD:
        case os::REG_DWORD_BIG_ENDIAN:
        case os::REG_QWORD: {
            // Decimal, or hexadecimal after 0x; a leading 0 is not octal.
            bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
            std::string digits = hex ? text.substr(2) : text;
            if (digits.empty() ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") != std::string::npos)
                return std::nullopt;
            errno = 0;
            unsigned long long v = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
            if (errno != 0 || (type != os::REG_QWORD && v > 0xFFFFFFFFULL)) return std::nullopt;
            std::string out(type == os::REG_QWORD ? 8 : 4, '\0');
            for (size_t k = 0; k < out.size(); ++k) {
                size_t at = type == os::REG_DWORD_BIG_ENDIAN ? out.size() - 1 - k : k;
                out[at] = static_cast<char>((v >> (8 * k)) & 0xFF);
            }
            return out;
        }
        default: {
            if (text.size() % 2 != 0) return std::nullopt;
            return ReadHexBytes(text);
        }
    }
}

std::string ToUtf16(const std::string& text) {
    std::string out;
    auto put = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    for (size_t i = 0; i < text.size();) {
        std::optional<uint32_t> cp = NextCodePoint(text, i);
        if (!cp) {
            // A byte that is not UTF-8 (always 0x80 or above) travels as the
            // lone surrogate U+DC80..U+DCFF, which FromUtf16 turns back.
            put(0xDC00 | static_cast<unsigned char>(text[i++]));
        } else if (*cp >= 0x10000) {
            put(0xD800 | ((*cp - 0x10000) >> 10));
            put(0xDC00 | ((*cp - 0x10000) & 0x3FF));
        } else {
            put(*cp);
        }
    }
    return out;
}

std::string FromUtf16(const std::string& bytes) {
    std::string out;
    auto unit = [&](size_t k) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[k]) |
                                     (static_cast<unsigned char>(bytes[k + 1]) << 8));
    };
    size_t i = 0;
    for (; i + 1 < bytes.size(); i += 2) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) < 0xE000) {
            rt::AppendUtf8(static_cast<char32_t>(0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00)), out);
            i += 2;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += static_cast<char>(u & 0xFF);
        } else {
            rt::AppendUtf8(static_cast<char32_t>(u), out);
        }
    }
    // An odd last byte is kept as it is.
    if (i < bytes.size()) out += bytes[i];
    return out;
}

namespace {

// Whether string data can be written as a quoted text: one terminator, at
// the end, and UTF-8 text without line ends (the format has no escape for
// them) before it.
bool QuotableText(const std::string& data) {
    if (data.empty() || data.find('\0') != data.size() - 1) return false;
    std::string text = data.substr(0, data.size() - 1);
    return text.find_first_of("\r\n") == std::string::npos && ValidUtf8(text);
}

bool TextType(os::DWORD type) { return type == os::REG_SZ || type == os::REG_EXPAND_SZ || type == os::REG_MULTI_SZ; }

}  // namespace

std::string ValueLine(const Value& v) {
    std::string line = v.name.empty() ? "@=" : QuoteText(v.name) + "=";
    if (v.type == os::REG_SZ && QuotableText(v.data)) return line + QuoteText(v.data.substr(0, v.data.size() - 1));
    if (v.type == os::REG_DWORD && v.data.size() == 4) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08" PRIx32,
                      static_cast<uint32_t>(static_cast<unsigned char>(v.data[0]) |
                                            static_cast<unsigned char>(v.data[1]) << 8 |
                                            static_cast<unsigned char>(v.data[2]) << 16 |
                                            static_cast<uint32_t>(static_cast<unsigned char>(v.data[3])) << 24));
        return line + "dword:" + buf;
    }
    // Text types are UTF-16 in a version 5 file, whatever their bytes.
    std::string bytes = TextType(v.type) ? ToUtf16(v.data) : v.data;
    char prefix[16];
    if (v.type == os::REG_BINARY) std::snprintf(prefix, sizeof prefix, "hex:");
    else std::snprintf(prefix, sizeof prefix, "hex(%" PRIx32 "):", v.type);
    line += prefix;
    // Lines are continued with a backslash before they pass 80 columns.
    size_t lineStart = 0;
    for (size_t k = 0; k < bytes.size(); ++k) {
        line += Hex2(static_cast<unsigned char>(bytes[k]), false);
        if (k + 1 < bytes.size()) {
            line += ',';
            if (line.size() - lineStart > 76) {
                line += "\\\r\n  ";
                lineStart = line.size() - 2;
            }
        }
    }
    return line;
}

std::optional<std::vector<FileKey>> ParseRegFile(const std::string& raw, std::string* error) {
    std::string text;
    bool wide = raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF &&
                static_cast<unsigned char>(raw[1]) == 0xFE;
    text = wide ? FromUtf16(raw.substr(2)) : raw;
    // A UTF-8 file may begin with its byte-order mark, as editors save it.
    if (!wide && text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    // Logical lines: a line ending in a backslash goes on in the next.
    std::vector<std::string> lines;
    std::vector<size_t> lineNumbers;  // where each logical line starts
    std::string current;
    size_t i = 0, physical = 0, start = 1;
    while (i <= text.size()) {
        ++physical;
        if (current.empty()) start = physical;
        size_t j = text.find('\n', i);
        if (j == std::string::npos) j = text.size();
        std::string line = text.substr(i, j - i);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        i = j + 1;
        if (!current.empty()) {
            size_t k = 0;
            while (k < line.size() && line[k] == ' ') ++k;
            line = line.substr(k);
        }
        bool continues = !line.empty() && line.back() == '\\' &&
                         (!current.empty() || line.find("=hex") != std::string::npos);
        if (continues) {
            line.pop_back();
            current += line;
            continue;
        }
        lines.push_back(current + line);
        lineNumbers.push_back(start);
        current.clear();
    }
    if (lines.empty() || (lines[0] != "Windows Registry Editor Version 5.00" && lines[0] != "REGEDIT4")) {
        *error = "Line 1: the specified file is not a registry script.";
        return std::nullopt;
    }
    bool v5 = lines[0] != "REGEDIT4";
    std::vector<FileKey> keys;
    for (size_t n = 1; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        const std::string at = "Line " + std::to_string(lineNumbers[n]) + ": ";
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') {
                *error = at + "a key name lacks its closing bracket.";
                return std::nullopt;
            }
            FileKey k;
            k.line = lineNumbers[n];
            k.remove = line.size() > 1 && line[1] == '-';
            k.name = line.substr(k.remove ? 2 : 1, line.size() - (k.remove ? 3 : 2));
            keys.push_back(std::move(k));
            continue;
        }
        if (keys.empty()) {
            *error = at + "a value comes before any key.";
            return std::nullopt;
        }
        size_t pos = 0;
        Value v;
        if (line[0] == '@') {
            pos = 1;
        } else {
            auto name = ReadQuoted(line, pos);
            if (!name) {
                *error = at + "a value name is not quoted.";
                return std::nullopt;
            }
            v.name = *name;
        }
        if (pos >= line.size() || line[pos] != '=') {
            *error = at + "'=' expected.";
            return std::nullopt;
        }
        std::string rhs = line.substr(pos + 1);
        bool ok = true;
        if (rhs == "-") {
            keys.back().values.push_back(FileValue{std::move(v), true, lineNumbers[n]});
            continue;
        } else if (!rhs.empty() && rhs[0] == '"') {
            size_t q = 0;
            auto s = ReadQuoted(rhs, q);
            ok = s.has_value() && q == rhs.size();
            v.type = os::REG_SZ;
            if (ok) v.data = *s + '\0';
        } else if (rhs.rfind("dword:", 0) == 0) {
            auto d = DataFromText(os::REG_DWORD, "0x" + rhs.substr(6), "");
            ok = d.has_value() && rhs.size() > 6;
            v.type = os::REG_DWORD;
            if (ok) v.data = *d;
        } else if (rhs.rfind("hex", 0) == 0) {
            size_t colon = rhs.find(':');
            v.type = os::REG_BINARY;
            if (colon != 3) {
                ok = colon != std::string::npos && rhs[3] == '(' && rhs[colon - 1] == ')';
                if (ok) v.type = static_cast<os::DWORD>(std::strtoul(rhs.substr(4, colon - 5).c_str(), nullptr, 16));
            }
            auto bytes = ok ? ReadHexBytes(rhs.substr(colon + 1)) : std::nullopt;
            ok = bytes.has_value();
            if (ok) v.data = v5 && TextType(v.type) ? FromUtf16(*bytes) : *bytes;
        } else {
            ok = false;
        }
        if (!ok) {
            *error = at + "the value's data cannot be read.";
            return std::nullopt;
        }
        keys.back().values.push_back(FileValue{std::move(v), false, lineNumbers[n]});
    }
    return keys;
}

}  // namespace qzreg
