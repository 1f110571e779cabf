#include "platform/os/sysinfo.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/runtime/text.h"

namespace os {
namespace {

constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;

UINT CopyOut(const std::string& text, char* buffer, UINT size) {
    if (buffer == nullptr || text.size() + 1 > size) return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

std::string WindowsDirectory() {
    const char* env = std::getenv("windir");
    std::string dir = env != nullptr && *env != '\0' ? env : "C:\\WINDOWS";
    while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
    return dir;
}

}  // namespace

UINT GetWindowsDirectoryA(char* buffer, UINT size) { return CopyOut(WindowsDirectory(), buffer, size); }

UINT GetSystemDirectoryA(char* buffer, UINT size) { return CopyOut(WindowsDirectory() + "\\system32", buffer, size); }

DWORD GetEnvironmentVariableA(const char* name, char* buffer, DWORD size) {
    const char* value = name == nullptr ? nullptr : std::getenv(name);
    if (value == nullptr) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    return CopyOut(value, buffer, size);
}

std::string NetBiosNameOf(std::string_view hostName) {
    std::string_view label = hostName.substr(0, hostName.find('.'));
    return rt::Upper(label.substr(0, MAX_COMPUTERNAME_LENGTH));
}

BOOL GetComputerNameA(char* buffer, DWORD* size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE_;
    }
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE_;
    }
    const std::string name = NetBiosNameOf(host);
    if (buffer == nullptr || name.size() + 1 > *size) {
        *size = static_cast<DWORD>(name.size() + 1);
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return FALSE_;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *size = static_cast<DWORD>(name.size());
    return TRUE_;
}

}  // namespace os
