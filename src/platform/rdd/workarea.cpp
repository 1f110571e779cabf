#include "platform/rdd/workarea.h"

#include <mutex>
#include <unordered_map>

#include "platform/runtime/macro.h"
#include "platform/runtime/macrofuncs.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

namespace rt {
namespace {

std::mutex gMutex;
Usual gCurrent;
std::unordered_map<Symbol, Usual> gAliases;

bool IsServer(const Usual& v) { return v.IsObject() && v.AsObject() != nullptr; }

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return Upper(dot == std::string::npos ? name : name.substr(0, dot));
}

std::optional<FieldBinding> Lookup(std::string_view alias, std::string_view name) {
    Usual server = alias.empty() ? CurrentArea() : AliasArea(alias);
    if (!IsServer(server) || !IsMethod(server, Symbol("FIELDPOS"))) return std::nullopt;
    const Usual nameArg[] = {Usual(Symbol(name))};
    Usual pos = Send(server, Symbol("FIELDPOS"), Args(nameArg, 1));
    if (!pos.IsNumeric() || pos.AsLong() <= 0) return std::nullopt;
    FieldBinding b;
    b.get = [server, pos] {
        const Usual a[] = {pos};
        return Send(server, Symbol("FIELDGET"), Args(a, 1));
    };
    b.put = [server, pos](const Usual& v) {
        const Usual a[] = {pos, v};
        return Send(server, Symbol("FIELDPUT"), Args(a, 2));
    };
    return b;
}

// A function of the current area: the server's method of the same name,
// or `none` when no area is selected.
Function AreaFunction(const char* method, Usual none) {
    Symbol sym(method);
    return [sym, none](Args) {
        Usual server = CurrentArea();
        if (!IsServer(server)) return none;
        return Send(server, sym, {});
    };
}

}  // namespace

void InstallWorkAreas() {
    static const bool once = [] {
        SetCurrentFieldLookup(Lookup);
        RegisterFunction("DELETED", AreaFunction("DELETED", Usual(false)));
        RegisterFunction("RECNO", AreaFunction("RECNO", Usual(0)));
        RegisterFunction("EOF", AreaFunction("EOF", Usual(true)));
        RegisterFunction("BOF", AreaFunction("BOF", Usual(true)));
        RegisterFunction("LASTREC", AreaFunction("LASTREC", Usual(0)));
        RegisterFunction("RECCOUNT", AreaFunction("RECCOUNT", Usual(0)));
        // DBSELECTAREA(server) or DBSELECTAREA("alias"): answers the area
        // selected before.
        RegisterFunction("DBSELECTAREA", [](Args a) {
            if (a.empty()) return CurrentArea();
            if (a[0].IsString()) return SelectArea(AliasArea(a[0].AsStr()));
            if (IsServer(a[0]) || a[0].IsNil()) return SelectArea(a[0]);
            return ArgFault("DBSELECTAREA", 1, a[0], "a data server or an alias");
        });
        return true;
    }();
    (void)once;
}

Usual SelectArea(const Usual& server) {
    std::lock_guard lock(gMutex);
    Usual previous = gCurrent;
    gCurrent = IsServer(server) ? server : Usual();
    return previous;
}

Usual CurrentArea() {
    std::lock_guard lock(gMutex);
    return gCurrent;
}

void SetAlias(std::string_view alias, const Usual& server) {
    std::lock_guard lock(gMutex);
    if (IsServer(server))
        gAliases[Symbol(alias)] = server;
    else
        gAliases.erase(Symbol(alias));
}

Usual AliasArea(std::string_view alias) {
    Usual current;
    {
        std::lock_guard lock(gMutex);
        auto it = gAliases.find(Symbol(alias));
        if (it != gAliases.end()) return it->second;
        current = gCurrent;
    }
    if (IsServer(current) && IsAccess(current, Symbol("FILENAME"))) {
        Usual file = IVarGet(current, Symbol("FILENAME"));
        if (file.IsString() && BaseName(file.AsStr()) == Upper(alias)) return current;
    }
    return Usual();
}

}  // namespace rt
