// libFuzzer target for profile (INI) files: any bytes as a file, every
// section and key read; then one key set (in an existing section and in a
// new one) and one deleted, each on the file as read. After each write the
// file, read again, must hold the value written (or no value for a delete),
// every other key's value unchanged, and every line the write did not
// concern byte for byte as it was.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "platform/os/profilefile.h"
#include "platform/runtime/codepage.h"
#include "platform/runtime/text.h"

namespace {

using os::profile::File;
using os::profile::Line;
using Key = std::pair<std::string, std::string>;
using Values = std::map<Key, std::string>;

// What a reader gets: the value of each key of the first section of each
// name, the first entry of each key name counting.
Values Read(const File& f) {
    Values out;
    std::set<std::string> sections;
    std::string section;
    bool first = false;  // the current section is the first of its name
    for (const Line& l : f.lines) {
        if (l.kind == Line::kSection) {
            section = rt::Upper(l.name);
            first = sections.insert(section).second;
        } else if (l.kind == Line::kKey && first && !sections.empty()) {
            out.emplace(Key{section, rt::Upper(l.name)}, l.value);
        }
    }
    return out;
}

std::string Bytes(const Line& l) { return (l.raw ? *l.raw : l.text) + '|' + l.end; }

bool ValidUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        size_t len = 0;
        rt::NextCodePoint(s, i, len);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

// The file after the write, as a reader of its bytes sees it.
File Written(const File& before, std::string_view section, std::optional<std::string_view> key,
             std::optional<std::string_view> value) {
    File f = before;
    os::profile::Write(f, section, key, value);
    File after = os::profile::Parse(os::profile::Serialise(f));
    if (after.encoding != before.encoding) __builtin_trap();
    return after;
}

void CheckSet(const File& before, std::string_view section, std::string_view key, std::string_view value) {
    if (!os::profile::Writable(section, key, value)) return;
    // The runtime's text is UTF-8; a UTF-16 file holds no other.
    const bool wide = before.encoding == os::profile::Encoding::kUtf16Le ||
                      before.encoding == os::profile::Encoding::kUtf16Be;
    if (wide && !(ValidUtf8(section) && ValidUtf8(key) && ValidUtf8(value))) return;
    const File after = Written(before, section, key, value);
    Values expected = Read(before);
    expected[Key{rt::Upper(rt::AllTrimmedWhite(section)), rt::Upper(rt::AllTrimmedWhite(key))}] =
        std::string(rt::AllTrimmedWhite(value));
    if (Read(after) != expected) __builtin_trap();
    // One run of lines changed: at most the key's own line, or the last
    // line that got a line end, and at most two new lines.
    const auto& a = before.lines;
    const auto& b = after.lines;
    size_t head = 0, tail = 0;
    while (head < a.size() && head < b.size() && Bytes(a[head]) == Bytes(b[head])) ++head;
    while (tail < a.size() - head && tail < b.size() - head &&
           Bytes(a[a.size() - 1 - tail]) == Bytes(b[b.size() - 1 - tail]))
        ++tail;
    const size_t gone = a.size() - head - tail, added = b.size() - head - tail;
    if (gone > 1 || added < gone || added - gone > 2) __builtin_trap();
    if (gone == 1) {
        const Line& old = a[head];
        // A last line's CR may join the line end it gets.
        const bool lastGotEnd = head + 1 == a.size() && old.end.empty() && b[head].kind == old.kind &&
                                b[head].name == old.name && b[head].value == old.value;
        if (!lastGotEnd && !(old.kind == Line::kKey && os::profile::SameName(old.name, rt::AllTrimmedWhite(key))))
            __builtin_trap();
    }
}

void CheckDelete(const File& before, std::string_view section, std::string_view key) {
    if (!os::profile::Writable(section, key, std::nullopt)) return;
    const File after = Written(before, section, key, std::nullopt);
    Values expected = Read(before);
    expected.erase(Key{rt::Upper(rt::AllTrimmedWhite(section)), rt::Upper(rt::AllTrimmedWhite(key))});
    if (Read(after) != expected) __builtin_trap();
    // The lines left are the lines before, less entries of that key.
    size_t j = 0;
    for (const Line& l : before.lines) {
        if (j < after.lines.size() && Bytes(after.lines[j]) == Bytes(l)) ++j;
        else if (l.kind != Line::kKey || !os::profile::SameName(l.name, rt::AllTrimmedWhite(key))) __builtin_trap();
    }
    if (j != after.lines.size()) __builtin_trap();
}

// Text from the input for a new name or value: without NUL, CR and LF.
std::string Cleaned(std::string_view s) {
    std::string out;
    for (char c : s.substr(0, 64))
        if (c != '\0' && c != '\r' && c != '\n') out += c;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const File file = os::profile::Parse(bytes);
    if (os::profile::Serialise(file) != bytes) __builtin_trap();  // read, then written unchanged
    // A section with an entry, its first key, and text for new names and
    // values from the file's last line.
    std::string section = "Fuzz", key = "Key";
    for (size_t i = 0, cur = SIZE_MAX; i < file.lines.size(); ++i) {
        if (file.lines[i].kind == Line::kSection) cur = i;
        if (file.lines[i].kind == Line::kKey && cur != SIZE_MAX) {
            section = file.lines[cur].name;
            key = file.lines[i].name;
            break;
        }
    }
    const std::string text = file.lines.empty() ? std::string("v") : Cleaned(file.lines.back().text);
    CheckSet(file, section, key, text);
    CheckSet(file, section, "Added Key", text);
    CheckSet(file, text, key, "1");
    CheckSet(file, "New " + text, "k " + text, text);
    CheckDelete(file, section, key);
    CheckDelete(file, text, text);
    return 0;
}
