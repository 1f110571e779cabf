// A profile (INI) file as lines: what each line is, and the bytes the file
// is written back as. The file's encoding is told by its byte-order mark:
// none (bytes, read as the runtime's text), UTF-8, UTF-16 little- or
// big-endian. Lines hold the runtime's text (UTF-8); a line read from a
// UTF-16 file keeps its original bytes, so a line no write touched goes
// back exactly as it was read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace os::profile {

enum class Encoding { kBytes, kUtf8Bom, kUtf16Le, kUtf16Be };

// One line of the file as it stands, and what it is.
struct Line {
    enum Kind { kOther, kSection, kKey } kind = kOther;
    std::string text;   // without its line end, as the runtime's text
    std::string end;    // "\r\n", "\n" or "" (the last line)
    std::string name;   // section or key name
    std::string value;  // a key's value, blanks removed
    // The line's bytes in a UTF-16 file as read; dropped when it changes.
    std::optional<std::string> raw;
};

struct File {
    Encoding encoding = Encoding::kBytes;
    std::vector<Line> lines;
    std::string newline = "\r\n";  // for added lines: the file's own first line end
};

File Parse(std::string_view data);
std::string Serialise(const File& f);

// A line of the given text, classified as Parse would.
Line MakeLine(std::string text);

// ASCII case-insensitive equality, as section and key names compare.
bool SameName(std::string_view a, std::string_view b);
// The first section of that name (blanks around it ignored, as in the
// file): [header index, end index).
std::optional<std::pair<size_t, size_t>> FindSection(const File& f, std::string_view name);
// The first entry of that name (blanks around it ignored) within a
// section's lines.
std::optional<size_t> FindKey(const File& f, std::pair<size_t, size_t> sec, std::string_view key);

// Whether a write of these names and value keeps the file's lines whole: a
// section name without ']' or a line end; a key that, trimmed, is not empty,
// starts with neither '[' nor ';' and holds no '=' or line end; a value
// without a line end. No key or no value is a delete.
bool Writable(std::string_view section, std::optional<std::string_view> key, std::optional<std::string_view> value);
// Sets an entry of the first section of that name: its first entry of the
// key is rewritten in place, else a new one follows the section's last
// entry; a missing section is added at the end. No value deletes the key's
// entries in that section, no key every section of that name with its
// lines. Lines the change does not concern stay as they were; true when a
// line changed.
bool Write(File& f, std::string_view section, std::optional<std::string_view> key,
           std::optional<std::string_view> value);

}  // namespace os::profile
