#include "lib/system/inifile.h"

#include <vector>

#include "platform/os/profile.h"
#include "platform/os/sysinfo.h"
#include "platform/runtime/files.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/text.h"

namespace lib {

const rt::ClassDef& IniFile::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<IniFile>("INIFILE")
                                       .Method<&IniFile::CREATE>("CREATE")
                                       .Method<&IniFile::DELETEENTRY>("DELETEENTRY")
                                       .Method<&IniFile::DELETESECTION>("DELETESECTION")
                                       .Access<&IniFile::FILENAME>("FILENAME")
                                       .Assign<&IniFile::SetFileName>("FILENAME")
                                       .Method<&IniFile::GETINT>("GETINT")
                                       .Method<&IniFile::GETLOGIC>("GETLOGIC")
                                       .Method<&IniFile::GETSECTION>("GETSECTION")
                                       .Method<&IniFile::GETSTRING>("GETSTRING")
                                       .Method<&IniFile::GETSTRINGUPPER>("GETSTRINGUPPER")
                                       .Method<&IniFile::INIT>("INIT")
                                       .Method<&IniFile::SETINT>("SETINT")
                                       .Method<&IniFile::SETLOGIC>("SETLOGIC")
                                       .Method<&IniFile::SETSTRING>("SETSTRING")
                                       .Done();
    return c;
}

rt::Usual IniFile::INIT(std::string fileName) {
    fileName_ = std::move(fileName);
    return rt::Usual(Self());
}

bool IniFile::CREATE() {
    if (rt::Upper(rt::AllTrim(fileName_)) == "WIN") return false;
    // A bare name is made where the profile functions look for it: in the
    // Windows directory.
    std::string path = fileName_;
    if (!rt::HasDirectoryPart(path)) {
        char dir[260];
        os::GetWindowsDirectoryA(dir, sizeof dir);
        path = std::string(dir) + "\\" + path;
    }
    int h = rt::FCreate2(path, rt::kFcNormal);
    if (h == -1) return false;
    rt::FClose(h);
    return true;
}

std::string IniFile::GETSTRING(std::string section, std::string entry) {
    std::vector<char> buffer(kBufferSize);
    os::DWORD n = os::GetPrivateProfileStringA(section.c_str(), entry.c_str(), " ", buffer.data(), kBufferSize,
                                               fileName_.c_str());
    return rt::AllTrim(std::string_view(buffer.data(), n));
}

std::string IniFile::GETSTRINGUPPER(std::string section, std::string entry) {
    return rt::Upper(GETSTRING(std::move(section), std::move(entry)));
}

int32_t IniFile::GETINT(std::string section, std::string entry) {
    return static_cast<int32_t>(os::GetPrivateProfileIntA(section.c_str(), entry.c_str(), 0, fileName_.c_str()));
}

bool IniFile::GETLOGIC(std::string section, std::string entry) {
    std::string v = rt::AllTrim(GETSTRINGUPPER(std::move(section), std::move(entry)));
    return v == "TRUE" || v == "ON" || v == "YES";
}

rt::Usual IniFile::GETSECTION(std::string section) {
    rt::Usual result = rt::Usual::Array();
    std::vector<char> buffer(kBufferSize);
    os::DWORD n =
        os::GetPrivateProfileStringA(section.c_str(), nullptr, nullptr, buffer.data(), kBufferSize, fileName_.c_str());
    std::string_view names(buffer.data(), n);
    // Every NUL ends a name.
    while (!names.empty()) {
        size_t nul = names.find('\0');
        if (nul == std::string_view::npos) break;
        std::string name(names.substr(0, nul));
        names.remove_prefix(nul + 1);
        result.AAdd(rt::Usual::Array({rt::Usual(name), rt::Usual(GETSTRING(section, name))}));
    }
    return result;
}

bool IniFile::SETSTRING(std::string section, rt::Usual entry, rt::Usual value) {
    std::string e = entry.IsNil() ? std::string() : rt::AsString(entry);
    std::string v = value.IsNil() ? std::string() : rt::AsString(value);
    return os::WritePrivateProfileStringA(section.c_str(), entry.IsNil() ? nullptr : e.c_str(),
                                          value.IsNil() ? nullptr : v.c_str(), fileName_.c_str()) != 0;
}

bool IniFile::SETINT(std::string section, std::string entry, int32_t value) {
    return SETSTRING(std::move(section), rt::Usual(entry), rt::Usual(std::to_string(value)));
}

bool IniFile::SETLOGIC(std::string section, std::string entry, bool value) {
    return SETSTRING(std::move(section), rt::Usual(entry), rt::Usual(value ? "TRUE" : "FALSE"));
}

bool IniFile::DELETEENTRY(std::string section, std::string entry) {
    return SETSTRING(std::move(section), rt::Usual(entry), rt::Usual());
}

bool IniFile::DELETESECTION(std::string section) { return SETSTRING(std::move(section), rt::Usual(), rt::Usual()); }

}  // namespace lib
