#include "platform/runtime/macro.h"

#include <memory>
#include <mutex>

#include "platform/runtime/error.h"
#include "platform/runtime/macroparser.h"

namespace rt {
namespace {

std::mutex gLookupMutex;
std::shared_ptr<const FieldLookup> gLookup;

ErrorRef SyntaxError(std::string_view text, const macro::ParseResult& r) {
    ErrorRef e = MakeError(r.faultCode, "MACRO");
    e->Description = std::string(ErrString(r.faultCode)) + " at position " + std::to_string(r.faultPos) + ": " +
                     r.fault;
    e->Arg = std::string(text);
    e->ArgType = kString;
    e->CanDefault = true;
    return e;
}

// The block of a text; wholeBlock tells whether the text was a block literal.
Usual Compile(std::string_view text, const FieldLookup& fields, bool& wholeBlock) {
    macro::ParseResult r = macro::Parse(text, fields);
    wholeBlock = r.wholeBlock;
    if (!r.ok) {
        RaiseError(SyntaxError(text, r));
        return Usual();
    }
    if (r.wholeBlock) return r.root->Eval(nullptr);
    std::shared_ptr<const macro::Node> root(std::move(r.root));
    return Usual::Block([root](Args) { return root->Eval(nullptr); });
}

}  // namespace

Usual CompileBlock(std::string_view text, const FieldLookup& fields) {
    bool wholeBlock = false;
    return Compile(text, fields, wholeBlock);
}

void SetCurrentFieldLookup(FieldLookup lookup) {
    auto next = lookup ? std::make_shared<const FieldLookup>(std::move(lookup)) : nullptr;
    std::lock_guard lock(gLookupMutex);
    gLookup = std::move(next);
}

FieldLookup CurrentFieldLookup() {
    std::shared_ptr<const FieldLookup> l;
    {
        std::lock_guard lock(gLookupMutex);
        l = gLookup;
    }
    return l ? *l : FieldLookup();
}

Usual MacroEval(std::string_view text) {
    bool wholeBlock = false;
    Usual block = Compile(text, {}, wholeBlock);
    if (wholeBlock || !block.IsCodeBlock()) return block;
    return block.Eval();
}

std::string MacroSyntaxCheck(std::string_view text) {
    macro::ParseResult r = macro::Parse(text, {});
    if (r.ok) return {};
    return SyntaxError(text, r)->Description;
}

}  // namespace rt
