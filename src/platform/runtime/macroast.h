// The tree a compiled expression is held in. The parser (macroparser.cpp)
// builds it; each node evaluates itself (macroeval.cpp), so evaluation is a
// walk of the tree.
//
// Every walk of the tree (evaluation, freeing) recurses once per level, so
// the tree's height is what bounds the stack: each node knows the height of
// its subtree, the parser refuses trees higher than kMaxTreeHeight, and
// runs of operators of one precedence (1+1+1..., a .AND. b .AND. c ...) are
// one Chain node with a list of operands, not a deep left-leaning tree.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/cycles.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/macrofuncs.h"
#include "platform/runtime/usual.h"

namespace rt::macro {

// The parameters of one running block; a nested block keeps its outer
// block's frame, so it can read and assign the outer parameters later.
// A frame is traced (cycles.h) once a block made in it holds it: a block
// kept in its own call's parameter holds the frame that holds it.
struct Frame final : Traced {
    std::vector<Usual> vars;
    std::shared_ptr<Frame> parent;

    const void* TraceKey() const override { return this; }
    void TraceChildren(const std::function<void(const void*)>& visit) const override {
        for (const Usual& v : vars) VisitHeld(v, visit);
        if (parent) visit(parent.get());
    }
    void TraceClear() override {
        std::vector<Usual>().swap(vars);
        parent.reset();
    }
};
using FramePtr = std::shared_ptr<Frame>;

// The highest tree the parser builds. Evaluation may nest deeper than this
// only through blocks evaluating blocks, which has a bound of its own.
inline constexpr size_t kMaxTreeHeight = 256;

struct Node;
using NodePtr = std::unique_ptr<Node>;
using NodeList = std::vector<NodePtr>;

struct Node {
    explicit Node(size_t p) : pos(p) {}
    virtual ~Node() = default;
    // Evaluates the node: counts a step against the evaluation budget in
    // force (macro.h) and refuses, with an "Operation too complex" error,
    // evaluation nested deeper than the stack safely allows. The checks are
    // made at every eighth level and under a budget; the levels between
    // only count themselves.
    Usual Eval(const FramePtr& frame) const {
        if (EvalBudget::Active() || (depth_ & 7) == 7) return EvalChecked(frame);
        ++depth_;
        struct Leave {
            ~Leave() { --depth_; }
        } leave;
        return Run(frame);
    }
    // Assignment targets (names, fields, elements, properties) answer true
    // and implement Store.
    virtual bool Assignable() const { return false; }
    virtual Usual Store(const FramePtr& frame, const Usual& value) const;
    size_t pos;         // 1-based position of the node's first token (or operator)
    size_t height = 1;  // levels in the subtree this node heads

protected:
    // What the node does when evaluated (Eval has checked the limits).
    virtual Usual Run(const FramePtr& frame) const = 0;
    // Eval with every check made.
    Usual EvalChecked(const FramePtr& frame) const;
    // How deep evaluation is nested on this thread.
    static inline constinit thread_local int depth_ = 0;
    // Records a child (or a list of children) in the height.
    void Above(const Node* child) {
        if (child) height = std::max(height, child->height + 1);
    }
    void Above(const NodeList& children) {
        for (const NodePtr& c : children) Above(c.get());
    }
};

struct Literal : Node {
    Literal(size_t p, Usual v) : Node(p), value(std::move(v)) {}
    Usual Run(const FramePtr&) const override { return value; }
    Usual value;
};

// {a, b, c}: a new array at every evaluation.
struct ArrayLit : Node {
    ArrayLit(size_t p, NodeList e) : Node(p), items(std::move(e)) { Above(items); }
    Usual Run(const FramePtr& frame) const override;
    NodeList items;
};

// {|a, b| expr, expr}: a block made at evaluation, holding the frame it was
// made in. The body is shared with every block made from it.
struct BlockLit : Node {
    BlockLit(size_t p, size_t n, std::shared_ptr<NodeList> b) : Node(p), params(n), body(std::move(b)) { Above(*body); }
    Usual Run(const FramePtr& frame) const override;
    size_t params;
    std::shared_ptr<NodeList> body;
};

// A block parameter: `up` frames out, slot `index`.
struct Param : Node {
    Param(size_t p, size_t u, size_t i) : Node(p), up(u), index(i) {}
    Usual Run(const FramePtr& frame) const override;
    bool Assignable() const override { return true; }
    Usual Store(const FramePtr& frame, const Usual& value) const override;
    size_t up, index;
};

// A field bound when the text was compiled.
struct BoundField : Node {
    BoundField(size_t p, FieldBinding b, std::string n) : Node(p), binding(std::move(b)), name(std::move(n)) {}
    Usual Run(const FramePtr& frame) const override;
    bool Assignable() const override { return true; }
    Usual Store(const FramePtr& frame, const Usual& value) const override;
    FieldBinding binding;
    std::string name;
};

// A name decided at evaluation: a session variable, else a field of the
// current area (or of the alias), else a fault. Assignment to a name that
// is neither creates the session variable. With memvarOnly (M->NAME) only
// session variables are considered; with fieldOnly (FIELD->NAME or
// ALIAS->NAME) only fields.
struct Name : Node {
    Name(size_t p, std::string a, std::string n, bool m, bool f)
        : Node(p), alias(std::move(a)), name(std::move(n)), memvarOnly(m), fieldOnly(f) {}
    Usual Run(const FramePtr& frame) const override;
    bool Assignable() const override { return true; }
    Usual Store(const FramePtr& frame, const Usual& value) const override;
    std::string alias, name;
    bool memvarOnly, fieldOnly;
};

enum class Op {
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Pow,
    Eq,
    ExactEq,
    NotEq,
    Less,
    LessEq,
    Greater,
    GreaterEq,
    Contains,
    Neg,
    Plus,
    Not,
    And,
    Or,
};
const char* OpText(Op op);

struct Unary : Node {
    Unary(size_t p, Op o, NodePtr e) : Node(p), op(o), operand(std::move(e)) { Above(operand.get()); }
    Usual Run(const FramePtr& frame) const override;
    Op op;
    NodePtr operand;
};

struct Binary : Node {
    Binary(size_t p, Op o, NodePtr l, NodePtr r) : Node(p), op(o), left(std::move(l)), right(std::move(r)) {
        Above(left.get());
        Above(right.get());
    }
    Usual Run(const FramePtr& frame) const override;
    Op op;
    NodePtr left, right;
};

// first op a op b ...: a run of left-associative operators of one
// precedence level, applied left to right in a loop. .AND. and .OR. stop
// at the first operand that decides the result.
struct Chain : Node {
    struct Link {
        Op op;
        size_t pos;  // the operator's position
        NodePtr operand;
    };
    Chain(size_t p, NodePtr f) : Node(p), first(std::move(f)) { Above(first.get()); }
    void Add(Op op, size_t at, NodePtr operand) {
        Above(operand.get());
        links.push_back(Link{op, at, std::move(operand)});
    }
    Usual Run(const FramePtr& frame) const override;
    NodePtr first;
    std::vector<Link> links;
};

// target := value, or target op= value (op is Add, Sub, Mul or Div).
struct Assign : Node {
    Assign(size_t p, NodePtr t, NodePtr v, bool c, Op o)
        : Node(p), target(std::move(t)), value(std::move(v)), compound(c), op(o) {
        Above(target.get());
        Above(value.get());
    }
    Usual Run(const FramePtr& frame) const override;
    NodePtr target, value;
    bool compound;
    Op op;
};

// IIF(cond, a, b): only the chosen side is evaluated.
struct Conditional : Node {
    Conditional(size_t p, NodePtr c, NodePtr a, NodePtr b)
        : Node(p), cond(std::move(c)), yes(std::move(a)), no(std::move(b)) {
        Above(cond.get());
        Above(yes.get());
        Above(no.get());
    }
    Usual Run(const FramePtr& frame) const override;
    NodePtr cond, yes, no;
};

// A function of the function table, found when compiled or, for a name
// registered later, at the first evaluation.
struct Call : Node {
    Call(size_t p, std::string n, NodeList a, const Function* f)
        : Node(p), name(std::move(n)), args(std::move(a)), fn(f) {
        Above(args);
    }
    Usual Run(const FramePtr& frame) const override;
    std::string name;
    NodeList args;
    mutable const Function* fn;
};

// obj:NAME(args), obj:NAME; obj:NAME := value.
struct Member : Node {
    Member(size_t p, NodePtr o, std::string n, bool c, NodeList a)
        : Node(p), object(std::move(o)), name(std::move(n)), sym(name), isCall(c), args(std::move(a)) {
        Above(object.get());
        Above(args);
    }
    Usual Run(const FramePtr& frame) const override;
    bool Assignable() const override { return !isCall; }
    Usual Store(const FramePtr& frame, const Usual& value) const override;
    NodePtr object;
    std::string name;
    Symbol sym;
    bool isCall;
    NodeList args;
};

// array[i] (array[i, j] nests).
struct Index : Node {
    Index(size_t p, NodePtr a, NodePtr i) : Node(p), array(std::move(a)), index(std::move(i)) {
        Above(array.get());
        Above(index.get());
    }
    Usual Run(const FramePtr& frame) const override;
    bool Assignable() const override { return true; }
    Usual Store(const FramePtr& frame, const Usual& value) const override;
    NodePtr array, index;
};

// CLASS{args}: a new instance with INIT called.
struct NewObject : Node {
    NewObject(size_t p, std::string c, NodeList a)
        : Node(p), className(std::move(c)), sym(className), args(std::move(a)) {
        Above(args);
    }
    Usual Run(const FramePtr& frame) const override;
    std::string className;
    Symbol sym;
    NodeList args;
};

// a, b, c: each in turn; the value is the last.
struct Sequence : Node {
    Sequence(size_t p, NodeList e) : Node(p), items(std::move(e)) { Above(items); }
    Usual Run(const FramePtr& frame) const override;
    NodeList items;
};

// Raises a run-time fault at a position: an Error whose description names
// the position. Answers the error block's substitute, or NIL.
Usual Fault(size_t pos, uint32_t genCode, const std::string& operation, const std::string& detail);

}  // namespace rt::macro
