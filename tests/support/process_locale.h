// The process locale set by name, as QApplication sets it from the
// environment (setlocale(LC_ALL, "")), and the "C" locale put back after.
#pragma once

#include <clocale>
#include <string>

namespace testsupport {

// The decimal-comma locales that the number conversions are tried under
// (setup/deps.sh generates them).
inline const char* const kCommaLocales[] = {"de_DE.UTF-8", "sv_SE.UTF-8"};

class ProcessLocale {
public:
    explicit ProcessLocale(const char* name) : ok_(std::setlocale(LC_ALL, name) != nullptr) {}
    ~ProcessLocale() { std::setlocale(LC_ALL, "C"); }
    ProcessLocale(const ProcessLocale&) = delete;
    ProcessLocale& operator=(const ProcessLocale&) = delete;
    // Whether the locale is in force and the C library writes a decimal comma.
    bool CommaInForce() const { return ok_ && std::string(std::localeconv()->decimal_point) == ","; }

private:
    bool ok_;
};

}  // namespace testsupport
