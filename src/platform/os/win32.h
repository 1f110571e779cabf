// The Win32 types, constants and error codes of the OS services in this
// folder. The services keep the Win32 calling conventions (ANSI texts,
// in/out size words, a LONG result or a BOOL with the thread's last error),
// so that library code calls them as a Windows program calls Windows.
#pragma once

#include <cstdint>

namespace os {

using DWORD = uint32_t;
using LONG = int32_t;
using UINT = uint32_t;
using BOOL = int;
using BYTE = uint8_t;
using WORD = uint16_t;
using REGSAM = uint32_t;
// Handles are numbers: predefined registry roots, open keys, processes.
using HKEY = uintptr_t;
using HANDLE = uintptr_t;

inline constexpr BOOL TRUE_ = 1;
inline constexpr BOOL FALSE_ = 0;

// Win32 error codes the services return.
enum : LONG {
    ERROR_SUCCESS = 0,
    ERROR_INVALID_FUNCTION = 1,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_PATH_NOT_FOUND = 3,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_NOT_ENOUGH_MEMORY = 8,
    ERROR_OUTOFMEMORY = 14,
    ERROR_GEN_FAILURE = 31,
    ERROR_SHARING_VIOLATION = 32,
    ERROR_LOCK_VIOLATION = 33,
    ERROR_BAD_NETPATH = 53,
    ERROR_UNEXP_NET_ERR = 59,
    ERROR_BAD_NET_NAME = 67,
    ERROR_ALREADY_ASSIGNED = 85,
    ERROR_INVALID_PASSWORD = 86,
    ERROR_INVALID_PARAMETER = 87,
    ERROR_BUFFER_OVERFLOW = 111,
    ERROR_DISK_FULL = 112,
    ERROR_SEM_TIMEOUT = 121,
    ERROR_INSUFFICIENT_BUFFER = 122,
    ERROR_BAD_PATHNAME = 161,
    ERROR_BUSY = 170,
    ERROR_BAD_EXE_FORMAT = 193,
    ERROR_DIRECTORY_INVALID = 267,
    ERROR_FILENAME_EXCED_RANGE = 206,
    ERROR_MORE_DATA = 234,
    ERROR_NO_MORE_ITEMS = 259,
    ERROR_MR_MID_NOT_FOUND = 317,
    ERROR_OPERATION_ABORTED = 995,
    ERROR_IO_INCOMPLETE = 996,
    ERROR_IO_PENDING = 997,
    ERROR_BADDB = 1009,
    ERROR_CANTOPEN = 1011,
    ERROR_REGISTRY_IO_FAILED = 1016,
    ERROR_KEY_DELETED = 1018,
    ERROR_DEVICE_NOT_CONNECTED = 1167,
    ERROR_NOT_FOUND = 1168,
    ERROR_BAD_DEVICE = 1200,
    ERROR_DEVICE_ALREADY_REMEMBERED = 1202,
    ERROR_NO_NETWORK = 1222,
    ERROR_LOGON_FAILURE = 1326,
    ERROR_RESOURCE_LANG_NOT_FOUND = 1815,
    ERROR_NOT_CONNECTED = 2250,
};

// The thread's last error (GetLastError / SetLastError).
DWORD GetLastError();
void SetLastError(DWORD code);

}  // namespace os
