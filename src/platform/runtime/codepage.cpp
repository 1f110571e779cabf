#include "platform/runtime/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

namespace rt {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kUndefinedBase = 0xF700;  // private use: undefined bytes that clash

// An iconv descriptor closed however the conversion ends.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
    ~Converter() {
        if (Ok()) ::iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    void Reset() { ::iconv(cd_, nullptr, nullptr, nullptr, nullptr); }
    // Converts all of in[0..n) into out (room bytes); the bytes written, or
    // -1 with errno (EILSEQ, EINVAL for an incomplete sequence, E2BIG).
    long Convert(const char* in, size_t n, char* out, size_t room) {
        Reset();
        char* src = const_cast<char*>(in);
        char* dst = out;
        size_t left = n, free = room;
        if (::iconv(cd_, &src, &left, &dst, &free) == static_cast<size_t>(-1)) return -1;
        return static_cast<long>(dst - out);
    }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

}  // namespace

char32_t NextCodePoint(std::string_view s, size_t i, size_t& len) {
    len = 0;
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        len = 1;
        return b0;
    }
    size_t need;
    char32_t cp, min;
    if (b0 >= 0xC2 && b0 <= 0xDF) need = 1, cp = b0 & 0x1F, min = 0x80;
    else if (b0 >= 0xE0 && b0 <= 0xEF) need = 2, cp = b0 & 0x0F, min = 0x800;
    else if (b0 >= 0xF0 && b0 <= 0xF4) need = 3, cp = b0 & 0x07, min = 0x10000;
    else return 0;
    if (i + need >= s.size()) return 0;
    for (size_t k = 1; k <= need; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    len = need + 1;
    return cp;
}

void AppendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string CodePage::CodePointName(std::string_view utf8) {
    if (utf8.empty()) return {};
    size_t len = 0;
    char32_t cp = NextCodePoint(utf8, 0, len);
    char buf[32];
    if (len == 0) std::snprintf(buf, sizeof buf, "byte 0x%02X", static_cast<unsigned char>(utf8[0]));
    else std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
    return buf;
}

const CodePage* CodePage::Named(std::string_view iconvName) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<CodePage>, std::less<>> built;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = built.find(iconvName);
    if (it != built.end()) return it->second.get();
    std::unique_ptr<CodePage> cp(new CodePage());
    cp->name_ = std::string(iconvName);
    if (!cp->BuildSingleByte()) cp.reset();
    const CodePage* result = cp.get();
    built.emplace(std::string(iconvName), std::move(cp));
    return result;
}

// Windows-1252 where the system's iconv lacks it: 0x80-0x9F (0 where the
// code page defines nothing), the rest is Latin-1.
constexpr char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Reads every byte on its own. A byte that iconv calls the start of a longer
// sequence makes the code page a multi-byte one, converted by iconv each time.
bool CodePage::BuildSingleByte() {
    char32_t cps[256];
    bool defined[256] = {};
    single_ = true;
    Converter in("UTF-32LE", name_.c_str());
    Converter out(name_.c_str(), "UTF-32LE");
    if (in.Ok() && out.Ok()) {
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            unsigned char u[8];
            long n = in.Convert(&byte, 1, reinterpret_cast<char*>(u), sizeof u);
            if (n < 0 && errno == EINVAL) single_ = false;
            defined[b] = n == 4;
            cps[b] = defined[b] ? char32_t{u[0]} | char32_t{u[1]} << 8 | char32_t{u[2]} << 16 | char32_t{u[3]} << 24
                                : 0;
        }
    } else if (name_ == "CP1252") {
        for (int b = 0; b < 256; ++b) {
            cps[b] = b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : static_cast<char32_t>(b);
            defined[b] = cps[b] != 0 || b == 0;
        }
    } else {
        return false;
    }
    asciiSame_ = true;
    for (int b = 0; b < 0x80; ++b) asciiSame_ = asciiSame_ && defined[b] && cps[b] == static_cast<char32_t>(b);
    if (!single_) return asciiSame_;  // the multi-byte pages used here all keep ASCII
    for (int b = 0; b < 256; ++b) {
        if (defined[b]) continue;
        bool taken = false;
        for (int o = 0; o < 256 && !taken; ++o) taken = defined[o] && cps[o] == static_cast<char32_t>(b);
        cps[b] = taken ? kUndefinedBase + static_cast<char32_t>(b) : static_cast<char32_t>(b);
    }
    for (int b = 0; b < 256; ++b) {
        std::string utf8;
        AppendUtf8(cps[b], utf8);
        std::copy(utf8.begin(), utf8.end(), toText_[b].bytes);
        toText_[b].len = static_cast<uint8_t>(utf8.size());
        toByte_.emplace_back(cps[b], static_cast<uint8_t>(b));
    }
    // Two bytes for one character: the lower byte is the one written.
    std::stable_sort(toByte_.begin(), toByte_.end(), [](auto& a, auto& b) { return a.first < b.first; });
    toByte_.erase(std::unique(toByte_.begin(), toByte_.end(), [](auto& a, auto& b) { return a.first == b.first; }),
                  toByte_.end());
    return true;
}

void CodePage::Decode(const uint8_t* p, size_t n, std::string& out) const {
    if (asciiSame_ && IsAscii(p, n)) {
        out.append(reinterpret_cast<const char*>(p), n);
        return;
    }
    if (!single_) return DecodeMulti(p, n, out);
    out.reserve(out.size() + n);
    size_t i = 0;
    while (i < n) {
        if (asciiSame_ && p[i] < 0x80) {
            size_t j = i + 1;
            while (j < n && p[j] < 0x80) ++j;
            out.append(reinterpret_cast<const char*>(p + i), j - i);
            i = j;
            continue;
        }
        const Utf8Char& c = toText_[p[i++]];
        out.append(c.bytes, c.len);
    }
}

std::string CodePage::Decode(std::string_view bytes) const {
    std::string out;
    Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
    return out;
}

void CodePage::DecodeMulti(const uint8_t* p, size_t n, std::string& out) const {
    size_t ascii = 0;
    while (ascii < n && p[ascii] < 0x80) ++ascii;
    out.append(reinterpret_cast<const char*>(p), ascii);
    if (ascii == n) return;
    Converter c("UTF-8", name_.c_str());
    char* src = const_cast<char*>(reinterpret_cast<const char*>(p + ascii));
    size_t left = n - ascii;
    std::string buf(left * 4 + 8, '\0');
    while (left > 0) {
        char* dst = buf.data();
        size_t free = buf.size();
        size_t r = c.Ok() ? ::iconv(c.Get(), &src, &left, &dst, &free) : static_cast<size_t>(-1);
        out.append(buf.data(), static_cast<size_t>(dst - buf.data()));
        if (r != static_cast<size_t>(-1)) break;
        if (c.Ok() && errno == E2BIG) continue;
        // A sequence the code page does not define, or one cut off by the
        // field's end: the replacement character, and on after its first byte.
        AppendUtf8(kReplacement, out);
        ++src;
        --left;
        if (c.Ok()) c.Reset();
    }
}

CodePage::Encoded CodePage::Encode(std::string_view text, size_t limit, std::string& out, char substitute) const {
    if (!single_) return EncodeMulti(text, limit, out, substitute);
    const size_t start = out.size();
    size_t i = 0;
    while (i < text.size() && out.size() - start < limit) {
        const size_t room = limit - (out.size() - start);
        if (asciiSame_ && static_cast<unsigned char>(text[i]) < 0x80) {
            size_t j = i + 1;
            while (j < text.size() && j - i < room && static_cast<unsigned char>(text[j]) < 0x80) ++j;
            out.append(text.data() + i, j - i);
            i = j;
            continue;
        }
        size_t len = 0;
        const char32_t cp = NextCodePoint(text, i, len);
        auto it = len == 0 ? toByte_.end()
                           : std::lower_bound(toByte_.begin(), toByte_.end(), cp,
                                              [](const auto& e, char32_t c) { return e.first < c; });
        if (it == toByte_.end() || it->first != cp) {
            if (substitute == 0) {
                out.resize(start);
                return {false, std::string(text.substr(i, len ? len : 1))};
            }
            out += substitute;
        } else {
            out += static_cast<char>(it->second);
        }
        i += len ? len : 1;
    }
    return {};
}

CodePage::Encoded CodePage::EncodeMulti(std::string_view text, size_t limit, std::string& out, char substitute) const {
    const size_t start = out.size();
    Converter c(name_.c_str(), "UTF-8");
    size_t i = 0;
    while (i < text.size()) {
        size_t len = 0;
        const char32_t cp = NextCodePoint(text, i, len);
        char bytes[16];
        long n = -1;
        if (len != 0 && cp < 0x80) {
            bytes[0] = static_cast<char>(cp);
            n = 1;
        } else if (len != 0 && c.Ok()) {
            n = c.Convert(text.data() + i, len, bytes, sizeof bytes);
        }
        if (n <= 0) {
            if (substitute == 0) {
                out.resize(start);
                return {false, std::string(text.substr(i, len ? len : 1))};
            }
            bytes[0] = substitute;
            n = 1;
        }
        if (out.size() - start + static_cast<size_t>(n) > limit) break;
        out.append(bytes, static_cast<size_t>(n));
        i += len ? len : 1;
    }
    return {};
}

}  // namespace rt
