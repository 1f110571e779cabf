#include "lib/controls/settingsscope.h"

#include "platform/runtime/settings.h"

namespace lib {

NumberSettingsScope::NumberSettingsScope()
    : decimals_(rt::SetDecimal()), fixed_(rt::SetFixed()), science_(rt::SetScience()) {}

NumberSettingsScope::~NumberSettingsScope() {
    rt::SetDecimal(decimals_);
    rt::SetFixed(fixed_);
    rt::SetScience(science_);
}

}  // namespace lib
