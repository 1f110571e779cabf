#include "platform/rdd/workarea.h"

#include <mutex>
#include <unordered_map>

#include "platform/runtime/macro.h"
#include "platform/runtime/macrofuncs.h"
#include "platform/runtime/object.h"
#include "platform/runtime/text.h"

namespace rdd {
namespace {

std::mutex gMutex;
rt::Usual gCurrent;
std::unordered_map<rt::Symbol, rt::Usual> gAliases;

bool IsServer(const rt::Usual& v) { return v.IsObject() && v.AsObject() != nullptr; }

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    return rt::Upper(dot == std::string::npos ? name : name.substr(0, dot));
}

std::optional<rt::FieldBinding> Lookup(std::string_view alias, std::string_view name) {
    rt::Usual server = alias.empty() ? CurrentArea() : AliasArea(alias);
    if (!IsServer(server) || !rt::IsMethod(server, rt::Symbol("FIELDPOS"))) return std::nullopt;
    const rt::Usual nameArg[] = {rt::Usual(rt::Symbol(name))};
    rt::Usual pos = rt::Send(server, rt::Symbol("FIELDPOS"), rt::Args(nameArg, 1));
    if (!pos.IsNumeric() || pos.AsLong() <= 0) return std::nullopt;
    rt::FieldBinding b;
    b.get = [server, pos] {
        const rt::Usual a[] = {pos};
        return rt::Send(server, rt::Symbol("FIELDGET"), rt::Args(a, 1));
    };
    b.put = [server, pos](const rt::Usual& v) {
        const rt::Usual a[] = {pos, v};
        return rt::Send(server, rt::Symbol("FIELDPUT"), rt::Args(a, 2));
    };
    return b;
}

// A function of the current area: the server's method of the same name,
// or `none` when no area is selected.
rt::Function AreaFunction(const char* method, rt::Usual none) {
    rt::Symbol sym(method);
    return [sym, none](rt::Args) {
        rt::Usual server = CurrentArea();
        if (!IsServer(server)) return none;
        return rt::Send(server, sym, {});
    };
}

}  // namespace

void InstallWorkAreas() {
    static const bool once = [] {
        rt::SetCurrentFieldLookup(Lookup);
        rt::RegisterFunction("DELETED", AreaFunction("DELETED", rt::Usual(false)));
        rt::RegisterFunction("RECNO", AreaFunction("RECNO", rt::Usual(0)));
        rt::RegisterFunction("EOF", AreaFunction("EOF", rt::Usual(true)));
        rt::RegisterFunction("BOF", AreaFunction("BOF", rt::Usual(true)));
        rt::RegisterFunction("LASTREC", AreaFunction("LASTREC", rt::Usual(0)));
        rt::RegisterFunction("RECCOUNT", AreaFunction("RECCOUNT", rt::Usual(0)));
        // DBSELECTAREA(server) or DBSELECTAREA("alias"): answers the area
        // selected before.
        rt::RegisterFunction("DBSELECTAREA", [](rt::Args a) {
            if (a.empty()) return CurrentArea();
            if (a[0].IsString()) return SelectArea(AliasArea(a[0].AsStr()));
            if (IsServer(a[0]) || a[0].IsNil()) return SelectArea(a[0]);
            return rt::ArgFault("DBSELECTAREA", 1, a[0], "a data server or an alias");
        });
        return true;
    }();
    (void)once;
}

rt::Usual SelectArea(const rt::Usual& server) {
    std::lock_guard lock(gMutex);
    rt::Usual previous = gCurrent;
    gCurrent = IsServer(server) ? server : rt::Usual();
    return previous;
}

rt::Usual CurrentArea() {
    std::lock_guard lock(gMutex);
    return gCurrent;
}

void SetAlias(std::string_view alias, const rt::Usual& server) {
    std::lock_guard lock(gMutex);
    if (IsServer(server)) gAliases[rt::Symbol(alias)] = server;
    else gAliases.erase(rt::Symbol(alias));
}

rt::Usual AliasArea(std::string_view alias) {
    rt::Usual current;
    {
        std::lock_guard lock(gMutex);
        auto it = gAliases.find(rt::Symbol(alias));
        if (it != gAliases.end()) return it->second;
        current = gCurrent;
    }
    if (IsServer(current) && IsAccess(current, rt::Symbol("FILENAME"))) {
        rt::Usual file = IVarGet(current, rt::Symbol("FILENAME"));
        if (file.IsString() && BaseName(file.AsStr()) == rt::Upper(alias)) return current;
    }
    return rt::Usual();
}

}  // namespace rdd
