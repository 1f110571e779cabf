#include "platform/runtime/settings.h"

#include <atomic>
#include <mutex>
#include <type_traits>
#include <utility>

#include "platform/runtime/text.h"

namespace rt {
namespace {

// The settings that are one number or flag, each an atomic of its own: they
// are read on every step of a table scan (the deleted flag), where a lock
// would cost more than the step.
#define QZ_SCALAR_SETTINGS(X)  \
    X(bool, exclusive, false)  \
    X(bool, deleted, false)    \
    X(bool, exact, false)      \
    X(int, lockTries, 1)       \
    X(bool, ansi, true)        \
    X(bool, century, false)    \
    X(int, epoch, 1900)        \
    X(int, dateCountry, 1)     \
    X(int, decimals, 2)        \
    X(bool, fixed, false)      \
    X(bool, science, false)    \
    X(double, floatDelta, 0.0) \
    X(int, decimalSep, '.')    \
    X(int, thousandSep, ',')   \
    X(int, timeSep, ':')       \
    X(bool, amPm, false)       \
    X(int, intl, 0)            \
    X(int, dict, 0)            \
    X(bool, beep, false)       \
    X(bool, errorLog, true)

// The settings that are text. Settings are read on the GUI thread and,
// rarely, by worker threads (the serial watcher formats no dates); a mutex
// keeps the strings sound.
struct Texts {
    std::string defaultPath;
    std::optional<std::string> defaultDir;
    std::string dateFormat = "MM/DD/YY";
    std::string amExt;
    std::string pmExt;
};

struct Settings {
#define QZ_DECLARE(T, name, init) std::atomic<T> name{init};
    QZ_SCALAR_SETTINGS(QZ_DECLARE)
#undef QZ_DECLARE
};

// Made before any code runs (no guard to test on each read).
constinit Settings gSettings;

std::mutex gMutex;

Texts& TextSettings() {
    static Texts t;  // under gMutex
    return t;
}

template <class T>
T Get(std::atomic<T> Settings::*field) {
    return (gSettings.*field).load(std::memory_order_relaxed);
}

template <class T>
T Put(std::atomic<T> Settings::*field, std::type_identity_t<T> value) {
    return (gSettings.*field).exchange(value, std::memory_order_relaxed);
}

template <class T>
T Get(T Texts::*field) {
    std::lock_guard lock(gMutex);
    return TextSettings().*field;
}

template <class T>
T Put(T Texts::*field, T value) {
    std::lock_guard lock(gMutex);
    return std::exchange(TextSettings().*field, std::move(value));
}

}  // namespace

bool SetExclusive() { return Get(&Settings::exclusive); }
bool SetExclusive(bool on) { return Put(&Settings::exclusive, on); }
bool SetDeleted() { return Get(&Settings::deleted); }
bool SetDeleted(bool on) { return Put(&Settings::deleted, on); }
bool SetExact() { return Get(&Settings::exact); }
bool SetExact(bool on) { return Put(&Settings::exact, on); }
int LockTries() { return Get(&Settings::lockTries); }
int LockTries(int tries) { return Put(&Settings::lockTries, tries < 1 ? 1 : tries); }
bool SetAnsi() { return Get(&Settings::ansi); }
bool SetAnsi(bool on) { return Put(&Settings::ansi, on); }
std::string GetDefault() { return Get(&Texts::defaultPath); }
std::string SetDefault(const std::string& dir) { return Put(&Texts::defaultPath, dir); }
std::optional<std::string> GetDefaultDir() { return Get(&Texts::defaultDir); }
std::optional<std::string> SetDefaultDir(std::optional<std::string> dir) {
    return Put(&Texts::defaultDir, std::move(dir));
}

bool SetCentury() { return Get(&Settings::century); }
bool SetCentury(bool on) {
    // The year part of the date picture follows the century setting.
    std::lock_guard lock(gMutex);
    bool old = Put(&Settings::century, on);
    std::string& f = TextSettings().dateFormat;
    if (on) {
        size_t pos = f.find("YY");
        if (pos != std::string::npos && f.find("YYYY") == std::string::npos) f.insert(pos, "YY");
    } else {
        size_t pos = f.find("YYYY");
        if (pos != std::string::npos) f.erase(pos, 2);
    }
    return old;
}
std::string SetDateFrmt() { return Get(&Texts::dateFormat); }
std::string SetDateFrmt(const std::string& picture) {
    std::string upper = Upper(picture);
    std::lock_guard lock(gMutex);
    Put(&Settings::century, upper.find("YYYY") != std::string::npos);
    return std::exchange(TextSettings().dateFormat, upper);
}
int SetEpoch() { return Get(&Settings::epoch); }
int SetEpoch(int year) { return Put(&Settings::epoch, year); }
int SetDateCountry() { return Get(&Settings::dateCountry); }
int SetDateCountry(int country) {
    static const char* const kPictures[] = {"MM/DD/YY", "MM/DD/YY", "YY.MM.DD", "DD/MM/YY",
                                            "DD/MM/YY", "DD.MM.YY", "DD-MM-YY", "DD/MM/YY"};
    if (country < 1 || country > 7) return SetDateCountry();
    bool century = SetCentury();
    int old = Put(&Settings::dateCountry, country);
    SetDateFrmt(kPictures[country]);
    SetCentury(century);
    return old;
}

int SetDecimal() { return Get(&Settings::decimals); }
int SetDecimal(int places) { return Put(&Settings::decimals, places < 0 ? 0 : places); }
bool SetFixed() { return Get(&Settings::fixed); }
bool SetFixed(bool on) { return Put(&Settings::fixed, on); }
bool SetScience() { return Get(&Settings::science); }
bool SetScience(bool on) { return Put(&Settings::science, on); }
double SetFloatDelta() { return Get(&Settings::floatDelta); }
double SetFloatDelta(double delta) { return Put(&Settings::floatDelta, delta < 0 ? -delta : delta); }
int SetDecimalSep() { return Get(&Settings::decimalSep); }
int SetDecimalSep(int code) { return Put(&Settings::decimalSep, code); }
int SetThousandSep() { return Get(&Settings::thousandSep); }
int SetThousandSep(int code) { return Put(&Settings::thousandSep, code); }

int SetTimeSep() { return Get(&Settings::timeSep); }
int SetTimeSep(int code) { return Put(&Settings::timeSep, code); }
bool SetAmPm() { return Get(&Settings::amPm); }
bool SetAmPm(bool on) { return Put(&Settings::amPm, on); }
std::string SetAMExt() { return Get(&Texts::amExt); }
std::string SetAMExt(const std::string& text) { return Put(&Texts::amExt, text); }
std::string SetPMExt() { return Get(&Texts::pmExt); }
std::string SetPMExt(const std::string& text) { return Put(&Texts::pmExt, text); }

int _SetIntl() { return Get(&Settings::intl); }
int _SetIntl(int mode) { return Put(&Settings::intl, mode); }
int _SetDict() { return Get(&Settings::dict); }
int _SetDict(int mode) { return Put(&Settings::dict, mode); }

bool SetBeep() { return Get(&Settings::beep); }
bool SetBeep(bool on) { return Put(&Settings::beep, on); }
bool SetErrorLog() { return Get(&Settings::errorLog); }
bool SetErrorLog(bool on) { return Put(&Settings::errorLog, on); }

void ResetSettings() {
#define QZ_RESET(T, name, init) gSettings.name.store(init, std::memory_order_relaxed);
    QZ_SCALAR_SETTINGS(QZ_RESET)
#undef QZ_RESET
    std::lock_guard lock(gMutex);
    TextSettings() = Texts{};
}

}  // namespace rt
