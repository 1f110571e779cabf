// Network drives: WNetAddConnection2A and WNetCancelConnection2A over
// mount.cifs (cifs-utils).
//
// A connection mounts "\\server\share" at a folder of its own (below
// QZ_NETDRIVE_DIR, default /run/qzscan/net/<uid>) and maps the drive letter
// onto it in this process's drive map. The user name and password reach
// mount.cifs in a credentials file that only this process can read and
// that is removed as soon as the mount returns; they are never on a command
// line. CONNECT_UPDATE_PROFILE remembers the connection in the registry
// (HKEY_CURRENT_USER\Network\<letter>, as Windows keeps it). QZ_CIFS_OPTIONS
// adds mount options (a port, a protocol version).
#pragma once

#include "platform/os/win32.h"

namespace os {

inline constexpr DWORD RESOURCETYPE_ANY = 0;
inline constexpr DWORD RESOURCETYPE_DISK = 1;
inline constexpr DWORD CONNECT_UPDATE_PROFILE = 1;

struct NETRESOURCEA {
    DWORD dwScope = 0;
    DWORD dwType = 0;
    DWORD dwDisplayType = 0;
    DWORD dwUsage = 0;
    char* lpLocalName = nullptr;
    char* lpRemoteName = nullptr;
    char* lpComment = nullptr;
    char* lpProvider = nullptr;
};

// NO_ERROR, or: 1202 for a letter remembered for this share (now
// connected), 85 for a letter connected or remembered for another share,
// 1200 for a local name that is not a drive letter, 67 for a remote name
// that is not "\\server\share" or a share the server does not have, 53 for
// a server that cannot be reached, 1326 for refused credentials, 1222 when
// this machine cannot mount network shares, 5 when it may not.
[[nodiscard]] DWORD WNetAddConnection2A(const NETRESOURCEA* resource, const char* password, const char* userName,
                                        DWORD flags);
// Disconnects "X:"; 2250 when it is not connected, 2401 while files are open
// on it and force is not set.
[[nodiscard]] DWORD WNetCancelConnection2A(const char* name, DWORD flags, BOOL force);

}  // namespace os
