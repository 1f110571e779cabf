#include "platform/runtime/settings.h"

#include <mutex>
#include <utility>

#include "platform/runtime/text.h"

namespace rt {
namespace {

struct Settings {
    bool exclusive = false;
    bool deleted = false;
    bool exact = false;
    int lockTries = 1;
    bool ansi = true;
    std::string defaultPath;
    std::optional<std::string> defaultDir;

    bool century = false;
    std::string dateFormat = "MM/DD/YY";
    int epoch = 1900;
    int dateCountry = 1;

    int decimals = 2;
    bool fixed = false;
    bool science = false;
    double floatDelta = 0.0;
    int decimalSep = '.';
    int thousandSep = ',';

    int timeSep = ':';
    bool amPm = false;
    std::string amExt;
    std::string pmExt;

    int intl = 0;
    int dict = 0;

    bool beep = false;
    bool errorLog = true;
};

// Settings are read on the GUI thread and, rarely, by worker threads (the
// serial watcher formats no dates); a mutex keeps string settings sound.
std::mutex gMutex;

Settings& S() {
    static Settings s;
    return s;
}

template <class T>
T Get(T Settings::*field) {
    std::lock_guard lock(gMutex);
    return S().*field;
}

template <class T>
T Put(T Settings::*field, T value) {
    std::lock_guard lock(gMutex);
    return std::exchange(S().*field, std::move(value));
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
std::string GetDefault() { return Get(&Settings::defaultPath); }
std::string SetDefault(const std::string& dir) { return Put(&Settings::defaultPath, dir); }
std::optional<std::string> GetDefaultDir() { return Get(&Settings::defaultDir); }
std::optional<std::string> SetDefaultDir(std::optional<std::string> dir) {
    return Put(&Settings::defaultDir, std::move(dir));
}

bool SetCentury() { return Get(&Settings::century); }
bool SetCentury(bool on) {
    // The year part of the date picture follows the century setting.
    std::lock_guard lock(gMutex);
    Settings& s = S();
    bool old = std::exchange(s.century, on);
    std::string& f = s.dateFormat;
    if (on) {
        size_t pos = f.find("YY");
        if (pos != std::string::npos && f.find("YYYY") == std::string::npos) f.insert(pos, "YY");
    } else {
        size_t pos = f.find("YYYY");
        if (pos != std::string::npos) f.erase(pos, 2);
    }
    return old;
}
std::string SetDateFrmt() { return Get(&Settings::dateFormat); }
std::string SetDateFrmt(const std::string& picture) {
    std::string upper = Upper(picture);
    std::lock_guard lock(gMutex);
    S().century = upper.find("YYYY") != std::string::npos;
    return std::exchange(S().dateFormat, upper);
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
std::string SetAMExt() { return Get(&Settings::amExt); }
std::string SetAMExt(const std::string& text) { return Put(&Settings::amExt, text); }
std::string SetPMExt() { return Get(&Settings::pmExt); }
std::string SetPMExt(const std::string& text) { return Put(&Settings::pmExt, text); }

int _SetIntl() { return Get(&Settings::intl); }
int _SetIntl(int mode) { return Put(&Settings::intl, mode); }
int _SetDict() { return Get(&Settings::dict); }
int _SetDict(int mode) { return Put(&Settings::dict, mode); }

bool SetBeep() { return Get(&Settings::beep); }
bool SetBeep(bool on) { return Put(&Settings::beep, on); }
bool SetErrorLog() { return Get(&Settings::errorLog); }
bool SetErrorLog(bool on) { return Put(&Settings::errorLog, on); }

void ResetSettings() {
    std::lock_guard lock(gMutex);
    S() = Settings{};
}

}  // namespace rt
