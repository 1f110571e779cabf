// libFuzzer target for display pictures: Transform(value, picture) with
// both from the input. The first byte picks the value's kind and the
// separators; the picture runs to the first NUL byte, the value is made of
// what follows (raw bytes for numbers and dates, text for strings).
// Transform must not crash; a string or a number laid into a template has
// the template's length in characters (numbers without the "(", "C" and
// "X" suffixes); valid UTF-8 in gives valid UTF-8 out.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/runtime/codepage.h"
#include "platform/runtime/error.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"

namespace {

constexpr size_t kMaxPicture = 512;

bool Setup() {
    rt::ErrorBlock(rt::Usual::Block([](rt::Args) { return rt::Usual(); }));
    return true;
}

// The number of characters of valid UTF-8 text, or -1 for other bytes.
long Utf8Length(std::string_view s) {
    long n = 0;
    for (size_t i = 0; i < s.size(); ++n) {
        size_t len = 0;
        rt::NextCodePoint(s, i, len);
        if (len == 0) return -1;
        i += len;
    }
    return n;
}

template <class T>
T Raw(std::string_view bytes) {
    T v{};
    if (!bytes.empty()) std::memcpy(&v, bytes.data(), std::min(sizeof v, bytes.size()));
    return v;
}

rt::Usual MakeValue(int kind, std::string_view bytes) {
    switch (kind) {
        case 0: return rt::Usual(Raw<int64_t>(bytes));
        case 1: {
            int16_t decimals = bytes.size() > 8 ? static_cast<int16_t>(static_cast<uint8_t>(bytes[8]) % 40 - 1) : -1;
            return rt::Usual(rt::Float{Raw<double>(bytes), -1, decimals});
        }
        case 2: return rt::Val(bytes);
        case 3: return rt::Usual(bytes);
        case 4: return rt::Usual(rt::Date{Raw<int32_t>(bytes)});
        case 5: return rt::Usual(!bytes.empty() && (bytes[0] & 1));
        default: return rt::Usual();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    if (size < 1) return 0;
    const uint8_t head = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t nul = rest.find('\0');
    std::string_view picture = rest.substr(0, nul);
    std::string_view bytes = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    if (picture.size() > kMaxPicture || bytes.size() > kMaxPicture) return 0;

    static const int kSeps[] = {'.', ',', ' ', '\'', 0, 0xA0, 0xE9, 300};
    const int oldDec = rt::SetDecimalSep(kSeps[(head >> 3) & 7]);
    const int oldThou = rt::SetThousandSep(kSeps[(head >> 6) & 3]);
    const rt::Usual value = MakeValue(head & 7, bytes);
    const std::string out = rt::Transform(value, picture);
    rt::SetDecimalSep(oldDec);
    rt::SetThousandSep(oldThou);

    const long pictureChars = Utf8Length(picture);
    const bool valueText = !value.IsString() || Utf8Length(value.AsStr()) >= 0;
    if (pictureChars >= 0 && valueText && Utf8Length(out) < 0) __builtin_trap();

    // The template and the functions of the picture.
    std::string_view functions, tmpl = picture;
    if (!picture.empty() && picture[0] == '@') {
        const size_t blank = picture.find(' ');
        functions = picture.substr(1, blank == std::string_view::npos ? blank : blank - 1);
        tmpl = blank == std::string_view::npos ? std::string_view() : picture.substr(blank + 1);
    }
    const long tmplChars = Utf8Length(tmpl);
    if (tmpl.empty() || tmplChars < 0 || !valueText) return 0;
    const bool suffixes = functions.find_first_of("(cCxX") != std::string_view::npos;
    if ((value.IsString() || (value.IsNumeric() && !suffixes)) && Utf8Length(out) != tmplChars) __builtin_trap();
    return 0;
}
