#include "lib/system/windllversion.h"

#include "platform/os/module.h"

namespace lib {

const rt::ClassDef& WinDllVersion::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<WinDllVersion>("WINDLLVERSION")
                                       .IVar<&WinDllVersion::cDllName>("CDLLNAME")
                                       .IVar<&WinDllVersion::MajorVersion>("MAJORVERSION")
                                       .IVar<&WinDllVersion::MinorVersion>("MINORVERSION")
                                       .IVar<&WinDllVersion::Build>("BUILD")
                                       .IVar<&WinDllVersion::PlatformId>("PLATFORMID")
                                       .Method<&WinDllVersion::INIT>("INIT")
                                       .Access<&WinDllVersion::DLL>("DLL")
                                       .Assign<&WinDllVersion::SetDll>("DLL")
                                       .Access<&WinDllVersion::ISWINNT>("ISWINNT")
                                       .Done();
    return c;
}

rt::Usual WinDllVersion::INIT(rt::Usual name) {
    SetDll(name);
    return rt::Usual(Self());
}

rt::Usual WinDllVersion::SetDll(rt::Usual name) {
    cDllName = name.IsString() ? name.AsStr() : std::string();
    os::HMODULE module = os::GetModuleHandleA(cDllName.c_str());
    if (module == 0) return rt::Usual(Self());
    auto fn = reinterpret_cast<DllGetVersionFn>(os::GetProcAddress(module, "DllGetVersion"));
    if (fn == nullptr) return rt::Usual(Self());
    DllVersionInfo info{};
    info.cbSize = sizeof info;
    if (fn(&info) == 0) {
        MajorVersion = info.dwMajorVersion;
        MinorVersion = info.dwMinorVersion;
        Build = info.dwBuildNumber;
        PlatformId = info.dwPlatformID;
    }
    return rt::Usual(Self());
}

}  // namespace lib
