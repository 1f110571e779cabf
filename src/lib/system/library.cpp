#include "lib/system/library.h"

#include "lib/system/inifile.h"
#include "lib/system/registry.h"
#include "platform/runtime/text.h"

namespace libsys {

void RegisterSystemClasses() {
    IniFile::StaticClass();
    ClassRegistry::StaticClass();
    ClassHKLM::StaticClass();
    ClassHKCU::StaticClass();
    ClassHKCR::StaticClass();
}

const std::vector<NamedFunction>& SystemFunctions() {
    static const std::vector<NamedFunction> functions = {
    };
    return functions;
}

const NamedFunction* FindSystemFunction(std::string_view name) {
    std::string upper = rt::Upper(name);
    for (const NamedFunction& f : SystemFunctions())
        if (f.name == upper) return &f;
    return nullptr;
}

}  // namespace libsys
