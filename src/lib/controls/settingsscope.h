// A guard over the runtime's number display settings (decimals, fixed
// decimals, scientific notation): whatever is changed while it lives is put
// back as it was when it was made, however the scope is left.
#pragma once

namespace lib {

class NumberSettingsScope {
public:
    NumberSettingsScope();
    ~NumberSettingsScope();
    NumberSettingsScope(const NumberSettingsScope&) = delete;
    NumberSettingsScope& operator=(const NumberSettingsScope&) = delete;

private:
    int decimals_;
    bool fixed_, science_;
};

}  // namespace lib
