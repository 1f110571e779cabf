// libFuzzer target for the expression language: any bytes as the text of an
// expression, checked, compiled and evaluated under a step and memory
// budget, and a block it gives called too. Must never crash, hang, leak or
// trip a sanitizer: every fault is an error, answered here with NIL so that
// evaluation goes on past it.
#include <cstdint>
#include <string_view>

#include "platform/runtime/cycles.h"
#include "platform/runtime/error.h"
#include "platform/runtime/macro.h"
#include "platform/runtime/memvar.h"

namespace {

bool Setup() {
    rt::ErrorBlock(rt::Usual::Block([](rt::Args) { return rt::Usual(); }));
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    {
        rt::EvalBudget budget({50000, 16u << 20});
        rt::MacroSyntaxCheck(text);
        rt::Usual v = rt::MacroEval(text);
        if (v.IsCodeBlock()) v.Eval({rt::Usual(int64_t{1}), rt::Usual("a")});
    }
    // Session variables would carry one input's state into the next.
    rt::MemVarClearAll();
    // Values the input left holding each other are freed like any other:
    // what is still there after this is a leak.
    rt::CollectCycles();
    return 0;
}
