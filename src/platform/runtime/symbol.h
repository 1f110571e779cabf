// Interned, upper-case names. Class, method, field, control and menu-command
// names are symbols; late-bound calls and field access are made by symbol.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace rt {

class Symbol {
public:
    Symbol() = default;  // the null symbol
    // Interns the upper-cased text (ASCII letters only are folded).
    explicit Symbol(std::string_view name);

    bool IsNull() const { return id_ == 0; }
    uint32_t Id() const { return id_; }
    // The interned upper-case text; empty for the null symbol.
    const std::string& Name() const;

    friend bool operator==(Symbol a, Symbol b) { return a.id_ == b.id_; }
    friend auto operator<=>(Symbol a, Symbol b) { return a.id_ <=> b.id_; }

private:
    uint32_t id_ = 0;
};

Symbol String2Symbol(std::string_view name);
std::string Symbol2String(Symbol s);

}  // namespace rt

template <>
struct std::hash<rt::Symbol> {
    size_t operator()(rt::Symbol s) const noexcept { return s.Id(); }
};
