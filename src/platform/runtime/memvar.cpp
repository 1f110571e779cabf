#include "platform/runtime/memvar.h"

#include <mutex>
#include <unordered_map>

#include "platform/runtime/symbol.h"

namespace rt {
namespace {

std::mutex gMutex;

std::unordered_map<Symbol, Usual>& Vars() {
    static std::unordered_map<Symbol, Usual> vars;
    return vars;
}

}  // namespace

bool MemVarExists(std::string_view name) {
    std::lock_guard lock(gMutex);
    return Vars().count(Symbol(name)) > 0;
}

std::optional<Usual> MemVarGet(std::string_view name) {
    std::lock_guard lock(gMutex);
    auto it = Vars().find(Symbol(name));
    if (it == Vars().end()) return std::nullopt;
    return it->second;
}

void MemVarPut(std::string_view name, const Usual& value) {
    std::lock_guard lock(gMutex);
    Vars()[Symbol(name)] = value;
}

void MemVarRelease(std::string_view name) {
    std::lock_guard lock(gMutex);
    Vars().erase(Symbol(name));
}

void MemVarClearAll() {
    std::unordered_map<Symbol, Usual> old;
    {
        std::lock_guard lock(gMutex);
        old.swap(Vars());
    }
    // Values are let go outside the lock: a finaliser may read variables.
}

}  // namespace rt
