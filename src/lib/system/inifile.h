// IniFile: one INI file through the private-profile API, with typed getters
// and setters. Reads fall back to their defaults; writes return the Win32
// success flag. GETSTRING and SETSTRING are virtual: the compound members
// go through them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/runtime/object.h"

namespace lib {

class IniFile : public rt::Object {
    QZ_OBJECT(IniFile)
public:
    static constexpr size_t kBufferSize = 1024;

    rt::Usual INIT(std::string fileName);
    const std::string& FILENAME() const { return fileName_; }
    std::string SetFileName(std::string name) { return fileName_ = std::move(name); }

    bool CREATE();
    virtual std::string GETSTRING(std::string section, std::string entry);
    std::string GETSTRINGUPPER(std::string section, std::string entry);
    int32_t GETINT(std::string section, std::string entry);
    bool GETLOGIC(std::string section, std::string entry);
    rt::Usual GETSECTION(std::string section);
    // A nil entry deletes the section, a nil value the entry.
    virtual bool SETSTRING(std::string section, rt::Usual entry, rt::Usual value);
    bool SETINT(std::string section, std::string entry, int32_t value);
    bool SETLOGIC(std::string section, std::string entry, bool value);
    bool DELETEENTRY(std::string section, std::string entry);
    bool DELETESECTION(std::string section);

private:
    std::string fileName_;
};

}  // namespace lib
