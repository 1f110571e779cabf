// The system support classes and functions as the late-bound layer sees
// them: RegisterSystemClasses makes every class creatable by name, and
// SystemFunctions lists the free functions by their symbols, for an
// evaluator's function table.
#pragma once

#include <string_view>
#include <vector>

#include "platform/runtime/usual.h"

namespace lib {

void RegisterSystemClasses();

struct NamedFunction {
    std::string_view name;  // upper case, as the symbol
    rt::Usual (*call)(rt::Args args);
};
const std::vector<NamedFunction>& SystemFunctions();
// The function of that name (any case), or nullptr.
const NamedFunction* FindSystemFunction(std::string_view name);

}  // namespace lib
