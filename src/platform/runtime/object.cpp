#include "platform/runtime/object.h"

#include <mutex>

#include "platform/runtime/error.h"

namespace rt {
namespace {

std::mutex gClassMutex;

std::unordered_map<Symbol, std::unique_ptr<ClassDef>>& Classes() {
    static std::unordered_map<Symbol, std::unique_ptr<ClassDef>> classes;
    return classes;
}

thread_local int tCollecting = 0;

template <class Map>
const MethodFn* FindIn(const ClassDef* c, Map ClassDef::*map, Symbol s) {
    for (; c; c = c->base) {
        auto it = (c->*map).find(s);
        if (it != (c->*map).end()) return &it->second;
    }
    return nullptr;
}

// An object value that refers to an object (NULL_OBJECT does not).
bool IsLiveObject(const Usual& v) { return v.IsObject() && v.AsObject() != nullptr; }

// Raises a late-bound failure: no such member, or not an object.
Usual NoMember(const Usual& target, Symbol name, uint32_t genCode, const char* operation) {
    auto e = MakeError(genCode, operation);
    e->Description = std::string(ErrString(genCode));
    e->FuncSym = name;
    e->Arg = name.Name();
    e->ArgType = target.Type();
    e->CanDefault = true;
    if (target.IsObject()) e->METHODSELF = target;
    return RaiseError(e);
}

}  // namespace

namespace detail {

void RaiseArgError(Symbol method, size_t argNum, const Usual& got, uint32_t required) {
    auto e = MakeError(kGenArg, "Send");
    e->Description = std::string(ErrString(kGenArg));
    e->FuncSym = method;
    e->ArgNum = static_cast<uint32_t>(argNum);
    e->ArgType = got.Type();
    e->ArgTypeReq = required;
    e->CanDefault = true;
    RaiseError(e);
}

}  // namespace detail

const MethodFn* ClassDef::FindMethod(Symbol s) const { return FindIn(this, &ClassDef::methods, s); }
const MethodFn* ClassDef::FindAccess(Symbol s) const { return FindIn(this, &ClassDef::accesses, s); }
const MethodFn* ClassDef::FindAssign(Symbol s) const { return FindIn(this, &ClassDef::assigns, s); }

const IVarDef* ClassDef::FindIVar(Symbol s) const {
    for (const ClassDef* c = this; c; c = c->base)
        for (const IVarDef& d : c->ivars)
            if (d.name == s) return &d;
    return nullptr;
}

const DynamicGetFn* ClassDef::FindDynamicGet() const {
    for (const ClassDef* c = this; c; c = c->base)
        if (c->dynamicGet) return &c->dynamicGet;
    return nullptr;
}

const DynamicPutFn* ClassDef::FindDynamicPut() const {
    for (const ClassDef* c = this; c; c = c->base)
        if (c->dynamicPut) return &c->dynamicPut;
    return nullptr;
}

bool ClassDef::IsA(Symbol className) const {
    for (const ClassDef* c = this; c; c = c->base)
        if (c->name == className) return true;
    return false;
}

const ClassDef* FindClass(Symbol name) {
    std::lock_guard lock(gClassMutex);
    auto it = Classes().find(name);
    return it == Classes().end() ? nullptr : it->second.get();
}

void Object::TraceChildren(const std::function<void(const void*)>& visit) const {
    for (const auto& [name, value] : slots_) VisitHeld(value, visit);
    HeldValues([&](const Usual& v) { VisitHeld(v, visit); });
}

void Object::TraceClear() {
    std::unordered_map<Symbol, Usual>().swap(slots_);
    DropValues();
}

const ClassDef& RegisterClass(ClassDef def) {
    std::lock_guard lock(gClassMutex);
    auto& slot = Classes()[def.name];
    slot = std::make_unique<ClassDef>(std::move(def));
    return *slot;
}

void ExtendClass(const ClassDef& cls, Symbol method, MethodFn fn) {
    std::lock_guard lock(gClassMutex);
    const_cast<ClassDef&>(cls).methods[method] = std::move(fn);
}

Object::~Object() = default;

void RunFinaliser(Object* o) {
    if (o->axit_) {
        ++tCollecting;
        o->axit_ = false;
        o->Axit();
        --tCollecting;
    }
    delete o;
}

bool InCollect() { return tCollecting > 0; }

Usual Send(const Usual& target, Symbol method, Args args) {
    if (!IsLiveObject(target)) return NoMember(target, method, kGenNoMethod, "Send");
    Object& o = *target.AsObject();
    if (const MethodFn* fn = o.Class().FindMethod(method)) return (*fn)(o, args);
    // A method call on a property name reads or writes it, as the late-bound
    // call of the runtime does.
    if (args.empty()) {
        if (IsAccess(target, method) || o.Class().FindIVar(method)) return IVarGet(target, method);
        if (const DynamicGetFn* get = o.Class().FindDynamicGet()) {
            Usual value;
            if ((*get)(o, method, value)) return value;
        }
    } else if (IsAssign(target, method)) {
        return IVarPut(target, method, args[0]);
    } else if (const DynamicPutFn* put = o.Class().FindDynamicPut(); put && (*put)(o, method, args[0])) {
        return args[0];
    }
    return NoMember(target, method, kGenNoMethod, "Send");
}

Usual Send(const Usual& target, std::string_view method, std::initializer_list<Usual> args) {
    return Send(target, Symbol(method), Args(args.begin(), args.size()));
}

bool IsMethod(const Usual& target, Symbol method) {
    return IsLiveObject(target) && target.AsObject()->Class().FindMethod(method) != nullptr;
}

bool IsAccess(const Usual& target, Symbol name) {
    return IsLiveObject(target) && target.AsObject()->Class().FindAccess(name) != nullptr;
}

bool IsAssign(const Usual& target, Symbol name) {
    return IsLiveObject(target) && target.AsObject()->Class().FindAssign(name) != nullptr;
}

Usual IVarGet(const Usual& target, Symbol name) {
    if (!IsLiveObject(target)) return NoMember(target, name, kGenNoVarMethod, "IVarGet");
    Object& o = *target.AsObject();
    if (const IVarDef* d = o.Class().FindIVar(name)) return d->get ? d->get(o) : o.Slot(name);
    if (const MethodFn* fn = o.Class().FindAccess(name)) return (*fn)(o, {});
    if (const DynamicGetFn* get = o.Class().FindDynamicGet()) {
        Usual value;
        if ((*get)(o, name, value)) return value;
    }
    return NoMember(target, name, kGenNoVarMethod, "IVarGet");
}

Usual IVarPut(const Usual& target, Symbol name, const Usual& value) {
    if (!IsLiveObject(target)) return NoMember(target, name, kGenNoVarMethod, "IVarPut");
    Object& o = *target.AsObject();
    if (const MethodFn* fn = o.Class().FindAssign(name)) {
        const Usual arg[] = {value};
        return (*fn)(o, arg);
    }
    if (const IVarDef* d = o.Class().FindIVar(name)) {
        if (d->put) d->put(o, value);
        else o.Slot(name) = value;
        return value;
    }
    if (const DynamicPutFn* put = o.Class().FindDynamicPut(); put && (*put)(o, name, value)) return value;
    return NoMember(target, name, kGenNoVarMethod, "IVarPut");
}

Usual CreateInstance(Symbol className, Args args) {
    const ClassDef* c = FindClass(className);
    if (!c || !c->factory) {
        auto e = MakeError(kGenNoClass, "CreateInstance");
        e->Description = std::string(ErrString(kGenNoClass));
        e->Arg = className.Name();
        e->ArgType = kSymbol;
        e->CanDefault = true;
        return RaiseError(e);
    }
    ObjectRef o = c->factory();
    Usual self(o);
    if (const MethodFn* init = c->FindMethod(Symbol("INIT"))) (*init)(*o, args);
    return self;
}

bool IsInstanceOf(const Usual& value, Symbol className) {
    return value.IsObject() && value.AsObject() && value.AsObject()->Class().IsA(className);
}

Symbol ClassName(const Usual& value) {
    return value.IsObject() && value.AsObject() ? value.AsObject()->Class().name : Symbol();
}

}  // namespace rt
