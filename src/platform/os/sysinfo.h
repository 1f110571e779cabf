// The Windows directory, the system directory, environment variables and
// the computer name.
//
// The Windows directory is the value of the environment variable "windir"
// when set (a Windows path such as "C:\WINDOWS"), else "C:\WINDOWS"; it is
// reached through the drive map like any other Windows path. The system
// directory is its "system32" folder.
#pragma once

#include <string>
#include <string_view>

#include "platform/os/win32.h"

namespace os {

inline constexpr DWORD MAX_COMPUTERNAME_LENGTH = 15;

// Copies the directory (no final backslash) and answers its length; when
// the buffer is too small, the size needed (terminator included).
UINT GetWindowsDirectoryA(char* buffer, UINT size);
UINT GetSystemDirectoryA(char* buffer, UINT size);
// The variable's value and its length; 0 with error 203 when it is not set;
// the size needed when the buffer is too small.
DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size);
// The NetBIOS form of a host name: its first label, upper-cased and cut to
// MAX_COMPUTERNAME_LENGTH characters (as Samba derives its NetBIOS name).
std::string NetBiosNameOf(std::string_view hostName);
// The NetBIOS name of this host (NetBiosNameOf the host name), so a buffer
// of MAX_COMPUTERNAME_LENGTH + 1 bytes always holds it. *size is the
// buffer's size on entry and the name's length on success; a buffer too
// small fails with ERROR_BUFFER_OVERFLOW and *size the size needed.
[[nodiscard]] BOOL GetComputerNameA(char* buffer, DWORD* size);

}  // namespace os
