// The tree a compiled expression is held in. The parser (macroparser.cpp)
// builds it; each node evaluates itself (macroeval.cpp), so evaluation is a
// walk of the tree.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/macro.h"
#include "platform/runtime/macrofuncs.h"
#include "platform/runtime/usual.h"

namespace rt::macro {

// The parameters of one running block; a nested block keeps its outer
// block's frame, so it can read and assign the outer parameters later.
struct Frame {
    std::vector<Usual> vars;
    std::shared_ptr<Frame> parent;
};
using FramePtr = std::shared_ptr<Frame>;

struct Node {
    explicit Node(size_t p) : pos(p) {}
    virtual ~Node() = default;
    virtual Usual Eval(const FramePtr& frame) const = 0;
    // Assignment targets (names, fields, elements, properties) answer true
    // and implement Store.
    virtual bool Assignable() const { return false; }
    virtual Usual Store(const FramePtr& frame, const Usual& value) const;
    size_t pos;  // 1-based position of the node's first token (or operator)
};
using NodePtr = std::unique_ptr<Node>;
using NodeList = std::vector<NodePtr>;

struct Literal : Node {
    Literal(size_t p, Usual v) : Node(p), value(std::move(v)) {}
    Usual Eval(const FramePtr&) const override { return value; }
    Usual value;
};

// {a, b, c}: a new array at every evaluation.
struct ArrayLit : Node {
    ArrayLit(size_t p, NodeList e) : Node(p), items(std::move(e)) {}
    Usual Eval(const FramePtr& frame) const override;
    NodeList items;
};

// {|a, b| expr, expr}: a block made at evaluation, holding the frame it was
// made in. The body is shared with every block made from it.
struct BlockLit : Node {
    BlockLit(size_t p, size_t n, std::shared_ptr<NodeList> b) : Node(p), params(n), body(std::move(b)) {}
    Usual Eval(const FramePtr& frame) const override;
    size_t params;
    std::shared_ptr<NodeList> body;
};

// A block parameter: `up` frames out, slot `index`.
struct Param : Node {
    Param(size_t p, size_t u, size_t i) : Node(p), up(u), index(i) {}
    Usual Eval(const FramePtr& frame) const override;
    bool Assignable() const override { return true; }
    Usual Store(const FramePtr& frame, const Usual& value) const override;
    size_t up, index;
};

// A field bound when the text was compiled.
struct BoundField : Node {
    BoundField(size_t p, FieldBinding b, std::string n) : Node(p), binding(std::move(b)), name(std::move(n)) {}
    Usual Eval(const FramePtr& frame) const override;
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
    Usual Eval(const FramePtr& frame) const override;
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
};
const char* OpText(Op op);

struct Unary : Node {
    Unary(size_t p, Op o, NodePtr e) : Node(p), op(o), operand(std::move(e)) {}
    Usual Eval(const FramePtr& frame) const override;
    Op op;
    NodePtr operand;
};

struct Binary : Node {
    Binary(size_t p, Op o, NodePtr l, NodePtr r) : Node(p), op(o), left(std::move(l)), right(std::move(r)) {}
    Usual Eval(const FramePtr& frame) const override;
    Op op;
    NodePtr left, right;
};

// .AND. / .OR., evaluated left to right with the right side only when needed.
struct Logical : Node {
    Logical(size_t p, bool a, NodePtr l, NodePtr r) : Node(p), isAnd(a), left(std::move(l)), right(std::move(r)) {}
    Usual Eval(const FramePtr& frame) const override;
    bool isAnd;
    NodePtr left, right;
};

// target := value, or target op= value (op is Add, Sub, Mul or Div).
struct Assign : Node {
    Assign(size_t p, NodePtr t, NodePtr v, bool c, Op o)
        : Node(p), target(std::move(t)), value(std::move(v)), compound(c), op(o) {}
    Usual Eval(const FramePtr& frame) const override;
    NodePtr target, value;
    bool compound;
    Op op;
};

// IIF(cond, a, b): only the chosen side is evaluated.
struct Conditional : Node {
    Conditional(size_t p, NodePtr c, NodePtr a, NodePtr b)
        : Node(p), cond(std::move(c)), yes(std::move(a)), no(std::move(b)) {}
    Usual Eval(const FramePtr& frame) const override;
    NodePtr cond, yes, no;
};

// A function of the function table, found when compiled or, for a name
// registered later, at the first evaluation.
struct Call : Node {
    Call(size_t p, std::string n, NodeList a, const Function* f)
        : Node(p), name(std::move(n)), args(std::move(a)), fn(f) {}
    Usual Eval(const FramePtr& frame) const override;
    std::string name;
    NodeList args;
    mutable const Function* fn;
};

// obj:NAME(args), obj:NAME; obj:NAME := value.
struct Member : Node {
    Member(size_t p, NodePtr o, std::string n, bool c, NodeList a)
        : Node(p), object(std::move(o)), name(std::move(n)), sym(name), isCall(c), args(std::move(a)) {}
    Usual Eval(const FramePtr& frame) const override;
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
    Index(size_t p, NodePtr a, NodePtr i) : Node(p), array(std::move(a)), index(std::move(i)) {}
    Usual Eval(const FramePtr& frame) const override;
    bool Assignable() const override { return true; }
    Usual Store(const FramePtr& frame, const Usual& value) const override;
    NodePtr array, index;
};

// CLASS{args}: a new instance with INIT called.
struct NewObject : Node {
    NewObject(size_t p, std::string c, NodeList a)
        : Node(p), className(std::move(c)), sym(className), args(std::move(a)) {}
    Usual Eval(const FramePtr& frame) const override;
    std::string className;
    Symbol sym;
    NodeList args;
};

// a, b, c: each in turn; the value is the last.
struct Sequence : Node {
    Sequence(size_t p, NodeList e) : Node(p), items(std::move(e)) {}
    Usual Eval(const FramePtr& frame) const override;
    NodeList items;
};

// Raises a run-time fault at a position: an Error whose description names
// the position. Answers the error block's substitute, or NIL.
Usual Fault(size_t pos, uint32_t genCode, const std::string& operation, const std::string& detail);

}  // namespace rt::macro
