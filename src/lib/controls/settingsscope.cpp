#include "lib/controls/settingsscope.h"

#include "platform/runtime/settings.h"

namespace lib {

SettingsScope::SettingsScope()
    : decimals_(rt::SetDecimal()),
      fixed_(rt::SetFixed()),
      science_(rt::SetScience()),
      datePicture_(rt::SetDateFrmt()) {}

SettingsScope::~SettingsScope() {
    rt::SetDecimal(decimals_);
    rt::SetFixed(fixed_);
    rt::SetScience(science_);
    rt::SetDateFrmt(datePicture_);
}

}  // namespace lib
