// Process-wide runtime settings. Each setting has one getter and one setter
// under the same name; the setter returns the value in force before it.
#pragma once

#include <optional>
#include <string>

namespace rt {

// Tables and files.
bool SetExclusive();  // open tables exclusively unless asked otherwise (default false)
bool SetExclusive(bool on);
bool SetDeleted();  // hide records marked as deleted (default false)
bool SetDeleted(bool on);
int LockTries();  // attempts at a record or file lock (default 1)
int LockTries(int tries);
bool SetAnsi();  // tables created as ANSI (true) or OEM (false); default true
bool SetAnsi(bool on);
std::string GetDefault();  // default table directory ("" = current directory)
std::string SetDefault(const std::string& dir);
// Default directory for files named without a path; nullopt when none is set.
std::optional<std::string> GetDefaultDir();
std::optional<std::string> SetDefaultDir(std::optional<std::string> dir);

// Comparison: with exact on, "=" compares whole texts (trailing blanks
// ignored) instead of the left text's start (default false).
bool SetExact();
bool SetExact(bool on);

// Dates.
bool SetCentury();  // four-digit years in date text (default false)
bool SetCentury(bool on);
std::string SetDateFrmt();  // date picture, e.g. "DD/MM/YYYY" (default "MM/DD/YY")
std::string SetDateFrmt(const std::string& picture);
int SetEpoch();  // first year of the hundred that two-digit years fall in (1900)
int SetEpoch(int year);
// Date country: 1 American, 2 ANSI, 3 British, 4 French, 5 German, 6 Italian,
// 7 Spanish; setting it also sets the date picture (with the century setting).
int SetDateCountry();
int SetDateCountry(int country);

// Numbers.
int SetDecimal();  // decimals of floats without their own (default 2)
int SetDecimal(int places);
bool SetFixed();  // always show SetDecimal decimals (default false)
bool SetFixed(bool on);
bool SetScience();  // scientific notation for numbers too wide for their field
bool SetScience(bool on);
double SetFloatDelta();  // tolerance of float comparisons (default 0)
double SetFloatDelta(double delta);
int SetDecimalSep();  // character code of the decimal separator (46 ".")
int SetDecimalSep(int code);
int SetThousandSep();  // character code of the thousands separator (44 ",")
int SetThousandSep(int code);

// Times.
int SetTimeSep();  // character code of the time separator (58 ":")
int SetTimeSep(int code);
bool SetAmPm();  // 12-hour clock (default false)
bool SetAmPm(bool on);
std::string SetAMExt();  // text after morning times in 12-hour form
std::string SetAMExt(const std::string& text);
std::string SetPMExt();  // text after afternoon times
std::string SetPMExt(const std::string& text);

// International mode: 1 regional settings, 2 binary, anything else legacy.
int _SetIntl();
int _SetIntl(int mode);
// Collation mode, the same three values.
int _SetDict();
int _SetDict(int mode);

// Error handling.
bool SetBeep();  // sound tones on errors
bool SetBeep(bool on);
bool SetErrorLog();  // write error reports to the error log
bool SetErrorLog(bool on);

// Restores every setting to its start value (tests use it between cases).
void ResetSettings();

}  // namespace rt
