#include "lib/system/library.h"

#include "lib/system/fileobject.h"
#include "lib/system/inifile.h"
#include "lib/system/logfile.h"
#include "lib/system/registry.h"
#include "lib/system/tktask.h"
#include "lib/system/windllversion.h"
#include "lib/system/workstation.h"
#include "platform/runtime/text.h"

namespace lib {

void RegisterSystemClasses() {
    rt::FileSpec::StaticClass();
    FileObject::StaticClass();
    IniFile::StaticClass();
    LogFile::StaticClass();
    ClassRegistry::StaticClass();
    TKTask::StaticClass();
    WinDllVersion::StaticClass();
    ClassHKLM::StaticClass();
    ClassHKCU::StaticClass();
    ClassHKCR::StaticClass();
}

const std::vector<NamedFunction>& SystemFunctions() {
    static const std::vector<NamedFunction> functions = {
        {"LASTPROCERRORASTEXT", [](rt::Args) { return rt::Usual(LASTPROCERRORASTEXT()); }},
        {"MAKELANGID",
         [](rt::Args a) {
             return rt::Usual(MAKELANGID(a.size() > 0 ? a[0].AsLong() : 0, a.size() > 1 ? a[1].AsLong() : 0));
         }},
        {"QZGETCOMPUTERNAME", [](rt::Args) { return rt::Usual(QZGetComputerName()); }},
        {"MAPDRIVE",
         [](rt::Args a) {
             auto arg = [&](size_t i) { return i < a.size() ? a[i].AsStr() : std::string(); };
             return MapDrive(arg(0), arg(1), arg(2), arg(3));
         }},
    };
    return functions;
}

const NamedFunction* FindSystemFunction(std::string_view name) {
    std::string upper = rt::Upper(name);
    for (const NamedFunction& f : SystemFunctions())
        if (f.name == upper) return &f;
    return nullptr;
}

}  // namespace lib
