// Conversions between Usual and C++ types, used by late-bound method
// adapters and instance-variable accessors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "platform/runtime/usual.h"

namespace rt {

template <class T>
struct IsSharedPtr : std::false_type {};
template <class T>
struct IsSharedPtr<std::shared_ptr<T>> : std::true_type {
    using Element = T;
};

template <class T>
T FromUsual(const Usual& v) {
    if constexpr (std::is_same_v<T, Usual>) {
        return v;
    } else if constexpr (std::is_same_v<T, bool>) {
        return v.AsLogic();
    } else if constexpr (std::is_integral_v<T>) {
        return static_cast<T>(v.AsLong());
    } else if constexpr (std::is_floating_point_v<T>) {
        return static_cast<T>(v.AsDouble());
    } else if constexpr (std::is_same_v<T, std::string>) {
        return v.AsStr();
    } else if constexpr (std::is_same_v<T, Date>) {
        return v.AsDate();
    } else if constexpr (std::is_same_v<T, Symbol>) {
        return v.AsSymbol();
    } else if constexpr (std::is_same_v<T, Float>) {
        return v.AsFloat();
    } else if constexpr (std::is_same_v<T, Pointer>) {
        return v.AsPtr();
    } else if constexpr (std::is_same_v<T, std::shared_ptr<ArrayData>>) {
        return v.AsArray();
    } else if constexpr (std::is_same_v<T, std::shared_ptr<CodeBlockFn>>) {
        return v.AsCodeBlock();
    } else if constexpr (IsSharedPtr<T>::value) {
        return std::dynamic_pointer_cast<typename IsSharedPtr<T>::Element>(v.AsObject());
    } else {
        static_assert(sizeof(T) == 0, "no conversion from Usual to this type");
    }
}

// The runtime type code an argument of C++ type T must have, 0 for "any",
// kFloat for "any number". Used to raise argument errors in late-bound calls.
template <class T>
constexpr uint32_t RequiredType() {
    if constexpr (std::is_same_v<T, Usual>) return 0;
    else if constexpr (std::is_same_v<T, bool>) return kLogic;
    else if constexpr (std::is_integral_v<T>) return kLong;
    else if constexpr (std::is_floating_point_v<T> || std::is_same_v<T, Float>) return kFloat;
    else if constexpr (std::is_same_v<T, std::string>) return kString;
    else if constexpr (std::is_same_v<T, Date>) return kDate;
    else if constexpr (std::is_same_v<T, Symbol>) return kSymbol;
    else if constexpr (std::is_same_v<T, Pointer>) return kPtr;
    else if constexpr (std::is_same_v<T, std::shared_ptr<ArrayData>>) return kArray;
    else if constexpr (std::is_same_v<T, std::shared_ptr<CodeBlockFn>>) return kCodeBlock;
    else if constexpr (IsSharedPtr<T>::value) return kObject;
    else return 0;
}

// Whether a value may stand for a parameter of the required type. Nil stands
// for any parameter (the parameter's empty value is used).
inline bool ArgTypeFits(const Usual& v, uint32_t required) {
    if (required == 0 || v.IsNil()) return true;
    if (required == kLong || required == kFloat) return v.IsNumeric();
    return v.Type() == required;
}

template <class T>
Usual ToUsual(const T& value) {
    if constexpr (std::is_same_v<T, bool>) {
        return Usual(value);
    } else if constexpr (std::is_integral_v<T>) {
        return Usual(static_cast<int64_t>(value));
    } else {
        return Usual(value);
    }
}

}  // namespace rt
