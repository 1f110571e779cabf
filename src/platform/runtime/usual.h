// The runtime's tagged value ("usual"): what table fields, late-bound
// arguments, array elements and settings hold.
//
// Arrays, objects and code blocks are held by reference: copying a Usual
// that holds an array gives a second holder of the same array.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/runtime/symbol.h"

namespace rt {

// Runtime type codes. Their numbers are visible in error reports (ArgType,
// SubstituteType) and are fixed here for good.
enum TypeCode : uint32_t {
    kNil = 0,
    kLong = 1,
    kDate = 2,
    kFloat = 3,
    kArray = 5,
    kObject = 6,
    kString = 7,
    kLogic = 8,
    kCodeBlock = 9,
    kSymbol = 10,
    kByte = 11,
    kShortInt = 12,
    kWord = 13,
    kDWord = 14,
    kUsual = 16,
    kPsz = 17,
    kPtr = 18,
    kReal4 = 19,
    kReal8 = 20,
};

// Name of a type code ("STRING", "PTR", ...); "UNKNOWN" for codes not listed.
std::string TypeString(uint32_t type);

// A date is a Julian day number; 0 is the empty date.
struct Date {
    int32_t julian = 0;
    bool IsEmpty() const { return julian == 0; }
    friend bool operator==(Date, Date) = default;
    friend auto operator<=>(Date, Date) = default;
};

// A float remembers the display width and decimals it was made with
// (-1: not set, the settings decide when it is turned into text).
struct Float {
    double value = 0.0;
    int16_t width = -1;
    int16_t decimals = -1;
};

class Usual;
class Object;
using Args = std::span<const Usual>;
using ArrayData = std::vector<Usual>;
using ObjectRef = std::shared_ptr<Object>;
using CodeBlockFn = std::function<Usual(Args)>;

// A raw pointer value (type 18). Only carried and shown, never followed.
struct Pointer {
    const void* address = nullptr;
    friend bool operator==(Pointer, Pointer) = default;
};

class Usual {
public:
    Usual() = default;
    Usual(std::nullptr_t) {}
    Usual(bool b) : v_(b) {}
    Usual(int i) : v_(int64_t{i}) {}
    Usual(unsigned u) : v_(int64_t{u}) {}
    Usual(long i) : v_(int64_t{i}) {}
    Usual(long long i) : v_(int64_t{i}) {}
    Usual(unsigned long u) : v_(static_cast<int64_t>(u)) {}
    Usual(double d) : v_(Float{d, -1, -1}) {}
    Usual(Float f) : v_(f) {}
    Usual(std::string s) : v_(std::move(s)) {}
    Usual(std::string_view s) : v_(std::in_place_type<std::string>, s) {}
    Usual(const char* s) : v_(std::string(s)) {}
    Usual(Date d) : v_(d) {}
    Usual(Symbol s) : v_(s) {}
    Usual(Pointer p) : v_(p) {}
    Usual(std::shared_ptr<ArrayData> a) : v_(std::move(a)) {}
    Usual(ObjectRef o) : v_(std::move(o)) {}
    template <class T>
    requires std::is_base_of_v<Object, T> Usual(std::shared_ptr<T> o) : v_(ObjectRef(std::move(o))) {}
    Usual(std::shared_ptr<CodeBlockFn> cb) : v_(std::move(cb)) {}

    // A new array holding the given elements.
    static Usual Array(std::vector<Usual> items = {});
    // A code block around a C++ callable.
    static Usual Block(CodeBlockFn fn);

    uint32_t Type() const;
    bool IsNil() const { return v_.index() == 0; }
    bool IsLogic() const { return std::holds_alternative<bool>(v_); }
    bool IsLong() const { return std::holds_alternative<int64_t>(v_); }
    bool IsFloat() const { return std::holds_alternative<Float>(v_); }
    bool IsNumeric() const { return IsLong() || IsFloat(); }
    bool IsString() const { return std::holds_alternative<std::string>(v_); }
    bool IsDate() const { return std::holds_alternative<Date>(v_); }
    bool IsSymbol() const { return std::holds_alternative<Symbol>(v_); }
    bool IsArray() const { return std::holds_alternative<std::shared_ptr<ArrayData>>(v_); }
    bool IsObject() const { return std::holds_alternative<ObjectRef>(v_); }
    bool IsCodeBlock() const { return std::holds_alternative<std::shared_ptr<CodeBlockFn>>(v_); }
    bool IsPtr() const { return std::holds_alternative<Pointer>(v_); }

    // Typed reads. A read of the wrong type gives the type's empty value
    // (false, 0, "", the empty date, the null symbol, a null reference).
    bool AsLogic() const;
    int64_t AsLong() const;   // floats are truncated toward zero
    double AsDouble() const;  // integers widen
    Float AsFloat() const;
    const std::string& AsStr() const {  // inline: a scan reads every field through it
        const std::string* p = std::get_if<std::string>(&v_);
        return p ? *p : EmptyStr();
    }
    Date AsDate() const;
    Symbol AsSymbol() const;
    Pointer AsPtr() const;
    const std::shared_ptr<ArrayData>& AsArray() const;
    const ObjectRef& AsObject() const;
    const std::shared_ptr<CodeBlockFn>& AsCodeBlock() const;

    // Array helpers (1-based, as the runtime counts). ALen of a non-array is 0.
    size_t ALen() const;
    Usual& At(size_t index1);  // requires an array and 1 <= index1 <= ALen
    const Usual& At(size_t index1) const;
    void AAdd(Usual item);  // requires an array

    // Evaluates a code block; a non-block evaluates to nil.
    Usual Eval(Args args = {}) const;
    Usual Eval(std::initializer_list<Usual> args) const;

    // Exact comparison: same type and same value. Strings compare byte for
    // byte including length, numbers of either kind by value (within the
    // float delta), arrays and objects by identity.
    friend bool operator==(const Usual& a, const Usual& b);

    using Variant = std::variant<std::monostate, bool, int64_t, Float, std::string, Date, Symbol,
                                 std::shared_ptr<ArrayData>, ObjectRef, std::shared_ptr<CodeBlockFn>, Pointer>;
    const Variant& Raw() const { return v_; }

private:
    static const std::string& EmptyStr();
    Variant v_;
};

// The runtime's non-exact comparison ("="): for strings, true when the
// left-hand text starts with the right-hand text (an empty right-hand text
// matches anything); for other types the exact comparison.
bool NonExactEquals(const Usual& a, const Usual& b);

// Ordering for sorting and the relational operators: numbers by value,
// strings byte-wise, dates by day, logic false < true. Values of different
// types order by type code.
int Compare(const Usual& a, const Usual& b);

// The empty value of a type code: "" for strings, 0 for numbers, false for
// logic, the empty date, the null symbol, a new empty array, nil otherwise.
Usual EmptyUsual(uint32_t type);

// Whether the value is "empty" in the runtime's sense (nil, "", blanks only,
// 0, false, empty date, empty array, null symbol).
bool Empty(const Usual& v);

}  // namespace rt
