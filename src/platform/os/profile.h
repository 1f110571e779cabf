// The private-profile API: INI files read and written as the Win32
// functions do.
//
// Section and key names compare without regard to ASCII case. A line
// "[name]" starts a section; "key=value" is an entry (blanks around the
// name and the value are not part of them); a line starting with ";" is a
// comment. Of two sections with the same name the first is the one read and
// written, and so is the first of two equal keys in it. A bare file name
// lives in the Windows directory (GetWindowsDirectoryA). A byte-order mark
// tells a UTF-8 or UTF-16 file (read as the runtime's UTF-8 text); CR LF and
// LF line ends are read alike, and a write keeps the encoding, the mark, the
// line ends and every line it does not change byte for byte. Writes are
// made under a lock on the folder through the runtime's AtomicReplace: the
// file keeps its mode, owner and links, and what the OS would refuse to a
// write in place is refused with the file left as it was.
#pragma once

#include "platform/os/win32.h"

#include <string>

namespace os {

// With a section and a key: the value, without one pair of matching
// quotes, or the default with its trailing blanks removed; cut to size - 1
// characters. With a null key: the section's key names, one per entry line
// (a repeated name again); with a null section: the section names, each
// once. Each name ends in NUL, with one more NUL at the end; cut to fit
// with two NULs, the count then being size - 2. The result is the number
// of characters copied, terminators not counted.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buffer, DWORD size,
                               const char* fileName);
// The value's leading number: a sign, then "0x" and hex digits or decimal
// digits; 0 when there are none; the default when the entry is missing.
UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* fileName);
// Sets an entry, making the file and the section as needed. A null value
// deletes the entry, a null key the section (every section of that name);
// a delete that finds nothing is TRUE and makes no file. FALSE with the
// last error for a name or value that would break the file's lines (87), a
// folder that does not exist (3), no write access (5), a full disk (112).
[[nodiscard]] BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                              const char* fileName);

// The native path a profile file name stands for.
std::string ProfileFilePath(const char* fileName);

}  // namespace os
