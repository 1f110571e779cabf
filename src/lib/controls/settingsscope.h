// A guard over the runtime settings a control changes for a while (the
// decimals, fixed decimals, scientific notation and the date picture):
// whatever is changed while it lives is put back as it was when it was
// made, however the scope is left.
#pragma once

#include <string>

namespace lib {

class SettingsScope {
public:
    SettingsScope();
    ~SettingsScope();
    SettingsScope(const SettingsScope&) = delete;
    SettingsScope& operator=(const SettingsScope&) = delete;

private:
    int decimals_;
    bool fixed_, science_;
    std::string datePicture_;
};

}  // namespace lib
