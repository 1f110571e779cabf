#include "platform/os/module.h"

#include <dlfcn.h>
#include <link.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/runtime/text.h"

namespace os {
namespace {

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

std::string BaseName(const std::string& path) {
    size_t sep = path.find_last_of("\\/");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

// "libqzver.so.1.2" -> "qzver"; "qzver.dll" -> "qzver".
std::string Stem(std::string name) {
    name = rt::Lower(name);
    size_t so = name.find(".so");
    if (so != std::string::npos && (so + 3 == name.size() || name[so + 3] == '.')) name.resize(so);
    else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0) name.resize(name.size() - 4);
    if (name.rfind("lib", 0) == 0 && name.size() > 3) name.erase(0, 3);
    return name;
}

int Collect(dl_phdr_info* info, size_t, void* data) {
    if (info->dlpi_name != nullptr && *info->dlpi_name != '\0')
        static_cast<std::vector<std::string>*>(data)->emplace_back(info->dlpi_name);
    return 0;
}

}  // namespace

HMODULE GetModuleHandleA(const char* moduleName) {
    if (moduleName == nullptr) return reinterpret_cast<HMODULE>(::dlopen(nullptr, RTLD_LAZY | RTLD_NOLOAD));
    std::vector<std::string> loaded;
    ::dl_iterate_phdr(Collect, &loaded);
    std::string want = BaseName(moduleName);
    for (const std::string& path : loaded) {
        std::string have = BaseName(path);
        if (rt::Lower(have) != rt::Lower(want) && Stem(have) != Stem(want)) continue;
        // RTLD_NOLOAD only finds a library that is loaded already; the
        // reference it adds is given back at once (the module stays loaded).
        void* h = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (h == nullptr) continue;
        ::dlclose(h);
        return reinterpret_cast<HMODULE>(h);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
}

FARPROC GetProcAddress(HMODULE module, const char* procName) {
    if (module == 0 || procName == nullptr) {
        SetLastError(module == 0 ? static_cast<DWORD>(ERROR_INVALID_HANDLE) : ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* sym = ::dlsym(reinterpret_cast<void*>(module), procName);
    if (sym == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
    return sym;
}

void OutputDebugStringA(const char* text) {
    if (text != nullptr) std::fputs(text, stderr);
}

}  // namespace os
