// The private-profile API: INI files read and written as the Win32
// functions do.
//
// Section and key names compare without regard to ASCII case. A line
// "[name]" starts a section; "key=value" is an entry (blanks around the
// name and the value are not part of them); a line starting with ";" is a
// comment. Of two sections with the same name the first is the one read and
// written, and so is the first of two equal keys in it. A bare file name
// lives in the Windows directory (GetWindowsDirectoryA). A UTF-8 byte-order
// mark and CR LF or LF line ends are read alike, and a write keeps them and
// every other line of the file as they were. Writes go to a temporary file
// renamed over the old one, under a lock on the folder, so a reader sees the
// old or the new file and two writers lose nothing.
#pragma once

#include "platform/os/win32.h"

#include <string>

namespace os {

// With a section and a key: the value, without one pair of matching
// quotes, or the default with its trailing blanks removed; cut to size - 1
// characters. With a null key: the section's key names, with a null
// section: the section names, each ending in NUL with one more NUL at the
// end; cut to fit with two NULs, the count then being size - 2. The result
// is the number of characters copied, terminators not counted.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer, DWORD size,
                               const char* fileName);
// The value's leading number: a sign, then "0x" and hex digits or decimal
// digits; 0 when there are none; the default when the entry is missing.
UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* fileName);
// Sets an entry, making the file and the section as needed. A null value
// deletes the entry, a null key the section (every section of that name).
// FALSE with the last error for a name or value that would break the
// file's lines (87), a folder that does not exist (3) or no write access.
[[nodiscard]] BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                              const char* fileName);

// The native path a profile file name stands for.
std::string ProfileFilePath(const char* fileName);

}  // namespace os
