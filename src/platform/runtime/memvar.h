// Session variables: process-wide named values that compiled blocks read
// and assign by bare name (x := 5, then x + 1). They live until cleared.
#pragma once

#include <optional>
#include <string_view>

#include "platform/runtime/usual.h"

namespace rt {

bool MemVarExists(std::string_view name);  // letter case ignored
std::optional<Usual> MemVarGet(std::string_view name);
void MemVarPut(std::string_view name, const Usual& value);  // creates it when new
void MemVarRelease(std::string_view name);
void MemVarClearAll();

}  // namespace rt
