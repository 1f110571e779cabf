// _CLASS_REGISTRY and its three subclasses: one registry operation per call
// on a root key and a working subkey, each opening and closing its key; the
// Win32 result is returned and kept in LASTERROR. Nothing is raised.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os/registry.h"
#include "platform/runtime/object.h"

namespace lib {

class ClassRegistry : public rt::Object {
    QZ_OBJECT(ClassRegistry)
public:
    // The size of the read buffer of GETSTRING and GET_SUBKEY_VALUENAMES,
    // and the longest text WRITESTRING stores.
    static constexpr size_t kBufferSize = 2048;
    static constexpr size_t kMaxWrite = 2046;

    ClassRegistry() = default;
    rt::Usual INIT();

    const std::string& WORKING_SUBKEY() const { return workingSubkey_; }
    std::string SetWorkingSubkey(std::string path);
    int64_t HKEY() const { return static_cast<int64_t>(root_); }
    // Stores one of the six predefined roots; anything else gives
    // HKEY_LOCAL_MACHINE. Takes a number or a pointer.
    virtual int64_t SetHKEY(rt::Usual value);
    int32_t LASTERROR() const { return lastError_; }
    int32_t SetLastError(int32_t code) { return lastError_ = code; }

    std::string BUILD_FULL_SUBKEY(std::string subkey) const;
    std::string GETSTRING(std::string subkey, std::string valueName);
    int32_t GETINT(std::string subkey, std::string valueName);
    int32_t CREATEKEY(std::string subkey);
    int32_t CREATESUBKEY(std::string subkey) { return CREATEKEY(std::move(subkey)); }
    int32_t WRITESTRING(std::string subkey, std::string valueName, std::string text);
    int32_t WRITEINT(std::string subkey, std::string valueName, int32_t value);
    // The names of the subkeys of the key (not its values).
    rt::Usual GET_SUBKEY_VALUENAMES(std::string subkey);
    int32_t DELETEVALUE(std::string subkey, std::string valueName);
    int32_t DELETEVALUENAME(std::string subkey, std::string valueName) {
        return DELETEVALUE(std::move(subkey), std::move(valueName));
    }
    int32_t DELETESUBKEY(std::string subkey);
    int32_t FLUSH();

protected:
    os::HKEY root_ = os::HKEY_LOCAL_MACHINE;

private:
    // Opens the key, reads the value into data (size bytes) and closes the
    // key; true on success, LASTERROR set either way.
    bool Query(const std::string& subkey, const std::string& valueName, os::DWORD* type, void* data, os::DWORD size);
    bool Create(const std::string& subkey, os::HKEY* key);
    int32_t Write(const std::string& subkey, const std::string& valueName, os::DWORD type, const void* data,
                  os::DWORD size);

    std::string workingSubkey_;
    std::string keyClass_;
    int32_t lastError_ = 0;
};

// A registry object fixed to one root: its HKEY assign ignores the value.
template <os::HKEY Root>
class FixedRootRegistry : public ClassRegistry {
public:
    FixedRootRegistry() { root_ = Root; }
    int64_t SetHKEY(rt::Usual) override { return static_cast<int64_t>(root_ = Root); }
};

class ClassHKLM : public FixedRootRegistry<os::HKEY_LOCAL_MACHINE> {
    QZ_OBJECT(ClassHKLM)
};
class ClassHKCU : public FixedRootRegistry<os::HKEY_CURRENT_USER> {
    QZ_OBJECT(ClassHKCU)
};
class ClassHKCR : public FixedRootRegistry<os::HKEY_CLASSES_ROOT> {
    QZ_OBJECT(ClassHKCR)
};

}  // namespace lib
