#include "platform/runtime/symbol.h"

#include <deque>
#include <mutex>
#include <unordered_map>

#include "platform/runtime/text.h"

namespace rt {
namespace {

struct SymbolTable {
    std::mutex mutex;
    std::unordered_map<std::string, uint32_t> ids;
    std::deque<std::string> names;  // deque: references stay valid as it grows
    SymbolTable() { names.emplace_back(); }
};

SymbolTable& Table() {
    static SymbolTable table;
    return table;
}

}  // namespace

Symbol::Symbol(std::string_view name) {
    if (name.empty()) return;
    std::string key = Upper(name);
    SymbolTable& t = Table();
    std::lock_guard lock(t.mutex);
    auto [it, added] = t.ids.try_emplace(key, static_cast<uint32_t>(t.names.size()));
    if (added) t.names.push_back(key);
    id_ = it->second;
}

const std::string& Symbol::Name() const {
    SymbolTable& t = Table();
    std::lock_guard lock(t.mutex);
    return t.names[id_];
}

Symbol String2Symbol(std::string_view name) { return Symbol(name); }
std::string Symbol2String(Symbol s) { return s.Name(); }

}  // namespace rt
