// The runtime's string functions. Text is bytes (std::string); positions are
// 1-based and lengths are counted in bytes, as the runtime counts them.
//
// Blanks are spaces (byte 0x20) only: the trims leave tabs, line ends and
// other control bytes in place. Case conversion folds ASCII letters only, so
// UTF-8 text passes through unchanged apart from its ASCII letters.
//
// A result that would exceed kMaxTextLen bytes raises a string-overflow
// error (general code 3) and the function returns "".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rt {

inline constexpr int64_t kMaxTextLen = int64_t{1} << 28;  // 256 MiB

std::string RTrim(std::string_view s);    // trailing spaces removed
std::string Trim(std::string_view s);     // the same as RTrim
std::string LTrim(std::string_view s);    // leading spaces removed
std::string AllTrim(std::string_view s);  // both
// The same as views into s, without a copy, for parsers that go on reading s.
std::string_view RTrimmed(std::string_view s);
std::string_view AllTrimmed(std::string_view s);
// Both ends without ASCII white space (space, tab, CR, LF, VT, FF): for
// lines of text files and settings, where a tab or a line end is no part
// of the value. The trims above remove spaces only, as the language's
// functions do.
std::string_view AllTrimmedWhite(std::string_view s);

// ASCII letters only: other bytes (UTF-8 sequences among them) stay as they
// are, whatever the process locale, so symbols, drivers and port names
// compare the same everywhere.
std::string Upper(std::string_view s);
std::string Lower(std::string_view s);

// The first / last n bytes; "" for n <= 0, the whole text when n is longer.
std::string Left(std::string_view s, int64_t n);
std::string Right(std::string_view s, int64_t n);

// From a 1-based start: 0 counts as 1, a negative start counts back from the
// end (-1 is the last byte, and a start before the first byte is the first).
// A start past the end, or a length <= 0, gives "".
std::string SubStr(std::string_view s, int64_t start);
std::string SubStr(std::string_view s, int64_t start, int64_t length);

// 1-based position of the first / last needle in the haystack; 0 when it is
// absent or the needle is empty.
int64_t At(std::string_view needle, std::string_view haystack);
int64_t RAt(std::string_view needle, std::string_view haystack);

// Replaces occurrences of search (left to right, not overlapping). Replacing
// starts at occurrence `start` (1 = the first; values below 1 count as 1) and
// does at most `count` replacements (nullopt: all; 0 or less: none). An empty
// search text changes nothing.
std::string StrTran(std::string_view s, std::string_view search, std::string_view replace = {}, int64_t start = 1,
                    std::optional<int64_t> count = std::nullopt);

// Deletes `remove` bytes at the 1-based start and inserts `insert` there.
// A start below 1 counts as 1, a start past the end appends.
std::string Stuff(std::string_view s, int64_t start, int64_t remove, std::string_view insert);

std::string Space(int64_t n);                          // "" for n <= 0
std::string Replicate(std::string_view s, int64_t n);  // "" for n <= 0

// Padded with `fill` to n bytes: PadR on the right, PadL on the left, PadC on
// both sides (an odd extra byte goes to the right). A text longer than n is
// cut to its first n bytes by all three; n <= 0 gives "".
std::string PadR(std::string_view s, int64_t n, char fill = ' ');
std::string PadL(std::string_view s, int64_t n, char fill = ' ');
std::string PadC(std::string_view s, int64_t n, char fill = ' ');

int64_t SLen(std::string_view s);

// Where to cut a text to at most `limit` bytes without splitting a UTF-8
// character: `limit` itself, or less when a multi-byte character would be
// cut (its lead byte and continuation bytes go together). Bytes that are not
// UTF-8 (an OEM or ANSI table's) are cut exactly at `limit`.
size_t Utf8Cut(std::string_view s, size_t limit);

}  // namespace rt
