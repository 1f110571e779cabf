#include "platform/rdd/rdd.h"

#include <algorithm>
#include <mutex>

#include "platform/rdd/dbflayout.h"
#include "platform/rdd/dbftable.h"
#include "platform/runtime/error.h"
#include "platform/runtime/paths.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace rdd {
namespace {

std::mutex gMutex;
std::string gDefaultDriver = "DBFCDX";
std::vector<OpenTable*> gOpen;
bool gQuitHandlerAdded = false;

bool IsSep(char c) { return c == '/' || c == '\\'; }

// Reads one structure entry {name, type, width, decimals}.
bool ReadEntry(const rt::Usual& e, size_t index, dbf::FieldDesc& f, dbf::Fault& fault) {
    std::string label = "structure entry " + std::to_string(index);
    if (!e.IsArray() || e.ALen() < 3) {
        fault = dbf::MakeFault(rt::kGenArg, label + " is not {name, type, width, decimals}");
        return false;
    }
    if (!e.At(1).IsString() || !e.At(2).IsString() || e.At(2).AsStr().empty() || !e.At(3).IsNumeric() ||
        (e.ALen() >= 4 && !e.At(4).IsNil() && !e.At(4).IsNumeric())) {
        fault = dbf::MakeFault(rt::kGenArg, label + " is not {name, type, width, decimals}");
        return false;
    }
    f.name = rt::AllTrim(e.At(1).AsStr());
    f.type = e.At(2).AsStr()[0];
    int64_t width = e.At(3).AsLong();
    int64_t dec = e.ALen() >= 4 ? e.At(4).AsLong() : 0;
    if (width < 0 || width > 65535 || dec < 0 || dec > 255) {
        fault = dbf::MakeFault(rt::kGenCreate, label + " has an impossible width or decimals");
        return false;
    }
    f.width = static_cast<int>(width);
    f.decimals = static_cast<int>(dec);
    return true;
}

}  // namespace

namespace {
bool gSoftSeek = false;
}  // namespace

bool SetSoftSeek() { return gSoftSeek; }
bool SetSoftSeek(bool on) {
    bool was = gSoftSeek;
    gSoftSeek = on;
    return was;
}

std::string RDDSetDefault(std::string_view name) {
    std::lock_guard lock(gMutex);
    std::string old = gDefaultDriver;
    std::string n = rt::Upper(rt::AllTrim(name));
    if (!n.empty()) gDefaultDriver = n;
    return old;
}

rt::Usual RDDInfo(int setting) {
    if (setting == kRddDefaultDriver) {
        std::lock_guard lock(gMutex);
        return rt::Usual(gDefaultDriver);
    }
    return rt::Usual();
}

rt::Usual RDDInfo(int setting, const rt::Usual& value) {
    if (setting == kRddDefaultDriver)
        return rt::Usual(RDDSetDefault(value.IsString() ? std::string_view(value.AsStr()) : ""));
    return rt::Usual();
}

std::vector<std::string> RDDStack(std::string_view driver) {
    std::string name = rt::Upper(rt::AllTrim(driver));
    if (name.empty()) name = RDDSetDefault();
    // Every driver here shares the one DBF engine; the index drivers differ
    // only by name, as no index files are kept.
    if (name == "DBF") return {"DBF"};
    if (name == "DBFNTX" || name == "DBFCDX" || name == "DBFMDX") return {"DBF", name};
    return {};
}

std::string TablePath(std::string_view fileName, bool forCreate) {
    std::string name = rt::AllTrim(fileName);
    bool hasDir = std::any_of(name.begin(), name.end(), IsSep) || (name.size() >= 2 && name[1] == ':');
    if (!hasDir) {
        std::string dir = rt::GetDefault();
        if (!dir.empty()) name = dir + (IsSep(dir.back()) ? "" : "/") + name;
    }
    size_t lastSep = name.find_last_of("/\\");
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || (lastSep != std::string::npos && dot < lastSep)) name += ".dbf";
    return forCreate ? rt::ResolvePathForCreate(name) : rt::ResolvePath(name);
}

dbf::Fault RDDCreate(const std::string& nativePath, const rt::Usual& structure,
                     const std::vector<std::string>& drivers) {
    if (drivers.empty()) return dbf::MakeFault(rt::kGenCreate, "no such table driver");
    if (!structure.IsArray()) return dbf::MakeFault(rt::kGenArg, "the structure is not an array");
    std::vector<dbf::FieldDesc> fields;
    dbf::Fault fault;
    for (size_t i = 1; i <= structure.ALen(); ++i) {
        dbf::FieldDesc f;
        if (!ReadEntry(structure.At(i), i, f, fault)) return fault;
        fields.push_back(std::move(f));
    }
    return dbf::Table::Create(nativePath, std::move(fields), rt::SetAnsi() ? dbf::kCodePageAnsi : dbf::kCodePageOem);
}

rt::Usual DBCreate(const std::string& fileName, const rt::Usual& structure, std::string_view driver) {
    std::vector<std::string> drivers = RDDStack(driver);
    std::string driverName = drivers.empty() ? rt::Upper(rt::AllTrim(driver)) : drivers.back();
    for (uint32_t tries = 1;; ++tries) {
        std::string path = TablePath(fileName, true);
        dbf::Fault f = drivers.empty() ? dbf::MakeFault(rt::kGenCreate, "no table driver named " + driverName)
                                       : RDDCreate(path, structure, drivers);
        if (!f) return rt::Usual(true);
        rt::ErrorRef e = rt::MakeError(f.genCode, "DBCREATE");
        e->SubSystem = driverName;
        e->OsCode = static_cast<uint32_t>(f.osCode);
        e->Description = path + ": " + f.description;
        e->FileName = path;
        e->FuncSym = rt::Symbol("DBCREATE");
        e->CanDefault = true;
        e->CanRetry = f.canRetry;
        e->Tries = tries;
        rt::Usual answer = rt::RaiseError(e);
        if (!rt::WantsRetry(*e, answer)) return answer;
    }
}

void RegisterOpenTable(OpenTable* t) {
    bool addHandler = false;
    {
        std::lock_guard lock(gMutex);
        gOpen.push_back(t);
        addHandler = !std::exchange(gQuitHandlerAdded, true);
    }
    if (addHandler) rt::AddQuitHandler([] { RDDCloseAll(); });
}

void UnregisterOpenTable(OpenTable* t) {
    std::lock_guard lock(gMutex);
    gOpen.erase(std::remove(gOpen.begin(), gOpen.end(), t), gOpen.end());
}

size_t OpenTableCount() {
    std::lock_guard lock(gMutex);
    return gOpen.size();
}

void RDDCloseAll() {
    // Each close unregisters its table, so take them one at a time.
    for (;;) {
        OpenTable* t = nullptr;
        {
            std::lock_guard lock(gMutex);
            if (gOpen.empty()) return;
            t = gOpen.back();
        }
        t->CloseForQuit();
        UnregisterOpenTable(t);  // in case the close kept it registered
    }
}

}  // namespace rdd
