#include "platform/runtime/text.h"

#include <algorithm>

#include "platform/runtime/error.h"

namespace rt {
namespace {

// True when a result of `len` bytes is allowed; raises a string-overflow
// error otherwise.
bool FitsLimit(int64_t len, std::string_view operation) {
    if (len <= kMaxTextLen) return true;
    RaiseError(MakeError(kGenStrOverflow, operation));
    return false;
}

int64_t Len(std::string_view s) { return static_cast<int64_t>(s.size()); }
size_t U(int64_t n) { return static_cast<size_t>(n); }

}  // namespace

std::string_view RTrimmed(std::string_view s) {
    size_t end = s.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::string_view AllTrimmed(std::string_view s) {
    size_t begin = s.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    return s.substr(begin, s.find_last_not_of(' ') - begin + 1);
}

std::string_view AllTrimmedWhite(std::string_view s) {
    constexpr std::string_view kWhite = " \t\r\n\v\f";
    size_t begin = s.find_first_not_of(kWhite);
    if (begin == std::string_view::npos) return {};
    return s.substr(begin, s.find_last_not_of(kWhite) - begin + 1);
}

std::string RTrim(std::string_view s) { return std::string(RTrimmed(s)); }

std::string Trim(std::string_view s) { return RTrim(s); }

std::string LTrim(std::string_view s) {
    size_t begin = s.find_first_not_of(' ');
    return begin == std::string_view::npos ? std::string() : std::string(s.substr(begin));
}

std::string AllTrim(std::string_view s) { return std::string(AllTrimmed(s)); }

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Left(std::string_view s, int64_t n) {
    if (n <= 0) return {};
    return std::string(s.substr(0, U(std::min(n, Len(s)))));
}

std::string Right(std::string_view s, int64_t n) {
    if (n <= 0) return {};
    n = std::min(n, Len(s));
    return std::string(s.substr(s.size() - U(n)));
}

std::string SubStr(std::string_view s, int64_t start) { return SubStr(s, start, Len(s)); }

std::string SubStr(std::string_view s, int64_t start, int64_t length) {
    int64_t len = Len(s);
    if (start < 0) start = std::max<int64_t>(len + start + 1, 1);
    if (start == 0) start = 1;
    if (start > len || length <= 0) return {};
    return std::string(s.substr(U(start - 1), U(std::min(length, len - start + 1))));
}

int64_t At(std::string_view needle, std::string_view haystack) {
    if (needle.empty()) return 0;
    size_t pos = haystack.find(needle);
    return pos == std::string_view::npos ? 0 : static_cast<int64_t>(pos) + 1;
}

int64_t RAt(std::string_view needle, std::string_view haystack) {
    if (needle.empty()) return 0;
    size_t pos = haystack.rfind(needle);
    return pos == std::string_view::npos ? 0 : static_cast<int64_t>(pos) + 1;
}

std::string StrTran(std::string_view s, std::string_view search, std::string_view replace, int64_t start,
                    std::optional<int64_t> count) {
    if (search.empty()) return std::string(s);
    if (start < 1) start = 1;
    int64_t left = count ? *count : INT64_MAX;
    std::string out;
    int64_t occurrence = 0;
    size_t pos = 0;
    while (left > 0) {
        size_t hit = s.find(search, pos);
        if (hit == std::string_view::npos) break;
        ++occurrence;
        out.append(s.substr(pos, hit - pos));
        if (occurrence >= start) {
            out.append(replace);
            --left;
        } else {
            out.append(search);
        }
        pos = hit + search.size();
        if (!FitsLimit(Len(out), "STRTRAN")) return {};
    }
    out.append(s.substr(pos));
    if (!FitsLimit(Len(out), "STRTRAN")) return {};
    return out;
}

std::string Stuff(std::string_view s, int64_t start, int64_t remove, std::string_view insert) {
    int64_t len = Len(s);
    start = std::clamp<int64_t>(start, 1, len + 1);
    remove = std::clamp<int64_t>(remove, 0, len - start + 1);
    if (!FitsLimit(len - remove + Len(insert), "STUFF")) return {};
    std::string out(s.substr(0, U(start - 1)));
    out.append(insert);
    out.append(s.substr(U(start - 1 + remove)));
    return out;
}

std::string Space(int64_t n) {
    if (n <= 0 || !FitsLimit(n, "SPACE")) return {};
    return std::string(U(n), ' ');
}

std::string Replicate(std::string_view s, int64_t n) {
    if (n <= 0 || s.empty()) return {};
    // Checked by division so that the product cannot overflow.
    if (n > kMaxTextLen / Len(s)) {
        FitsLimit(kMaxTextLen + 1, "REPLICATE");
        return {};
    }
    std::string out;
    out.reserve(U(n * Len(s)));
    for (int64_t i = 0; i < n; ++i) out.append(s);
    return out;
}

std::string PadR(std::string_view s, int64_t n, char fill) {
    if (n <= 0 || !FitsLimit(n, "PADR")) return {};
    if (Len(s) >= n) return std::string(s.substr(0, U(n)));
    std::string out(s);
    out.append(U(n - Len(s)), fill);
    return out;
}

std::string PadL(std::string_view s, int64_t n, char fill) {
    if (n <= 0 || !FitsLimit(n, "PADL")) return {};
    if (Len(s) >= n) return std::string(s.substr(0, U(n)));
    std::string out(U(n - Len(s)), fill);
    out.append(s);
    return out;
}

std::string PadC(std::string_view s, int64_t n, char fill) {
    if (n <= 0 || !FitsLimit(n, "PADC")) return {};
    if (Len(s) >= n) return std::string(s.substr(0, U(n)));
    int64_t extra = n - Len(s);
    std::string out(U(extra / 2), fill);
    out.append(s);
    out.append(U(extra - extra / 2), fill);
    return out;
}

int64_t SLen(std::string_view s) { return Len(s); }

size_t Utf8Cut(std::string_view s, size_t limit) {
    if (s.size() <= limit) return s.size();
    auto continuation = [&](size_t i) { return (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80; };
    if (!continuation(limit)) return limit;  // the cut falls between characters
    // Back up over at most three continuation bytes to the lead byte.
    size_t lead = limit;
    while (lead > 0 && limit - lead < 3 && continuation(lead)) --lead;
    const auto b = static_cast<unsigned char>(s[lead]);
    const size_t len = b >= 0xF0 && b < 0xF8 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    // A lead byte whose character runs past the cut: cut before it.
    if (len != 0 && lead + len > limit) return lead;
    return limit;
}

}  // namespace rt
