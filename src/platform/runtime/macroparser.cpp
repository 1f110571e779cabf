#include "platform/runtime/macroparser.h"

#include <cmath>
#include <vector>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macrolexer.h"
#include "platform/runtime/memvar.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/text.h"

namespace rt::macro {
namespace {

// Deeper nesting of the parser's own calls than this is refused rather
// than risking the stack.
constexpr int kMaxDepth = 200;

struct SyntaxFault {
    size_t pos;
    std::string text;
    uint32_t genCode = kGenSyntax;
};

constexpr const char* kTooComplex = "the expression is nested too deeply";

class Parser {
public:
    Parser(std::vector<Token> toks, const FieldLookup& fields) : t_(std::move(toks)), fields_(fields) {}

    ParseResult Run() {
        ParseResult r;
        try {
            // One block literal as the whole text gives that block itself.
            if (Peek().kind == Tok::LBrace && Peek(1).kind == Tok::Pipe) {
                size_t save = i_;
                NodePtr block = Primary();
                if (Peek().kind == Tok::End) {
                    r.root = std::move(block);
                    r.wholeBlock = true;
                    r.ok = true;
                    return r;
                }
                i_ = save;
            }
            NodePtr root = ExprList(Tok::End);
            Expect(Tok::End, "end of text");
            r.root = std::move(root);
            r.ok = true;
        } catch (const SyntaxFault& f) {
            r.faultPos = f.pos;
            r.fault = f.text;
            r.faultCode = f.genCode;
        }
        return r;
    }

private:
    const Token& Peek(size_t ahead = 0) const {
        size_t k = i_ + ahead;
        return k < t_.size() ? t_[k] : t_.back();
    }
    const Token& Next() {
        const Token& t = t_[i_];
        if (i_ + 1 < t_.size()) ++i_;
        return t;
    }
    bool Accept(Tok k) {
        if (Peek().kind != k) return false;
        Next();
        return true;
    }
    [[noreturn]] void Fail(const Token& at, const std::string& what, uint32_t genCode = kGenSyntax) const {
        throw SyntaxFault{at.pos, what, genCode};
    }
    const Token& Expect(Tok k, const char* what) {
        if (Peek().kind != k) Fail(Peek(), std::string("expected ") + what + ", found " + Describe(Peek()));
        return Next();
    }

    struct DepthGuard {
        DepthGuard(Parser& p) : p_(p) {
            if (++p_.depth_ > kMaxDepth) p_.Fail(p_.Peek(), kTooComplex, kGenComplexity);
        }
        ~DepthGuard() { --p_.depth_; }
        Parser& p_;
    };

    // A new node, refused when the tree under it is too high to walk safely.
    template <class T, class... A>
    NodePtr Make(A&&... args) {
        return Checked(std::make_unique<T>(std::forward<A>(args)...));
    }

    NodePtr Checked(NodePtr node) {
        if (node->height > kMaxTreeHeight) throw SyntaxFault{node->pos, kTooComplex, kGenComplexity};
        return node;
    }

    // Collects a run of operators of one precedence level into one Chain;
    // a lone operand stays as it is.
    class ChainBuilder {
    public:
        explicit ChainBuilder(NodePtr first) : first_(std::move(first)) {}
        void Add(Op op, size_t pos, NodePtr operand) {
            if (!chain_) chain_ = std::make_unique<Chain>(first_->pos, std::move(first_));
            chain_->Add(op, pos, std::move(operand));
        }
        NodePtr Done() { return chain_ ? NodePtr(std::move(chain_)) : std::move(first_); }

    private:
        NodePtr first_;
        std::unique_ptr<Chain> chain_;
    };

    // expr {, expr}; `close` is the token that may end an empty list.
    NodePtr ExprList(Tok close) {
        size_t pos = Peek().pos;
        NodeList items;
        if (Peek().kind == close) return Make<Literal>(pos, Usual());
        items.push_back(AssignExpr());
        while (Accept(Tok::Comma)) items.push_back(AssignExpr());
        if (items.size() == 1) return std::move(items.front());
        return Make<Sequence>(pos, std::move(items));
    }

    NodePtr AssignExpr() {
        DepthGuard guard(*this);
        NodePtr left = OrExpr();
        Op op = Op::Add;
        bool compound = true;
        switch (Peek().kind) {
            case Tok::Assign: compound = false; break;
            case Tok::PlusAssign: op = Op::Add; break;
            case Tok::MinusAssign: op = Op::Sub; break;
            case Tok::MulAssign: op = Op::Mul; break;
            case Tok::DivAssign: op = Op::Div; break;
            default: return left;
        }
        const Token& at = Next();
        if (!left->Assignable()) Fail(at, "'" + at.text + "' needs a variable, field, element or property on its left");
        NodePtr value = AssignExpr();
        return Make<Assign>(at.pos, std::move(left), std::move(value), compound, op);
    }

    NodePtr OrExpr() {
        ChainBuilder run(AndExpr());
        while (Peek().kind == Tok::Or) {
            size_t pos = Next().pos;
            run.Add(Op::Or, pos, AndExpr());
        }
        return Checked(run.Done());
    }

    NodePtr AndExpr() {
        ChainBuilder run(NotExpr());
        while (Peek().kind == Tok::And) {
            size_t pos = Next().pos;
            run.Add(Op::And, pos, NotExpr());
        }
        return Checked(run.Done());
    }

    NodePtr NotExpr() {
        if (Peek().kind == Tok::Not) {
            DepthGuard guard(*this);
            size_t pos = Next().pos;
            return Make<Unary>(pos, Op::Not, NotExpr());
        }
        return RelExpr();
    }

    NodePtr RelExpr() {
        ChainBuilder run(AddExpr());
        for (;;) {
            Op op;
            switch (Peek().kind) {
                case Tok::Eq: op = Op::Eq; break;
                case Tok::ExactEq: op = Op::ExactEq; break;
                case Tok::NotEq: op = Op::NotEq; break;
                case Tok::Less: op = Op::Less; break;
                case Tok::LessEq: op = Op::LessEq; break;
                case Tok::Greater: op = Op::Greater; break;
                case Tok::GreaterEq: op = Op::GreaterEq; break;
                case Tok::Dollar: op = Op::Contains; break;
                default: return Checked(run.Done());
            }
            size_t pos = Next().pos;
            run.Add(op, pos, AddExpr());
        }
    }

    NodePtr AddExpr() {
        ChainBuilder run(MulExpr());
        while (Peek().kind == Tok::Plus || Peek().kind == Tok::Minus) {
            Op op = Peek().kind == Tok::Plus ? Op::Add : Op::Sub;
            size_t pos = Next().pos;
            run.Add(op, pos, MulExpr());
        }
        return Checked(run.Done());
    }

    NodePtr MulExpr() {
        ChainBuilder run(UnaryExpr());
        for (;;) {
            Op op;
            switch (Peek().kind) {
                case Tok::Star: op = Op::Mul; break;
                case Tok::Slash: op = Op::Div; break;
                case Tok::Percent: op = Op::Mod; break;
                default: return Checked(run.Done());
            }
            size_t pos = Next().pos;
            run.Add(op, pos, UnaryExpr());
        }
    }

    NodePtr UnaryExpr() {
        if (Peek().kind == Tok::Minus || Peek().kind == Tok::Plus) {
            DepthGuard guard(*this);
            Op op = Peek().kind == Tok::Minus ? Op::Neg : Op::Plus;
            size_t pos = Next().pos;
            return Make<Unary>(pos, op, UnaryExpr());
        }
        return PowExpr();
    }

    NodePtr PowExpr() {
        NodePtr base = Postfix();
        if (Peek().kind == Tok::Power) {
            DepthGuard guard(*this);
            size_t pos = Next().pos;
            return Make<Binary>(pos, Op::Pow, std::move(base), UnaryExpr());
        }
        return base;
    }

    NodeList Args(Tok close, const char* closeText) {
        NodeList args;
        if (Accept(close)) return args;
        for (;;) {
            if (Peek().kind == Tok::Comma || Peek().kind == close) args.push_back(Make<Literal>(Peek().pos, Usual()));
            else args.push_back(AssignExpr());
            if (Accept(Tok::Comma)) continue;
            Expect(close, closeText);
            return args;
        }
    }

    NodePtr Postfix() {
        NodePtr e = Primary();
        for (;;) {
            if (Peek().kind == Tok::LBracket) {
                size_t pos = Next().pos;
                do {
                    e = Make<Index>(pos, std::move(e), AssignExpr());
                } while (Accept(Tok::Comma));
                Expect(Tok::RBracket, "']'");
            } else if (Peek().kind == Tok::Colon) {
                size_t pos = Next().pos;
                const Token& name = Expect(Tok::Ident, "a method or property name after ':'");
                std::string n = name.text;
                if (Accept(Tok::LParen)) e = Make<Member>(pos, std::move(e), n, true, Args(Tok::RParen, "')'"));
                else e = Make<Member>(pos, std::move(e), n, false, NodeList{});
            } else {
                return e;
            }
        }
    }

    NodePtr Primary() {
        DepthGuard guard(*this);
        const Token& t = Peek();
        size_t pos = t.pos;
        switch (t.kind) {
            case Tok::Number: {
                Usual v = Val(t.text);
                if (v.IsFloat() && !std::isfinite(v.AsDouble()))
                    Fail(t, t.text + " is beyond the range of numbers", kGenNumOverflow);
                Next();
                return Make<Literal>(pos, std::move(v));
            }
            case Tok::String: return Make<Literal>(pos, Usual(Next().text));
            case Tok::Date: {
                Date d = SToD(t.text);
                if (d.IsEmpty()) Fail(t, "0d" + t.text + " is not a valid date");
                Next();
                return Make<Literal>(pos, Usual(d));
            }
            case Tok::True: Next(); return Make<Literal>(pos, Usual(true));
            case Tok::False: Next(); return Make<Literal>(pos, Usual(false));
            case Tok::Nil: Next(); return Make<Literal>(pos, Usual());
            case Tok::Symbol: return Make<Literal>(pos, Usual(Symbol(Next().text)));
            case Tok::LParen: {
                Next();
                NodePtr e = ExprList(Tok::RParen);
                Expect(Tok::RParen, "')'");
                return e;
            }
            case Tok::LBrace: {
                Next();
                if (Peek().kind == Tok::Pipe) return BlockRest(pos);
                return Make<ArrayLit>(pos, Args(Tok::RBrace, "'}'"));
            }
            case Tok::Ident: return NamePrimary();
            default: Fail(t, "expected a value, found " + Describe(t));
        }
    }

    // After "{": |params| body }
    NodePtr BlockRest(size_t pos) {
        Expect(Tok::Pipe, "'|'");
        std::vector<std::string> params;
        if (!Accept(Tok::Pipe)) {
            for (;;) {
                const Token& p = Expect(Tok::Ident, "a parameter name");
                std::string name = Upper(p.text);
                for (const auto& q : params)
                    if (q == name) Fail(p, "parameter " + p.text + " is declared twice");
                params.push_back(name);
                if (Accept(Tok::Comma)) continue;
                Expect(Tok::Pipe, "'|' after the parameters");
                break;
            }
        }
        scopes_.push_back(params);
        auto body = std::make_shared<NodeList>();
        if (Peek().kind != Tok::RBrace) {
            body->push_back(AssignExpr());
            while (Accept(Tok::Comma)) body->push_back(AssignExpr());
        }
        scopes_.pop_back();
        Expect(Tok::RBrace, "'}' to close the block");
        return Make<BlockLit>(pos, params.size(), std::move(body));
    }

    NodePtr NamePrimary() {
        const Token& id = Next();
        size_t pos = id.pos;
        std::string name = id.text;
        std::string upper = Upper(name);
        if (Accept(Tok::LParen)) {
            NodeList args = Args(Tok::RParen, "')'");
            if (upper == "IIF" || upper == "IF") {
                if (args.size() != 3) Fail(id, upper + " needs three arguments");
                return Make<Conditional>(pos, std::move(args[0]), std::move(args[1]), std::move(args[2]));
            }
            return Make<Call>(pos, upper, std::move(args), FindFunction(upper));
        }
        if (Accept(Tok::LBrace)) return Make<NewObject>(pos, upper, Args(Tok::RBrace, "'}'"));
        if (Accept(Tok::Arrow)) {
            const Token& field = Expect(Tok::Ident, "a name after '->'");
            std::string fname = Upper(field.text);
            if (upper == "M" || upper == "MEMVAR") return Make<Name>(pos, "", fname, true, false);
            std::string alias = (upper == "FIELD" || upper == "_FIELD") ? std::string() : upper;
            if (fields_)
                if (auto b = fields_(alias, fname)) return Make<BoundField>(pos, std::move(*b), fname);
            return Make<Name>(pos, alias, fname, false, true);
        }
        // Block parameters, innermost block first. A block without
        // parameters makes no frame of its own, so it is not counted.
        size_t up = 0;
        for (size_t s = scopes_.size(); s-- > 0;) {
            const auto& scope = scopes_[s];
            if (scope.empty()) continue;
            for (size_t k = 0; k < scope.size(); ++k)
                if (scope[k] == upper) return Make<Param>(pos, up, k);
            ++up;
        }
        if (!MemVarExists(upper) && fields_)
            if (auto b = fields_("", upper)) return Make<BoundField>(pos, std::move(*b), upper);
        return Make<Name>(pos, "", upper, false, false);
    }

    std::vector<Token> t_;
    size_t i_ = 0;
    int depth_ = 0;
    const FieldLookup& fields_;
    std::vector<std::vector<std::string>> scopes_;
};

}  // namespace

ParseResult Parse(std::string_view text, const FieldLookup& fields) {
    std::vector<Token> toks;
    ParseResult r;
    if (!Tokenize(text, toks, r.faultPos, r.fault)) return r;
    return Parser(std::move(toks), fields).Run();
}

}  // namespace rt::macro
