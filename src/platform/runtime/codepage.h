// Code pages: text stored in a code page's bytes, to and from the runtime's
// text (UTF-8).
//
// A single-byte code page converts through two tables built once from the
// system's iconv: 256 entries from byte to UTF-8, and the code points back
// to bytes. Bytes below 0x80 that stand for themselves (every code page here)
// are copied as they are. Every byte of a single-byte code page reads as one
// character and that character writes back as the same byte: a byte the code
// page leaves undefined reads as the control or Latin-1 character of its
// value (U+0081 for 0x81), or as U+F700 plus the byte when that character is
// taken already. So text read and written back unchanged keeps its bytes.
//
// A multi-byte code page (932, 936, 949, 950) converts through iconv each
// time; a byte sequence it cannot read gives U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

class CodePage {
public:
    // The code page of an iconv name ("CP437", "CP1252"), built on first use
    // and kept for the process; nullptr when the system cannot convert it.
    // "CP1252" is built in where iconv lacks it. Safe to call from any thread.
    static const CodePage* Named(std::string_view iconvName);

    CodePage(const CodePage&) = delete;
    CodePage& operator=(const CodePage&) = delete;

    const std::string& Name() const { return name_; }
    bool SingleByte() const { return single_; }

    // Appends the text of n bytes of this code page to out. Never fails.
    void Decode(const uint8_t* p, size_t n, std::string& out) const;
    std::string Decode(std::string_view bytes) const;

    // How an encoding went: the bytes written, and the first character that
    // could not be written (`bad` holds it as UTF-8, or the offending byte
    // of text that is not UTF-8).
    struct Encoded {
        bool ok = true;
        std::string bad;
    };
    // Appends text in this code page's bytes to out, whole characters only
    // and at most `limit` bytes: characters past the limit are dropped. A
    // character the code page cannot hold stops the encoding when
    // `substitute` is 0 (nothing is appended then); otherwise it is written
    // as that byte.
    Encoded Encode(std::string_view text, size_t limit, std::string& out, char substitute = 0) const;

    // U+XXXX of the first character of UTF-8 text, for messages.
    static std::string CodePointName(std::string_view utf8);

private:
    CodePage() = default;
    bool BuildSingleByte();
    void DecodeMulti(const uint8_t* p, size_t n, std::string& out) const;
    Encoded EncodeMulti(std::string_view text, size_t limit, std::string& out, char substitute) const;

    std::string name_;
    bool single_ = false;
    bool asciiSame_ = false;  // bytes 0x00-0x7F are the ASCII characters
    // Single-byte: UTF-8 of each byte (up to 4 bytes and the length), and
    // the code points with their bytes, sorted for lookup.
    struct Utf8Char {
        char bytes[4];
        uint8_t len;
    };
    Utf8Char toText_[256] = {};
    std::vector<std::pair<char32_t, uint8_t>> toByte_;
};

// Whether every byte is below 0x80: such bytes read the same in every code
// page here, and callers copy them as they are. Eight bytes at a time.
inline bool IsAscii(const uint8_t* p, size_t n) {
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    uint64_t w = 0, all = 0;
    if (n < 8) {
        for (size_t i = 0; i < n; ++i) all |= p[i];
        return (all & 0x80) == 0;
    }
    std::memcpy(&w, p + n - 8, 8);  // the last eight, overlapping the words before
    if (n <= 16) {                  // a usual field: two words, no loop
        std::memcpy(&all, p, 8);
        return ((all | w) & kHigh) == 0;
    }
    for (size_t i = 0; i + 8 < n; i += 8) {
        uint64_t v;
        std::memcpy(&v, p + i, 8);
        all |= v;
    }
    return ((all | w) & kHigh) == 0;
}

// The code point of the UTF-8 character at s[i] and its length in bytes;
// length 0 when the bytes there are not UTF-8.
char32_t NextCodePoint(std::string_view s, size_t i, size_t& len);
void AppendUtf8(char32_t cp, std::string& out);

}  // namespace rt
