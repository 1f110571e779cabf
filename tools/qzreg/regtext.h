// Key names as people type them, value data as text, and the .reg file
// format of the registry editor (version 5: UTF-16 LE with a byte-order
// mark), for qzreg.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/os/registry.h"

namespace qzreg {

struct KeyName {
    os::HKEY root = 0;
    std::string rootName;  // "HKEY_CURRENT_USER"
    std::string path;      // below the root, no leading or trailing backslash
    std::string Full() const { return path.empty() ? rootName : rootName + "\\" + path; }
};
// "HKCU\Software\X" or "HKEY_CURRENT_USER\Software\X"; nullopt when the
// root is not one of the five.
std::optional<KeyName> ParseKeyName(const std::string& text);

std::string TypeName(os::DWORD type);
std::optional<os::DWORD> TypeFromName(const std::string& name);

// The data as the query verb shows it.
std::string DataText(os::DWORD type, const std::string& data);
// The data of an add from its text: nullopt when the text does not fit the
// type (a DWORD that is not a number, odd hex digits).
std::optional<std::string> DataFromText(os::DWORD type, const std::string& text, const std::string& separator);

// UTF-8 to UTF-16 LE and back, byte for byte: a byte that is not part of
// valid UTF-8 becomes the lone surrogate U+DC80..U+DCFF and comes back as
// that byte, so any stored string survives the trip.
std::string ToUtf16(const std::string& text);
std::string FromUtf16(const std::string& bytes);

struct Value {
    std::string name;
    os::DWORD type = os::REG_SZ;
    std::string data;
};
// One value line of a .reg file (without its line end).
std::string ValueLine(const Value& v);

// A parsed .reg file: keys in order, each with its values in order; a key
// or value to delete is marked. Lines count from 1, as an editor shows them.
struct FileValue {
    Value value;
    bool remove = false;
    size_t line = 0;
};
struct FileKey {
    std::string name;
    bool remove = false;
    size_t line = 0;
    std::vector<FileValue> values;
};
// nullopt with a reason naming the line in *error for a file that is not a
// .reg file.
std::optional<std::vector<FileKey>> ParseRegFile(const std::string& bytes, std::string* error);

}  // namespace qzreg
