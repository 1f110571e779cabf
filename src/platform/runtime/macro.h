// Code blocks compiled from text: the expression language that blocks,
// filters and index keys are written in (docs/blocks.md).
//
// The text is read by a lexer (macrolexer.h), parsed by recursive descent
// into a tree (macroparser.h, macroast.h) and evaluated by walking that tree
// (macroeval.cpp). Function calls go by name through the function table
// (macrofuncs.h); bare names are block parameters, session variables
// (memvar.h) or fields of a data server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "platform/runtime/usual.h"

namespace rt {

// How a compiled block reaches a field: read and write the field's value.
struct FieldBinding {
    std::function<Usual()> get;
    std::function<Usual(const Usual&)> put;
};

// Looks up a field by alias (empty for a bare name) and name; std::nullopt
// when there is none.
using FieldLookup = std::function<std::optional<FieldBinding>(std::string_view alias, std::string_view name)>;

// Compiles the text of an expression ("UPPER(NAME)+STR(QTY)") or of a whole
// block ("{|a, b| a+b}") into a code block Usual. Names that are not block
// parameters or session variables are looked up as fields: through `fields`
// at compile time when given, else at evaluation time through the
// process-wide current-area lookup (SetCurrentFieldLookup). A syntax fault
// raises an Error whose description names the position and returns NIL.
Usual CompileBlock(std::string_view text, const FieldLookup& fields = {});

// Installed by the table layer; an empty lookup removes it.
void SetCurrentFieldLookup(FieldLookup lookup);
// The lookup in force (empty when none is installed).
FieldLookup CurrentFieldLookup();

// Compiles and evaluates an expression at once (the macro operator); the
// text of a block literal gives the block. A syntax fault raises its Error
// and gives NIL.
Usual MacroEval(std::string_view text);

// Bounds on the evaluation of compiled text: the steps it takes (one per
// node of the tree evaluated) and the bytes of text and array elements it
// makes. 0 means no bound.
struct EvalLimits {
    uint64_t steps = 0;
    uint64_t bytes = 0;
};

// Puts the limits on every evaluation of compiled text on this thread while
// it lives; scopes nest, and a step or byte counts against each one in
// force. Going over raises one error, "Operation too complex" for steps or
// "Memory low" for bytes; from then on each node evaluates to NIL without
// further errors, so the evaluation ends quickly, and the scope stays
// exceeded. Without a scope evaluation is unbounded but for the nesting
// limits and the longest text.
class EvalBudget {
public:
    explicit EvalBudget(EvalLimits limits);
    ~EvalBudget();
    EvalBudget(const EvalBudget&) = delete;
    EvalBudget& operator=(const EvalBudget&) = delete;

    bool Exceeded() const { return exceeded_; }
    uint64_t Steps() const { return steps_; }
    uint64_t Bytes() const { return bytes_; }
    // The innermost scope on this thread; null when there is none.
    static EvalBudget* Active() { return active_; }

private:
    friend bool CountBytes(uint64_t bytes);
    friend bool CountStep();
    friend void ChargeRaisedError();
    friend bool AnyExceeded();
    static inline constinit thread_local EvalBudget* active_ = nullptr;
    EvalLimits limits_;
    EvalBudget* outer_;
    uint64_t steps_ = 0, bytes_ = 0;
    bool exceeded_ = false;
};

// Counts bytes that an evaluation is about to make against the budgets in
// force. False, after raising the budget's error the first time, when they
// would go over: the caller makes nothing and answers NIL. Functions that
// can make large texts or arrays call it before they do.
bool CountBytes(uint64_t bytes);
inline bool ChargeBytes(uint64_t bytes) { return !EvalBudget::Active() || CountBytes(bytes); }
// Counts one step of evaluation likewise (every node evaluated: without a
// scope in force it costs one test).
bool CountStep();
inline bool ChargeStep() { return !EvalBudget::Active() || CountStep(); }
// Every error raised while a budget is in force costs kFaultSteps steps:
// raising builds an error object, reads the call stack and runs the error
// block, so an evaluation whose error block answers each fault with a value
// and goes on stays within the same bound of work. The charge raises
// nothing itself; the next step goes over.
inline constexpr uint64_t kFaultSteps = 100;
void ChargeRaisedError();
// Whether a budget in force is exceeded: the evaluation is on its way out,
// and its faults and calls are skipped.
bool AnyExceeded();
inline bool BudgetExceeded() { return EvalBudget::Active() && AnyExceeded(); }

// Checks the text without evaluating it: empty when it compiles, else the
// description of the first syntax fault. Raises nothing.
std::string MacroSyntaxCheck(std::string_view text);

}  // namespace rt
