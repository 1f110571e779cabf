#include "lib/system/registry.h"

#include <cstring>
#include <vector>

#include "platform/runtime/text.h"

namespace lib {
namespace {

// Blanks off both ends, then trailing and leading backslashes while more
// than one character is left.
std::string Normalise(const std::string& path) {
    std::string s = rt::AllTrim(path);
    while (s.size() > 1 && s.back() == '\\') s.pop_back();
    size_t lead = 0;
    while (s.size() - lead > 1 && s[lead] == '\\') ++lead;
    return s.substr(lead);
}

}  // namespace

const rt::ClassDef& ClassRegistry::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ClassRegistry>("_CLASS_REGISTRY")
                                       .Method<&ClassRegistry::INIT>("INIT")
                                       .Access<&ClassRegistry::WORKING_SUBKEY>("WORKING_SUBKEY")
                                       .Assign<&ClassRegistry::SetWorkingSubkey>("WORKING_SUBKEY")
                                       .Access<&ClassRegistry::HKEY>("HKEY")
                                       .Assign<&ClassRegistry::SetHKEY>("HKEY")
                                       .Access<&ClassRegistry::LASTERROR>("LASTERROR")
                                       .Assign<&ClassRegistry::SetLastError>("LASTERROR")
                                       .Method<&ClassRegistry::BUILD_FULL_SUBKEY>("BUILD_FULL_SUBKEY")
                                       .Method<&ClassRegistry::GETSTRING>("GETSTRING")
                                       .Method<&ClassRegistry::GETINT>("GETINT")
                                       .Method<&ClassRegistry::CREATEKEY>("CREATEKEY")
                                       .Method<&ClassRegistry::CREATESUBKEY>("CREATESUBKEY")
                                       .Method<&ClassRegistry::WRITESTRING>("WRITESTRING")
                                       .Method<&ClassRegistry::WRITEINT>("WRITEINT")
                                       .Method<&ClassRegistry::GET_SUBKEY_VALUENAMES>("GET_SUBKEY_VALUENAMES")
                                       .Method<&ClassRegistry::DELETEVALUE>("DELETEVALUE")
                                       .Method<&ClassRegistry::DELETEVALUENAME>("DELETEVALUENAME")
                                       .Method<&ClassRegistry::DELETESUBKEY>("DELETESUBKEY")
                                       .Method<&ClassRegistry::FLUSH>("FLUSH")
                                       .Done();
    return c;
}

const rt::ClassDef& ClassHKLM::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ClassHKLM>("CLASS_HKLM", &ClassRegistry::StaticClass()).Done();
    return c;
}
const rt::ClassDef& ClassHKCU::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ClassHKCU>("CLASS_HKCU", &ClassRegistry::StaticClass()).Done();
    return c;
}
const rt::ClassDef& ClassHKCR::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<ClassHKCR>("CLASS_HKCR", &ClassRegistry::StaticClass()).Done();
    return c;
}

rt::Usual ClassRegistry::INIT() {
    workingSubkey_.clear();
    keyClass_.clear();
    lastError_ = 0;
    // The subclasses' fixed roots come back through their own assign.
    SetHKEY(rt::Usual(static_cast<int64_t>(os::HKEY_LOCAL_MACHINE)));
    return rt::Usual(Self());
}

std::string ClassRegistry::SetWorkingSubkey(std::string path) {
    workingSubkey_ = Normalise(path);
    return workingSubkey_;
}

int64_t ClassRegistry::SetHKEY(rt::Usual value) {
    uint64_t v = value.IsPtr() ? reinterpret_cast<uintptr_t>(value.AsPtr().address)
                               : static_cast<uint64_t>(value.AsLong());
    switch (v) {
        case os::HKEY_CLASSES_ROOT:
        case os::HKEY_CURRENT_USER:
        case os::HKEY_LOCAL_MACHINE:
        case os::HKEY_USERS:
        case os::HKEY_CURRENT_CONFIG:
        case os::HKEY_DYN_DATA: root_ = static_cast<os::HKEY>(v); break;
        default: root_ = os::HKEY_LOCAL_MACHINE;
    }
    return static_cast<int64_t>(root_);
}

std::string ClassRegistry::BUILD_FULL_SUBKEY(std::string subkey) const {
    std::string s = Normalise(subkey);
    if (s == "\\") s.clear();
    // A working subkey that is a lone backslash counts as empty here.
    std::string working = workingSubkey_ == "\\" ? std::string() : workingSubkey_;
    if (s.empty()) return working;
    if (working.empty()) return s;
    return working + "\\" + s;
}

bool ClassRegistry::Query(const std::string& subkey, const std::string& valueName, os::DWORD* type, void* data,
                          os::DWORD size) {
    std::string path = BUILD_FULL_SUBKEY(subkey);
    os::HKEY key = 0;
    lastError_ = os::RegOpenKeyExA(root_, path.c_str(), 0, os::KEY_QUERY_VALUE, &key);
    if (lastError_ != os::ERROR_SUCCESS) return false;
    lastError_ = os::RegQueryValueExA(key, valueName.c_str(), nullptr, type, static_cast<os::BYTE*>(data), &size);
    os::RegCloseKey(key);
    return lastError_ == os::ERROR_SUCCESS;
}

std::string ClassRegistry::GETSTRING(std::string subkey, std::string valueName) {
    std::vector<char> buffer(kBufferSize + 1, ' ');
    buffer[kBufferSize] = '\0';
    os::DWORD type = 0;
    std::string result;
    // A value too long for the buffer (ERROR_MORE_DATA) reads as empty: the
    // buffer was not filled.
    if (Query(subkey, valueName, &type, buffer.data(), kBufferSize) && type == os::REG_SZ)
        result.assign(buffer.data(), ::strnlen(buffer.data(), kBufferSize));
    return rt::RTrim(result);
}

int32_t ClassRegistry::GETINT(std::string subkey, std::string valueName) {
    uint32_t word = 0;
    os::DWORD type = 0;
    if (Query(subkey, valueName, &type, &word, sizeof word) && type == os::REG_DWORD) return static_cast<int32_t>(word);
    return 0;
}

bool ClassRegistry::Create(const std::string& subkey, os::HKEY* key) {
    std::string path = BUILD_FULL_SUBKEY(subkey);
    os::DWORD disposition = 0;
    lastError_ = os::RegCreateKeyExA(root_, path.c_str(), 0, keyClass_.c_str(), os::REG_OPTION_NON_VOLATILE,
                                     os::KEY_SET_VALUE | os::KEY_CREATE_SUB_KEY, nullptr, key, &disposition);
    return lastError_ == os::ERROR_SUCCESS;
}

int32_t ClassRegistry::CREATEKEY(std::string subkey) {
    os::HKEY key = 0;
    // The key exists now; its handle is not kept.
    if (Create(subkey, &key)) os::RegCloseKey(key);
    return lastError_;
}

int32_t ClassRegistry::Write(const std::string& subkey, const std::string& valueName, os::DWORD type, const void* data,
                             os::DWORD size) {
    os::HKEY key = 0;
    if (Create(subkey, &key)) {
        lastError_ = os::RegSetValueExA(key, valueName.c_str(), 0, type, static_cast<const os::BYTE*>(data), size);
        os::RegCloseKey(key);
    }
    return lastError_;
}

int32_t ClassRegistry::WRITESTRING(std::string subkey, std::string valueName, std::string text) {
    if (text.size() > kMaxWrite) text.resize(kMaxWrite);
    return Write(subkey, valueName, os::REG_SZ, text.c_str(), static_cast<os::DWORD>(text.size() + 1));
}

int32_t ClassRegistry::WRITEINT(std::string subkey, std::string valueName, int32_t value) {
    return Write(subkey, valueName, os::REG_DWORD, &value, sizeof value);
}

rt::Usual ClassRegistry::GET_SUBKEY_VALUENAMES(std::string subkey) {
    rt::Usual names = rt::Usual::Array();
    std::string path = BUILD_FULL_SUBKEY(subkey);
    os::HKEY key = 0;
    lastError_ = os::RegOpenKeyExA(root_, path.c_str(), 0, os::KEY_ENUMERATE_SUB_KEYS, &key);
    if (lastError_ != os::ERROR_SUCCESS) return names;
    std::vector<char> buffer(kBufferSize + 1, ' ');
    buffer[kBufferSize] = '\0';
    for (os::DWORD index = 0;; ++index) {
        os::DWORD length = kBufferSize;
        os::FILETIME written;
        lastError_ = os::RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, &written);
        if (lastError_ != os::ERROR_SUCCESS && lastError_ != os::ERROR_MORE_DATA) break;
        names.AAdd(rt::Usual(std::string(buffer.data(), ::strnlen(buffer.data(), kBufferSize))));
    }
    if (lastError_ == os::ERROR_NO_MORE_ITEMS) lastError_ = os::ERROR_SUCCESS;
    os::RegCloseKey(key);
    return names;
}

int32_t ClassRegistry::DELETEVALUE(std::string subkey, std::string valueName) {
    std::string path = BUILD_FULL_SUBKEY(subkey);
    os::HKEY key = 0;
    lastError_ = os::RegOpenKeyExA(root_, path.c_str(), 0, os::KEY_SET_VALUE | os::KEY_CREATE_SUB_KEY, &key);
    if (lastError_ == os::ERROR_SUCCESS) {
        lastError_ = os::RegDeleteValueA(key, valueName.c_str());
        os::RegCloseKey(key);
    }
    return lastError_;
}

int32_t ClassRegistry::DELETESUBKEY(std::string subkey) {
    std::string path = BUILD_FULL_SUBKEY(subkey);
    return lastError_ = os::RegDeleteKeyA(root_, path.c_str());
}

int32_t ClassRegistry::FLUSH() { return lastError_ = os::RegFlushKey(root_); }

}  // namespace lib
