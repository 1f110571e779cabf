// WinDllVersion: the version of a loaded module read through its own
// DllGetVersion export. A module that is not loaded is never loaded.
#pragma once

#include <cstdint>
#include <string>

#include "platform/runtime/object.h"

namespace lib {

// The Win32 DLLVERSIONINFO record.
struct DllVersionInfo {
    uint32_t cbSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformID;
};
using DllGetVersionFn = int32_t (*)(DllVersionInfo*);

class WinDllVersion : public rt::Object {
    QZ_OBJECT(WinDllVersion)
public:
    rt::Usual INIT(rt::Usual name);
    const std::string& DLL() const { return cDllName; }
    // Stores the name and reads the version; a failed read leaves the
    // numbers as they were.
    rt::Usual SetDll(rt::Usual name);
    bool ISWINNT() const { return PlatformId == 2; }

    std::string cDllName;
    uint32_t MajorVersion = 0;
    uint32_t MinorVersion = 0;
    uint32_t Build = 0;
    uint32_t PlatformId = 0;
};

}  // namespace lib
