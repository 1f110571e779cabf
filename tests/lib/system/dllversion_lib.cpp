// A shared library with a DllGetVersion export, for WinDllVersion's tests.
// It takes the caller's record type, so that the call through the looked-up
// address has the function's own type (UBSan's function check holds a call
// through a pointer of another type against it).
#include <cstdint>

#include "lib/system/windllversion.h"

extern "C" __attribute__((visibility("default"))) int32_t DllGetVersion(lib::DllVersionInfo* info) {
    if (info == nullptr || info->cbSize != sizeof(lib::DllVersionInfo)) return -1;
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 1;
    info->dwBuildNumber = 7601;
    info->dwPlatformID = 2;
    return 0;
}
