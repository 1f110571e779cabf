// The registry: the Win32 registry functions over SQLite stores.
//
// HKEY_CURRENT_USER lives in the user's store, every other root in the
// machine store (docs/os-services.md says where; QZ_REGISTRY_DIR moves both).
// HKEY_CLASSES_ROOT is HKEY_LOCAL_MACHINE\SOFTWARE\Classes and
// HKEY_CURRENT_CONFIG is the key "Hardware Profiles\Current" below
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet, as on Windows. Key and value names compare
// without regard to ASCII case and keep the case they were created with.
// Every change is one SQLite transaction in WAL mode: a second process
// writing at the same time waits (up to ten seconds) instead of failing, and
// a crash leaves the store as it was before or after the change.
#pragma once

#include <string>

#include "platform/os/win32.h"

namespace os {

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr HKEY HKEY_USERS = 0x80000003;
inline constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
inline constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
inline constexpr HKEY HKEY_DYN_DATA = 0x80000006;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The longest key name component and value name.
inline constexpr size_t kMaxKeyNameLength = 255;
inline constexpr size_t kMaxValueNameLength = 16383;

struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

[[nodiscard]] LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM access, HKEY* result);
[[nodiscard]] LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, const char* keyClass, DWORD options,
                                   REGSAM access, const void* security, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
// A data pointer of null asks for the type and size only. A buffer smaller
// than the data gives ERROR_MORE_DATA with the size needed in *size and the
// buffer untouched.
[[nodiscard]] LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                                    DWORD* size);
[[nodiscard]] LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                                  DWORD size);
// Subkeys in ASCII case-insensitive order of their names.
[[nodiscard]] LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, char* keyClass,
                                 DWORD* classLength, FILETIME* lastWrite);
// Values in the order they were first set.
[[nodiscard]] LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* nameLength, DWORD* reserved, DWORD* type,
                                 BYTE* data, DWORD* dataSize);
[[nodiscard]] LONG RegDeleteValueA(HKEY key, const char* valueName);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED for one that has
// some, and for a predefined root).
[[nodiscard]] LONG RegDeleteKeyA(HKEY key, const char* subKey);
// Writes the store's log through to the disk.
[[nodiscard]] LONG RegFlushKey(HKEY key);

// The store files now in use (for tools and docs) and a reset that closes
// them, so that a changed QZ_REGISTRY_DIR takes effect.
std::string RegistryMachineStorePath();
std::string RegistryUserStorePath();
void RegCloseStores();

}  // namespace os
