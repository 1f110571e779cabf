// The byte-level work of the CSV export on a character field's bytes: where
// its blanks end, whether it holds a byte that needs more than a copy, and
// whether a count reads as a decimal number. Used by csv.cpp only.
//
// A field of up to 16 bytes is tested in one go: its 16 bytes are classified
// at once (vector compares where the processor has them) and the trimmed
// text is copied as one 16-byte word. Both read and write 16 bytes whatever
// the field's width, so the caller keeps kWordSlack bytes of real, allocated
// slack after the last record it reads and after the text it writes.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace exportdata {

inline constexpr size_t kWordSlack = 16;
inline constexpr size_t kWordField = 16;  // the widest field tested in one go

// Bytes that need more than a copy: the removed and replaced characters
// and every byte beyond ASCII.
inline constexpr auto kSpecial = [] {
    std::array<uint8_t, 256> t{};
    for (int c = 0x80; c < 256; ++c) t[static_cast<size_t>(c)] = 1;
    for (char c : {',', '"', '|', '\r', '\n'}) t[static_cast<uint8_t>(c)] = 1;
    return t;
}();

// Whether any of n bytes is special, eight at a time: a byte beyond ASCII
// has its high bit set, and a byte equal to c leaves a zero byte in w ^ c.
[[gnu::always_inline]] inline bool AnySpecial(const uint8_t* p, size_t n) {
    if (n < 8) {
        uint8_t special = 0;
        for (size_t i = 0; i < n; ++i) special |= kSpecial[p[i]];
        return special != 0;
    }
    constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
    auto hasZero = [](uint64_t v) { return (v - kOnes) & ~v & kHigh; };
    auto test = [&](uint64_t w) {
        return (w & kHigh) | hasZero(w ^ (kOnes * ',')) | hasZero(w ^ (kOnes * '"')) | hasZero(w ^ (kOnes * '|')) |
               hasZero(w ^ (kOnes * '\r')) | hasZero(w ^ (kOnes * '\n'));
    };
    uint64_t found = 0, w;
    for (size_t i = 0; i + 8 < n; i += 8) {
        std::memcpy(&w, p + i, 8);
        found |= test(w);
    }
    std::memcpy(&w, p + n - 8, 8);  // the last eight, overlapping the words before
    return (found | test(w)) != 0;
}

// The bytes between the leading and the trailing blanks, found eight bytes
// at a time: in a word read from memory (little-endian) the last byte is
// the most significant, so the last byte that is not a blank is where the
// highest bit of word ^ blanks lies, and the first where the lowest does.
[[gnu::always_inline]] inline void TrimBlanks(const uint8_t* p, size_t n, size_t& b, size_t& e) {
    static_assert(std::endian::native == std::endian::little);
    constexpr uint64_t kBlanks = 0x2020202020202020ULL;
    b = 0;
    e = n;
    uint64_t w;
    while (e >= 8) {
        std::memcpy(&w, p + e - 8, 8);
        if (uint64_t x = w ^ kBlanks) {
            e = e - 8 + static_cast<size_t>(63 - std::countl_zero(x)) / 8 + 1;
            break;
        }
        e -= 8;
    }
    while (e > 0 && e < 8 && p[e - 1] == ' ') --e;
    while (e - b >= 8) {
        std::memcpy(&w, p + b, 8);
        if (uint64_t x = w ^ kBlanks) {
            b += static_cast<size_t>(std::countr_zero(x)) / 8;
            return;
        }
        b += 8;
    }
    while (b < e && p[b] == ' ') ++b;
}

// What each of 16 bytes is, one bit a byte (bit i for byte i). `look`
// holds the special bytes and every other control character: a text with
// one of them is given to the exact cleaning, which copies a tab as it is.
struct ByteClasses {
    uint32_t blank, look, digit, comma, point, sign;
};

[[gnu::always_inline]] inline ByteClasses Classify16(const uint8_t* p) {
#if defined(__SSE2__)
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    auto eq = [&](char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    auto bits = [](__m128i m) { return static_cast<uint32_t>(_mm_movemask_epi8(m)); };
    const __m128i comma = eq(',');
    ByteClasses r;
    r.blank = bits(eq(' '));
    // Taken as signed, the bytes beyond ASCII are below 0 and so below ' '
    // with the control characters, CR and LF among them.
    r.look =
        bits(_mm_or_si128(_mm_or_si128(_mm_cmplt_epi8(v, _mm_set1_epi8(' ')), comma), _mm_or_si128(eq('"'), eq('|'))));
    // '0'..'9' moved to -128..-119, the only bytes below -118 after the move.
    r.digit = bits(_mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - '0'))),
                                  _mm_set1_epi8(static_cast<char>(-128 + 10))));
    r.comma = bits(comma);
    r.point = bits(eq('.'));
    r.sign = bits(_mm_or_si128(eq('-'), eq('+')));
    return r;
#else
    ByteClasses r{};
    for (unsigned i = 0; i < 16; ++i) {
        const uint8_t c = p[i];
        const uint32_t bit = uint32_t{1} << i;
        if (c == ' ') r.blank |= bit;
        if (kSpecial[c] || c < ' ') r.look |= bit;
        if (c >= '0' && c <= '9') r.digit |= bit;
        if (c == ',') r.comma |= bit;
        if (c == '.') r.point |= bit;
        if (c == '-' || c == '+') r.sign |= bit;
    }
    return r;
#endif
}

// The bits of a field of width bytes (at most 16).
constexpr uint32_t FieldBits(size_t width) { return (uint32_t{1} << width) - 1; }

// A text field of at most 16 bytes (its bits: field) trimmed and copied to
// w when it holds nothing to remove or convert: the end of the copy, or
// nullptr when the field needs more than that.
[[gnu::always_inline]] inline char* CopyPlainText16(char* w, const uint8_t* p, uint32_t field) {
    const ByteClasses c = Classify16(p);
    if (c.look & field) return nullptr;
    const uint32_t text = ~c.blank & field;
    if (text == 0) return w;
    const int b = std::countr_zero(text), e = 32 - std::countl_zero(text);
    std::memcpy(w, p + b, kWordField);
    return w + (e - b);
}

// A count field of at most 16 bytes copied to w, trimmed, when it reads as
// a decimal number (an optional sign, then digits with at most one decimal
// mark among them), its comma made a point: the end of the copy. An empty
// count is written as nothing; other text gives nullptr.
[[gnu::always_inline]] inline char* CopyPlainCount16(char* w, const uint8_t* p, uint32_t field) {
    const ByteClasses c = Classify16(p);
    const uint32_t text = ~c.blank & field;
    if (text == 0) return w;
    const int b = std::countr_zero(text), e = 32 - std::countl_zero(text);
    const uint32_t range = FieldBits(static_cast<size_t>(e)) & ~FieldBits(static_cast<size_t>(b));
    const uint32_t marks = (c.comma | c.point) & range;
    const uint32_t allowed = c.digit | marks | (c.sign & (uint32_t{1} << b));
    if ((range & ~allowed) != 0 || (marks & (marks - 1)) != 0 || (c.digit & range) == 0) return nullptr;
    std::memcpy(w, p + b, kWordField);
    if (const uint32_t comma = c.comma & range) w[std::countr_zero(comma) - b] = '.';
    return w + (e - b);
}

}  // namespace exportdata
