// Objects and late-bound calls.
//
// A class is registered once by its name symbol, with its base class, its
// methods, its access/assign pairs and its instance variables. C++ code calls
// an object's methods directly; the class table maps the upper-case names
// onto those same member functions, so each method is written once:
//
//   class Counter : public rt::Object {
//       QZ_OBJECT(Counter)
//   public:
//       int64_t Add(int64_t n) { return total_ += n; }
//       int64_t Total() const { return total_; }
//   private:
//       int64_t total_ = 0;
//   };
//   const rt::ClassDef& Counter::StaticClass() {
//       static const rt::ClassDef& c = rt::ClassBuilder<Counter>("COUNTER")
//           .Method<&Counter::Add>("ADD")
//           .Access<&Counter::Total>("TOTAL")
//           .Done();
//       return c;
//   }
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/runtime/convert.h"
#include "platform/runtime/cycles.h"
#include "platform/runtime/usual.h"

namespace rt {

class Object;
using MethodFn = std::function<Usual(Object& self, Args args)>;
using GetterFn = std::function<Usual(const Object& self)>;
using SetterFn = std::function<void(Object& self, const Usual& value)>;
// Reads or writes a property the class does not declare (a table's field by
// name, say); answers false when the object has no such property either.
using DynamicGetFn = std::function<bool(Object& self, Symbol name, Usual& value)>;
using DynamicPutFn = std::function<bool(Object& self, Symbol name, const Usual& value)>;

struct IVarDef {
    Symbol name;
    GetterFn get;  // empty for a plain slot held by the object
    SetterFn put;
};

class ClassDef {
public:
    Symbol name;
    const ClassDef* base = nullptr;
    std::function<ObjectRef()> factory;  // empty: cannot be created by name
    std::unordered_map<Symbol, MethodFn> methods;
    std::unordered_map<Symbol, MethodFn> accesses;
    std::unordered_map<Symbol, MethodFn> assigns;
    std::vector<IVarDef> ivars;  // in declaration order
    DynamicGetFn dynamicGet;     // empty: no undeclared properties
    DynamicPutFn dynamicPut;

    const MethodFn* FindMethod(Symbol s) const;
    const MethodFn* FindAccess(Symbol s) const;
    const MethodFn* FindAssign(Symbol s) const;
    const IVarDef* FindIVar(Symbol s) const;
    const DynamicGetFn* FindDynamicGet() const;
    const DynamicPutFn* FindDynamicPut() const;
    bool IsA(Symbol className) const;
};

// The process-wide class table.
const ClassDef* FindClass(Symbol name);
const ClassDef& RegisterClass(ClassDef def);
// Adds a method to a registered class (a library extending a platform
// class); made at start-up, before the class is used from other threads.
void ExtendClass(const ClassDef& cls, Symbol method, MethodFn fn);

// Objects made by New are traced (cycles.h): their plain slots, and the
// values a class reports through HeldValues, are what they hold.
class Object : public std::enable_shared_from_this<Object>, public Traced {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object();

    virtual const ClassDef& Class() const = 0;

    // Finalisation: a registered object has AXIT called once when its last
    // holder lets go (or when UnRegisterAxit is not called before that).
    void RegisterAxit() { axit_ = true; }
    void UnRegisterAxit() { axit_ = false; }
    bool AxitRegistered() const { return axit_; }
    virtual void Axit() {}

    // Plain instance-variable slots (ivars declared without accessors).
    Usual& Slot(Symbol name) { return slots_[name]; }

    ObjectRef Self() { return shared_from_this(); }

    // The values a class keeps in C++ members, for the cycle collector. One
    // it does not report counts as held from outside and is kept.
    virtual void HeldValues(const std::function<void(const Usual&)>&) const {}
    // Lets go of what HeldValues reports: the object is unreachable.
    virtual void DropValues() {}

    const void* TraceKey() const final { return static_cast<const Object*>(this); }
    void TraceChildren(const std::function<void(const void*)>& visit) const final;
    void TraceClear() final;

private:
    friend void RunFinaliser(Object* o);
    bool axit_ = false;
    std::unordered_map<Symbol, Usual> slots_;
};

// Makes a new object held by reference; its finaliser runs when the last
// holder lets go.
void RunFinaliser(Object* o);
template <class T, class... A>
std::shared_ptr<T> New(A&&... args) {
    std::shared_ptr<T> p(new T(std::forward<A>(args)...), [](T* o) { RunFinaliser(o); });
    Track(p);
    return p;
}
// True while a finaliser runs.
bool InCollect();

// Declares the class table entry of a C++ class.
#define QZ_OBJECT(Type)                                                    \
public:                                                                    \
    static const ::rt::ClassDef& StaticClass();                            \
    const ::rt::ClassDef& Class() const override { return StaticClass(); } \
                                                                           \
private:

// Late-bound operations. Each raises an Error through the error block when
// the target is not an object or has no such member (general code 16/…),
// and returns what the error block answers.
Usual Send(const Usual& target, Symbol method, Args args = {});
Usual Send(const Usual& target, std::string_view method, std::initializer_list<Usual> args = {});
bool IsMethod(const Usual& target, Symbol method);
bool IsAccess(const Usual& target, Symbol name);
bool IsAssign(const Usual& target, Symbol name);
Usual IVarGet(const Usual& target, Symbol name);
Usual IVarPut(const Usual& target, Symbol name, const Usual& value);
Usual CreateInstance(Symbol className, Args args = {});
bool IsInstanceOf(const Usual& value, Symbol className);
Symbol ClassName(const Usual& value);

namespace detail {

template <class T>
struct MemberTraits;
template <class R, class C, class... A>
struct MemberTraits<R (C::*)(A...)> {
    using Ret = R;
    using Cls = C;
    using ArgTuple = std::tuple<std::decay_t<A>...>;
};
template <class R, class C, class... A>
struct MemberTraits<R (C::*)(A...) const> : MemberTraits<R (C::*)(A...)> {};

// Raises an argument error for argument number argNum (1-based) of a
// late-bound call; the call goes on with the parameter's empty value.
void RaiseArgError(Symbol method, size_t argNum, const Usual& got, uint32_t required);

template <class T>
T Arg(Symbol method, Args args, size_t i) {
    static const Usual kNil;
    const Usual& v = i < args.size() ? args[i] : kNil;
    if (!ArgTypeFits(v, RequiredType<T>())) {
        RaiseArgError(method, i + 1, v, RequiredType<T>());
        return FromUsual<T>(kNil);
    }
    return FromUsual<T>(v);
}

template <auto Fn, class Tuple, size_t... I>
Usual CallWith(Object& self, [[maybe_unused]] Symbol method, [[maybe_unused]] Args args, std::index_sequence<I...>) {
    using Traits = MemberTraits<decltype(Fn)>;
    auto& obj = static_cast<typename Traits::Cls&>(self);
    // Arguments are converted left to right before the call.
    Tuple converted{Arg<std::tuple_element_t<I, Tuple>>(method, args, I)...};
    if constexpr (std::is_void_v<typename Traits::Ret>) {
        (obj.*Fn)(std::get<I>(std::move(converted))...);
        return Usual();
    } else {
        return ToUsual((obj.*Fn)(std::get<I>(std::move(converted))...));
    }
}

template <auto Fn>
MethodFn Bind(Symbol method) {
    using Tuple = typename MemberTraits<decltype(Fn)>::ArgTuple;
    return [method](Object& self, Args args) {
        return CallWith<Fn, Tuple>(self, method, args, std::make_index_sequence<std::tuple_size_v<Tuple>>{});
    };
}

}  // namespace detail

// Fluent registration of a C++ class.
template <class T>
class ClassBuilder {
public:
    explicit ClassBuilder(std::string_view name, const ClassDef* base = nullptr) {
        def_.name = Symbol(name);
        def_.base = base;
        if constexpr (std::is_default_constructible_v<T> && !std::is_abstract_v<T>)
            def_.factory = [] { return ObjectRef(New<T>()); };
    }
    // A method; arguments and result are converted to and from Usual.
    template <auto Fn>
    ClassBuilder& Method(std::string_view name) {
        def_.methods[Symbol(name)] = detail::Bind<Fn>(Symbol(name));
        return *this;
    }
    // A method that takes the raw argument list.
    ClassBuilder& RawMethod(std::string_view name, MethodFn fn) {
        def_.methods[Symbol(name)] = std::move(fn);
        return *this;
    }
    template <auto Fn>
    ClassBuilder& Access(std::string_view name) {
        def_.accesses[Symbol(name)] = detail::Bind<Fn>(Symbol(name));
        return *this;
    }
    template <auto Fn>
    ClassBuilder& Assign(std::string_view name) {
        def_.assigns[Symbol(name)] = detail::Bind<Fn>(Symbol(name));
        return *this;
    }
    // An instance variable backed by a data member.
    template <auto Member>
    ClassBuilder& IVar(std::string_view name) {
        IVarDef d;
        d.name = Symbol(name);
        d.get = [](const Object& o) { return ToUsual(static_cast<const T&>(o).*Member); };
        d.put = [](Object& o, const Usual& v) {
            using M = std::remove_cvref_t<decltype(std::declval<T&>().*Member)>;
            static_cast<T&>(o).*Member = FromUsual<M>(v);
        };
        def_.ivars.push_back(std::move(d));
        return *this;
    }
    // A plain instance variable held in the object's slots.
    ClassBuilder& Slot(std::string_view name) {
        def_.ivars.push_back(IVarDef{Symbol(name), {}, {}});
        return *this;
    }
    // Properties the class does not declare, looked up at run time.
    ClassBuilder& Dynamic(DynamicGetFn get, DynamicPutFn put) {
        def_.dynamicGet = std::move(get);
        def_.dynamicPut = std::move(put);
        return *this;
    }
    const ClassDef& Done() { return RegisterClass(std::move(def_)); }

private:
    ClassDef def_;
};

}  // namespace rt
