// Evaluation of the expression tree: each node's Eval. Faults become Error
// objects naming the position (Fault); nothing here throws except a jump to
// a recovery scope that the error block itself makes.
#include <pthread.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <new>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/macroast.h"
#include "platform/runtime/memvar.h"
#include "platform/runtime/object.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace rt::macro {
namespace {

// Evaluation nested deeper than these is stopped with an "Operation too
// complex" fault rather than running the stack out: nodes within nodes
// (the tree's height, and again inside every block a node evaluates), and
// blocks evaluating blocks.
constexpr int kMaxEvalDepth = 4000;
constexpr int kMaxBlockDepth = 400;
// The extra depth the error block gets while it handles such a fault.
constexpr int kHandlerRoom = 200;
constinit thread_local int tBlockDepth = 0;
constinit thread_local bool tDepthFault = false;  // such a fault is being handled

int Room() { return tDepthFault ? kHandlerRoom : 0; }

// The stack kept free below the deepest evaluation, for the error block
// and the functions a node calls; a quarter of a small stack.
constexpr size_t kStackReserve = size_t{512} << 10;

// The lowest frame address evaluation may reach on this thread (1 when the
// stack's bounds are unknown). The depth limits keep within it on an
// ordinary stack; this guards threads with small ones and instrumented
// builds with large frames.
uintptr_t FindStackFloor() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 1;
    void* low = nullptr;
    size_t size = 0;
    int rc = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (rc != 0 || !low) return 1;
    return reinterpret_cast<uintptr_t>(low) + std::min(size / 4, kStackReserve);
}
constinit thread_local uintptr_t tStackFloor = 0;  // found at the first evaluation

bool StackLow() {
    if (tDepthFault) return false;  // the error block runs in the reserve
    if (tStackFloor == 0) tStackFloor = FindStackFloor();
    return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < tStackFloor;
}

// Raises the fault of nesting too deep. The error block runs with some room
// to evaluate in; should it nest too deep itself, its fault is not raised
// again (that would recurse without end) and the evaluation gives NIL.
Usual DepthFault(size_t pos, const char* detail) {
    if (tDepthFault) return Usual();
    struct Handling {
        Handling() { tDepthFault = true; }
        ~Handling() { tDepthFault = false; }
    } handling;
    return Fault(pos, kGenComplexity, "EVAL", detail);
}

// Counts one level of nesting while it lives.
struct Level {
    explicit Level(int& d) : depth(d) { ++depth; }
    ~Level() { --depth; }
    int& depth;
};

std::string TypeOf(const Usual& v) { return TypeString(v.Type()); }

std::string PairText(const Usual& a, const Usual& b) { return "(" + TypeOf(a) + " and " + TypeOf(b) + ")"; }

int Decimals(const Usual& v) {
    if (v.IsFloat()) return std::max<int>(v.AsFloat().decimals, 0);
    return 0;
}

Usual MakeFloat(double value, int decimals) { return Usual(Float{value, -1, static_cast<int16_t>(decimals)}); }

// The float result of an operator, or the overflow fault when finite
// operands gave a result beyond the range of numbers.
Usual FloatResult(size_t pos, const char* op, double value, int decimals, double x, double y) {
    if (!std::isfinite(value) && std::isfinite(x) && std::isfinite(y))
        return Fault(pos, kGenNumOverflow, op, "the result is beyond the range of numbers");
    return MakeFloat(value, decimals);
}

// A text made by an operator from texts of these lengths: refused before it
// is made when it would be longer than the runtime allows or than the
// evaluation's budget.
template <class Make>
Usual StringResult(size_t pos, const char* op, size_t length, Make make) {
    if (static_cast<int64_t>(length) > kMaxTextLen)
        return Fault(pos, kGenStrOverflow, op, "the text would be longer than the runtime allows");
    if (!ChargeBytes(length)) return Usual();
    return Usual(make());
}

Usual Arith(size_t pos, Op op, const Usual& a, const Usual& b) {
    const char* text = OpText(op);
    if (a.IsNumeric() && b.IsNumeric()) {
        bool ints = a.IsLong() && b.IsLong();
        int64_t x = a.AsLong(), y = b.AsLong(), r = 0;
        double dx = a.AsDouble(), dy = b.AsDouble();
        switch (op) {
            case Op::Add:
                if (ints && !__builtin_add_overflow(x, y, &r)) return Usual(r);
                return FloatResult(pos, text, dx + dy, std::max(Decimals(a), Decimals(b)), dx, dy);
            case Op::Sub:
                if (ints && !__builtin_sub_overflow(x, y, &r)) return Usual(r);
                return FloatResult(pos, text, dx - dy, std::max(Decimals(a), Decimals(b)), dx, dy);
            case Op::Mul:
                if (ints && !__builtin_mul_overflow(x, y, &r)) return Usual(r);
                return FloatResult(pos, text, dx * dy, Decimals(a) + Decimals(b), dx, dy);
            case Op::Div:
                if (dy == 0.0) return Fault(pos, kGenZeroDiv, text, "division by zero");
                if (ints && y != -1 && x % y == 0) return Usual(x / y);
                return FloatResult(pos, text, dx / dy, -1, dx, dy);
            case Op::Mod:
                if (dy == 0.0) return Fault(pos, kGenZeroDiv, text, "remainder of a division by zero");
                if (ints && y != -1) return Usual(x % y);
                if (ints) return Usual(0);
                return MakeFloat(std::fmod(dx, dy), std::max(Decimals(a), Decimals(b)));
            case Op::Pow: {
                double p = std::pow(dx, dy);
                if (!std::isfinite(p) && std::isfinite(dx) && std::isfinite(dy))
                    return Fault(pos, kGenNumOverflow, text, "the power is out of range");
                return MakeFloat(p, -1);
            }
            default: break;
        }
    }
    if (op == Op::Add) {
        if (a.IsString() && b.IsString())
            return StringResult(pos, text, a.AsStr().size() + b.AsStr().size(), [&] { return a.AsStr() + b.AsStr(); });
        if (a.IsDate() && b.IsNumeric()) return Usual(AddDays(a.AsDate(), b.AsLong()));
        if (a.IsNumeric() && b.IsDate()) return Usual(AddDays(b.AsDate(), a.AsLong()));
    }
    if (op == Op::Sub) {
        // Text minus text moves the left side's trailing blanks to the end.
        if (a.IsString() && b.IsString()) {
            return StringResult(pos, text, a.AsStr().size() + b.AsStr().size(), [&] {
                std::string left = RTrim(a.AsStr());
                size_t blanks = a.AsStr().size() - left.size();
                return left + b.AsStr() + std::string(blanks, ' ');
            });
        }
        if (a.IsDate() && b.IsDate()) return Usual(DaysBetween(a.AsDate(), b.AsDate()));
        if (a.IsDate() && b.IsNumeric()) return Usual(AddDays(a.AsDate(), -b.AsLong()));
    }
    return Fault(pos, kGenArg, text, std::string("'") + text + "' cannot combine these values " + PairText(a, b));
}

bool Comparable(const Usual& a, const Usual& b) {
    if (a.IsNumeric() && b.IsNumeric()) return true;
    return a.Type() == b.Type() && (a.IsString() || a.IsDate() || a.IsLogic() || a.IsSymbol());
}

// "=" under the comparison settings: with exact off a text equals another
// that it starts with; with exact on whole texts compare, trailing blanks
// aside.
bool TextEquals(const std::string& a, const std::string& b) {
    if (SetExact()) return RTrim(a) == RTrim(b);
    return NonExactEquals(Usual(a), Usual(b));
}

int TextCompare(const std::string& a, const std::string& b) {
    if (SetExact()) {
        int c = RTrim(a).compare(RTrim(b));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    if (a.size() >= b.size() && a.compare(0, b.size(), b) == 0) return 0;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

Usual Relation(size_t pos, Op op, const Usual& a, const Usual& b) {
    const char* text = OpText(op);
    if (op == Op::Contains) {
        if (a.IsString() && b.IsString()) return Usual(At(a.AsStr(), b.AsStr()) > 0);
        return Fault(pos, kGenArg, text, "'$' needs two texts " + PairText(a, b));
    }
    if (op == Op::Eq || op == Op::ExactEq || op == Op::NotEq) {
        bool eq;
        if (a.IsNil() || b.IsNil()) {
            eq = a.IsNil() && b.IsNil();
        } else if (a.IsString() && b.IsString()) {
            eq = op == Op::ExactEq ? a.AsStr() == b.AsStr() : TextEquals(a.AsStr(), b.AsStr());
        } else if (Comparable(a, b) || (a.Type() == b.Type() && (a.IsArray() || a.IsObject() || a.IsCodeBlock()))) {
            eq = a == b;
        } else {
            return Fault(pos, kGenArg, text,
                         std::string("'") + text + "' cannot compare these values " + PairText(a, b));
        }
        return Usual(op == Op::NotEq ? !eq : eq);
    }
    if (!Comparable(a, b))
        return Fault(pos, kGenArg, text, std::string("'") + text + "' cannot order these values " + PairText(a, b));
    int c = a.IsString() && b.IsString() ? TextCompare(a.AsStr(), b.AsStr()) : Compare(a, b);
    switch (op) {
        case Op::Less: return Usual(c < 0);
        case Op::LessEq: return Usual(c <= 0);
        case Op::Greater: return Usual(c > 0);
        default: return Usual(c >= 0);
    }
}

std::vector<Usual> EvalArgs(const NodeList& nodes, const FramePtr& frame) {
    std::vector<Usual> values;
    values.reserve(nodes.size());
    for (const NodePtr& n : nodes) values.push_back(n->Eval(frame));
    return values;
}

// Runs a call into other code; a C++ exception from it becomes a fault.
template <class F>
Usual Guarded(size_t pos, const std::string& what, F call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        return Fault(pos, kGenMem, what, what + " ran out of memory");
    } catch (const std::exception& e) {
        return Fault(pos, kGenArg, what, what + " failed: " + e.what());
    }
}

Usual NotAnObject(size_t pos, const std::string& name, const Usual& target) {
    return Fault(pos, kGenNoMethod, name, "':" + name + "' needs an object, not " + TypeOf(target));
}

}  // namespace

const char* OpText(Op op) {
    switch (op) {
        case Op::Add: return "+";
        case Op::Sub: return "-";
        case Op::Mul: return "*";
        case Op::Div: return "/";
        case Op::Mod: return "%";
        case Op::Pow: return "**";
        case Op::Eq: return "=";
        case Op::ExactEq: return "==";
        case Op::NotEq: return "!=";
        case Op::Less: return "<";
        case Op::LessEq: return "<=";
        case Op::Greater: return ">";
        case Op::GreaterEq: return ">=";
        case Op::Contains: return "$";
        case Op::Neg: return "-";
        case Op::Plus: return "+";
        case Op::Not: return ".NOT.";
        case Op::And: return ".AND.";
        case Op::Or: return ".OR.";
    }
    return "?";
}

Usual Fault(size_t pos, uint32_t genCode, const std::string& operation, const std::string& detail) {
    // Past an exceeded budget faults come from the NILs it left: not raised.
    if (BudgetExceeded()) return Usual();
    ErrorRef e = MakeError(genCode, operation);
    e->Description = std::string(ErrString(genCode)) + " at position " + std::to_string(pos) + ": " + detail;
    e->CanDefault = true;
    e->CanSubstitute = true;
    Usual answer = RaiseError(e);
    return answer.IsLogic() ? Usual() : answer;
}

Usual Node::EvalChecked(const FramePtr& frame) const {
    if (!ChargeStep()) return Usual();
    if (depth_ >= kMaxEvalDepth + Room() || StackLow())
        return DepthFault(pos, "the expression is evaluated too deeply");
    Level level(depth_);
    return Run(frame);
}

Usual Node::Store(const FramePtr&, const Usual&) const {
    return Fault(pos, kGenArg, ":=", "this cannot be assigned to");
}

Usual ArrayLit::Run(const FramePtr& frame) const {
    if (!ChargeBytes(items.size() * sizeof(Usual))) return Usual();
    return Usual::Array(EvalArgs(items, frame));
}

namespace {

// What a block of the language runs: its body, its parameter count and the
// frame it was made in. A plain struct, so the block's traced container can
// find the frame it holds.
struct BlockCall {
    std::shared_ptr<NodeList> body;
    size_t params;
    FramePtr frame;
    size_t at;

    Usual operator()(Args args) const {
        if (tBlockDepth >= kMaxBlockDepth + Room()) return DepthFault(at, "blocks are evaluated too deeply");
        Level level(tBlockDepth);
        FramePtr own = frame;
        if (params > 0) {
            own = std::make_shared<Frame>();  // traced once a block made in it holds it
            own->vars.assign(params, Usual());
            for (size_t i = 0; i < params && i < args.size(); ++i) own->vars[i] = args[i];
            own->parent = frame;
        }
        Usual result;
        for (const NodePtr& e : *body) result = e->Eval(own);
        return result;
    }
};

struct TracedBlock final : CodeBlockFn, Traced {
    explicit TracedBlock(BlockCall call) : CodeBlockFn(std::move(call)) {}
    const void* TraceKey() const override { return static_cast<const CodeBlockFn*>(this); }
    void TraceChildren(const std::function<void(const void*)>& visit) const override {
        if (const BlockCall* call = target<BlockCall>(); call && call->frame) visit(call->frame.get());
    }
    void TraceClear() override {
        if (BlockCall* call = target<BlockCall>()) call->frame.reset();
    }
};

}  // namespace

Usual BlockLit::Run(const FramePtr& frame) const {
    // A frame joins a cycle only through a block that holds it (directly, or
    // through the frames of that block's calls), so a call's frame is traced
    // when the first block made in it is, not at every call.
    if (frame) Track(frame);
    return Usual(std::shared_ptr<CodeBlockFn>(MakeTraced<TracedBlock>(BlockCall{body, params, frame, pos})));
}

namespace {
Frame* FrameAt(const FramePtr& frame, size_t up) {
    Frame* f = frame.get();
    for (size_t i = 0; i < up && f; ++i) f = f->parent.get();
    return f;
}
}  // namespace

Usual Param::Run(const FramePtr& frame) const {
    Frame* f = FrameAt(frame, up);
    return f && index < f->vars.size() ? f->vars[index] : Usual();
}

Usual Param::Store(const FramePtr& frame, const Usual& value) const {
    if (Frame* f = FrameAt(frame, up); f && index < f->vars.size()) f->vars[index] = value;
    return value;
}

Usual BoundField::Run(const FramePtr&) const {
    return Guarded(pos, name, [&] { return binding.get ? binding.get() : Usual(); });
}

Usual BoundField::Store(const FramePtr&, const Usual& value) const {
    if (!binding.put) return Fault(pos, kGenReadOnly, name, "the field " + name + " cannot be written");
    return Guarded(pos, name, [&] { return binding.put(value); });
}

Usual Name::Run(const FramePtr&) const {
    if (!fieldOnly)
        if (auto v = MemVarGet(name)) return *v;
    if (!memvarOnly)
        if (FieldLookup lookup = CurrentFieldLookup())
            if (auto b = lookup(alias, name)) return Guarded(pos, name, [&] { return b->get ? b->get() : Usual(); });
    std::string shown = alias.empty() ? name : alias + "->" + name;
    return Fault(pos, kGenNoVar, name, shown + " is neither a variable nor a field");
}

Usual Name::Store(const FramePtr&, const Usual& value) const {
    if (memvarOnly || (!fieldOnly && MemVarExists(name))) {
        MemVarPut(name, value);
        return value;
    }
    if (FieldLookup lookup = CurrentFieldLookup())
        if (auto b = lookup(alias, name)) {
            if (!b->put) return Fault(pos, kGenReadOnly, name, "the field " + name + " cannot be written");
            return Guarded(pos, name, [&] { return b->put(value); });
        }
    if (fieldOnly) return Fault(pos, kGenNoVar, name, (alias.empty() ? name : alias + "->" + name) + " is not a field");
    MemVarPut(name, value);
    return value;
}

Usual Unary::Run(const FramePtr& frame) const {
    Usual v = operand->Eval(frame);
    switch (op) {
        case Op::Not:
            if (v.IsLogic()) return Usual(!v.AsLogic());
            return Fault(pos, kGenArg, ".NOT.", ".NOT. needs a logical value, not " + TypeOf(v));
        case Op::Neg:
            if (v.IsLong() && v.AsLong() != INT64_MIN) return Usual(-v.AsLong());
            if (v.IsNumeric()) {
                Float f = v.AsFloat();
                f.value = -v.AsDouble();
                return Usual(f);
            }
            return Fault(pos, kGenArg, "-", "unary '-' needs a number, not " + TypeOf(v));
        default:
            if (v.IsNumeric()) return v;
            return Fault(pos, kGenArg, "+", "unary '+' needs a number, not " + TypeOf(v));
    }
}

Usual Binary::Run(const FramePtr& frame) const {
    Usual a = left->Eval(frame);
    Usual b = right->Eval(frame);
    return Arith(pos, op, a, b);
}

namespace {
// One more operand of .AND. / .OR.: the fault when it is not logical.
bool NotLogical(size_t pos, Op op, const Usual& v, Usual& answer) {
    if (v.IsLogic()) return false;
    const char* text = OpText(op);
    answer = Fault(pos, kGenArg, text, std::string(text) + " needs logical values, not " + TypeOf(v));
    return true;
}
}  // namespace

namespace {
// left op right for one link of a chain.
Usual Apply(size_t pos, Op op, const Usual& a, const Usual& b) {
    switch (op) {
        case Op::Add:
        case Op::Sub:
        case Op::Mul:
        case Op::Div:
        case Op::Mod: return Arith(pos, op, a, b);
        default: return Relation(pos, op, a, b);
    }
}
}  // namespace

Usual Chain::Run(const FramePtr& frame) const {
    // The last link's result is returned as it is made: most chains have one.
    Usual acc = first->Eval(frame);
    const size_t last = links.size() - 1;
    for (size_t i = 0;; ++i) {
        const Link& link = links[i];
        if (link.op == Op::And || link.op == Op::Or) {
            // The left side decides when it is .F. for .AND. or .T. for .OR.
            Usual answer;
            if (NotLogical(link.pos, link.op, acc, answer)) return answer;
            if (acc.AsLogic() != (link.op == Op::And)) return acc;
            acc = link.operand->Eval(frame);
            if (NotLogical(link.pos, link.op, acc, answer)) return answer;
            if (i == last) return acc;
            continue;
        }
        if (i == last) return Apply(link.pos, link.op, acc, link.operand->Eval(frame));
        acc = Apply(link.pos, link.op, acc, link.operand->Eval(frame));
    }
}

Usual Assign::Run(const FramePtr& frame) const {
    Usual v = value->Eval(frame);
    if (compound) v = Arith(pos, op, target->Eval(frame), v);
    return target->Store(frame, v);
}

Usual Conditional::Run(const FramePtr& frame) const {
    Usual c = cond->Eval(frame);
    if (!c.IsLogic()) return Fault(pos, kGenArg, "IIF", "IIF needs a logical condition, not " + TypeOf(c));
    return c.AsLogic() ? yes->Eval(frame) : no->Eval(frame);
}

Usual Call::Run(const FramePtr& frame) const {
    if (!fn) fn = FindFunction(name);
    if (!fn) return Fault(pos, kGenNoFunc, name, "there is no function " + name);
    std::vector<Usual> values = EvalArgs(args, frame);
    if (BudgetExceeded()) return Usual();
    CallSite site(pos);
    Usual result = Guarded(pos, name, [&] { return (*fn)(Args(values)); });
    // Texts a function makes count against the evaluation budget too.
    if (result.IsString() && !ChargeBytes(result.AsStr().size())) return Usual();
    return result;
}

Usual Member::Run(const FramePtr& frame) const {
    Usual target = object->Eval(frame);
    if (!target.IsObject() || !target.AsObject()) return NotAnObject(pos, name, target);
    const ClassDef& c = target.AsObject()->Class();
    if (isCall) {
        std::vector<Usual> values = EvalArgs(args, frame);
        if (BudgetExceeded()) return Usual();
        if (!c.FindMethod(sym) && !c.FindAccess(sym) && !c.FindAssign(sym) && !c.FindIVar(sym) && !c.FindDynamicGet())
            return Fault(pos, kGenNoMethod, name, "class " + c.name.Name() + " has no method " + name);
        return Guarded(pos, name, [&] { return Send(target, sym, Args(values)); });
    }
    if (!c.FindIVar(sym) && !c.FindAccess(sym) && !c.FindDynamicGet()) {
        if (c.FindMethod(sym)) return Guarded(pos, name, [&] { return Send(target, sym, {}); });
        return Fault(pos, kGenNoVarMethod, name, "class " + c.name.Name() + " has no property " + name);
    }
    return Guarded(pos, name, [&] { return IVarGet(target, sym); });
}

Usual Member::Store(const FramePtr& frame, const Usual& value) const {
    Usual target = object->Eval(frame);
    if (!target.IsObject() || !target.AsObject()) return NotAnObject(pos, name, target);
    const ClassDef& c = target.AsObject()->Class();
    if (!c.FindAssign(sym) && !c.FindIVar(sym) && !c.FindDynamicPut())
        return Fault(pos, kGenNoVarMethod, name, "class " + c.name.Name() + " has no assignable property " + name);
    return Guarded(pos, name, [&] { return IVarPut(target, sym, value); });
}

namespace {
// The element an index names, or nullptr after raising the fault.
Usual* Element(size_t pos, Usual& array, const Usual& index, Usual& faultAnswer) {
    if (!array.IsArray()) {
        faultAnswer = Fault(pos, kGenBound, "[]", "only an array can be indexed, not " + TypeOf(array));
        return nullptr;
    }
    if (!index.IsNumeric()) {
        faultAnswer = Fault(pos, kGenBound, "[]", "an array index must be a number, not " + TypeOf(index));
        return nullptr;
    }
    int64_t i = index.AsLong();
    if (i < 1 || static_cast<size_t>(i) > array.ALen()) {
        faultAnswer = Fault(pos, kGenBound, "[]",
                            "index " + std::to_string(i) + " is outside the array of " + std::to_string(array.ALen()));
        return nullptr;
    }
    return &array.At(static_cast<size_t>(i));
}
}  // namespace

Usual Index::Run(const FramePtr& frame) const {
    Usual a = array->Eval(frame);
    Usual i = index->Eval(frame);
    Usual answer;
    Usual* e = Element(pos, a, i, answer);
    return e ? *e : answer;
}

Usual Index::Store(const FramePtr& frame, const Usual& value) const {
    Usual a = array->Eval(frame);
    Usual i = index->Eval(frame);
    Usual answer;
    Usual* e = Element(pos, a, i, answer);
    if (!e) return answer;
    *e = value;
    return value;
}

Usual NewObject::Run(const FramePtr& frame) const {
    const ClassDef* c = FindClass(sym);
    if (!c || !c->factory) return Fault(pos, kGenNoClass, className, "there is no class " + className);
    std::vector<Usual> values = EvalArgs(args, frame);
    if (BudgetExceeded()) return Usual();
    return Guarded(pos, className, [&] { return CreateInstance(sym, Args(values)); });
}

Usual Sequence::Run(const FramePtr& frame) const {
    Usual result;
    for (const NodePtr& e : items) result = e->Eval(frame);
    return result;
}

}  // namespace rt::macro
