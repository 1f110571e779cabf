#include "platform/runtime/usual.h"

#include <cmath>
#include <cstdint>

#include "platform/runtime/cycles.h"
#include "platform/runtime/settings.h"

namespace rt {
namespace {

template <class T>
const T& EmptyOf() {
    static const T empty{};
    return empty;
}

bool FloatEquals(double a, double b) {
    double delta = SetFloatDelta();
    return delta > 0 ? std::fabs(a - b) < delta : a == b;
}

}  // namespace

std::string TypeString(uint32_t type) {
    switch (type) {
        case kNil: return "NIL";
        case kLong: return "LONGINT";
        case kDate: return "DATE";
        case kFloat: return "FLOAT";
        case kArray: return "ARRAY";
        case kObject: return "OBJECT";
        case kString: return "STRING";
        case kLogic: return "LOGIC";
        case kCodeBlock: return "CODEBLOCK";
        case kSymbol: return "SYMBOL";
        case kByte: return "BYTE";
        case kShortInt: return "SHORTINT";
        case kWord: return "WORD";
        case kDWord: return "DWORD";
        case kUsual: return "USUAL";
        case kPsz: return "PSZ";
        case kPtr: return "PTR";
        case kReal4: return "REAL4";
        case kReal8: return "REAL8";
        default: return "UNKNOWN";
    }
}

namespace {

// An array the cycle collector can see into.
struct TracedArray final : ArrayData, Traced {
    explicit TracedArray(std::vector<Usual> items) : ArrayData(std::move(items)) {}
    const void* TraceKey() const override { return static_cast<const ArrayData*>(this); }
    void TraceChildren(const std::function<void(const void*)>& visit) const override {
        for (const Usual& v : static_cast<const ArrayData&>(*this)) VisitHeld(v, visit);
    }
    void TraceClear() override { ArrayData().swap(*this); }
};

}  // namespace

Usual Usual::Array(std::vector<Usual> items) {
    return Usual(std::shared_ptr<ArrayData>(MakeTraced<TracedArray>(std::move(items))));
}

Usual Usual::Block(CodeBlockFn fn) { return Usual(std::make_shared<CodeBlockFn>(std::move(fn))); }

uint32_t Usual::Type() const {
    static constexpr uint32_t kCodes[] = {kNil,    kLogic, kLong,   kFloat,     kString, kDate,
                                          kSymbol, kArray, kObject, kCodeBlock, kPtr};
    return kCodes[v_.index()];
}

bool Usual::AsLogic() const {
    auto p = std::get_if<bool>(&v_);
    return p ? *p : false;
}

int64_t Usual::AsLong() const {
    if (auto p = std::get_if<int64_t>(&v_)) return *p;
    if (auto f = std::get_if<Float>(&v_)) {
        if (!std::isfinite(f->value)) return 0;
        // Beyond 64 bits the conversion itself is undefined: the nearest
        // end of the range stands for the value.
        constexpr double kTwo63 = 9223372036854775808.0;
        if (f->value >= kTwo63) return INT64_MAX;
        if (f->value < -kTwo63) return INT64_MIN;
        return static_cast<int64_t>(f->value);
    }
    return 0;
}

double Usual::AsDouble() const {
    if (auto p = std::get_if<int64_t>(&v_)) return static_cast<double>(*p);
    if (auto f = std::get_if<Float>(&v_)) return f->value;
    return 0.0;
}

Float Usual::AsFloat() const {
    if (auto f = std::get_if<Float>(&v_)) return *f;
    if (auto p = std::get_if<int64_t>(&v_)) return Float{static_cast<double>(*p), -1, 0};
    return Float{};
}

const std::string& Usual::EmptyStr() { return EmptyOf<std::string>(); }

Date Usual::AsDate() const {
    auto p = std::get_if<Date>(&v_);
    return p ? *p : Date{};
}

Symbol Usual::AsSymbol() const {
    auto p = std::get_if<Symbol>(&v_);
    return p ? *p : Symbol{};
}

Pointer Usual::AsPtr() const {
    auto p = std::get_if<Pointer>(&v_);
    return p ? *p : Pointer{};
}

const std::shared_ptr<ArrayData>& Usual::AsArray() const {
    auto p = std::get_if<std::shared_ptr<ArrayData>>(&v_);
    return p ? *p : EmptyOf<std::shared_ptr<ArrayData>>();
}

const ObjectRef& Usual::AsObject() const {
    auto p = std::get_if<ObjectRef>(&v_);
    return p ? *p : EmptyOf<ObjectRef>();
}

const std::shared_ptr<CodeBlockFn>& Usual::AsCodeBlock() const {
    auto p = std::get_if<std::shared_ptr<CodeBlockFn>>(&v_);
    return p ? *p : EmptyOf<std::shared_ptr<CodeBlockFn>>();
}

size_t Usual::ALen() const {
    const auto& a = AsArray();
    return a ? a->size() : 0;
}

Usual& Usual::At(size_t index1) { return AsArray()->at(index1 - 1); }
const Usual& Usual::At(size_t index1) const { return AsArray()->at(index1 - 1); }
void Usual::AAdd(Usual item) { AsArray()->push_back(std::move(item)); }

Usual Usual::Eval(Args args) const {
    // A copy: the block lives on while it runs even when it assigns the
    // variable that held it (a handler that replaces or clears itself).
    const std::shared_ptr<CodeBlockFn> cb = AsCodeBlock();
    if (!cb || !*cb) return Usual();
    return (*cb)(args);
}

Usual Usual::Eval(std::initializer_list<Usual> args) const { return Eval(Args(args.begin(), args.size())); }

bool operator==(const Usual& a, const Usual& b) {
    if (a.IsNumeric() && b.IsNumeric()) {
        if (a.IsLong() && b.IsLong()) return a.AsLong() == b.AsLong();
        return FloatEquals(a.AsDouble(), b.AsDouble());
    }
    if (a.v_.index() != b.v_.index()) return false;
    return std::visit(
        [&](const auto& x) -> bool {
            using T = std::decay_t<decltype(x)>;
            const T& y = std::get<T>(b.v_);
            if constexpr (std::is_same_v<T, std::monostate>) {
                return true;
            } else if constexpr (std::is_same_v<T, Float>) {
                return FloatEquals(x.value, y.value);
            } else {
                return x == y;
            }
        },
        a.v_);
}

bool NonExactEquals(const Usual& a, const Usual& b) {
    if (a.IsString() && b.IsString()) {
        const std::string& l = a.AsStr();
        const std::string& r = b.AsStr();
        return l.size() >= r.size() && l.compare(0, r.size(), r) == 0;
    }
    return a == b;
}

int Compare(const Usual& a, const Usual& b) {
    if (a.IsNumeric() && b.IsNumeric()) {
        if (a == b) return 0;
        return a.AsDouble() < b.AsDouble() ? -1 : 1;
    }
    if (a.Type() != b.Type()) return a.Type() < b.Type() ? -1 : 1;
    if (a.IsString()) {
        int c = a.AsStr().compare(b.AsStr());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.IsDate()) return a.AsDate() < b.AsDate() ? -1 : (a.AsDate() == b.AsDate() ? 0 : 1);
    if (a.IsLogic()) return static_cast<int>(a.AsLogic()) - static_cast<int>(b.AsLogic());
    if (a.IsSymbol()) {
        int c = a.AsSymbol().Name().compare(b.AsSymbol().Name());
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return 0;
}

Usual EmptyUsual(uint32_t type) {
    switch (type) {
        case kString:
        case kPsz: return Usual(std::string());
        case kLong:
        case kByte:
        case kShortInt:
        case kWord:
        case kDWord: return Usual(0);
        case kFloat:
        case kReal4:
        case kReal8: return Usual(Float{0.0, -1, -1});
        case kLogic: return Usual(false);
        case kDate: return Usual(Date{});
        case kSymbol: return Usual(Symbol{});
        case kArray: return Usual::Array();
        case kPtr: return Usual(Pointer{});
        default: return Usual();
    }
}

bool Empty(const Usual& v) {
    switch (v.Type()) {
        case kNil: return true;
        case kLogic: return !v.AsLogic();
        case kLong: return v.AsLong() == 0;
        case kFloat: return v.AsDouble() == 0.0;
        case kString: return v.AsStr().find_first_not_of(" \t\r\n") == std::string::npos;
        case kDate: return v.AsDate().IsEmpty();
        case kSymbol: return v.AsSymbol().IsNull();
        case kArray: return v.ALen() == 0;
        case kPtr: return v.AsPtr().address == nullptr;
        default: return false;
    }
}

}  // namespace rt
