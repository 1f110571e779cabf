// The user's regional settings, read from the POSIX locale: the number,
// time and date conventions that SetInternational applies with #WINDOWS.
//
// Each item has a fallback for when the locale gives nothing (no such
// locale, or an empty item). docs/errors.md maps every item onto the
// locale item it is read from.
#pragma once

#include <string>
#include <string_view>

namespace rt {

struct RegionalSettings {
    int decimalSep = '.';  // character code
    int thousandSep = ',';
    int timeSep = ':';
    bool twelveHour = true;     // the 12-hour clock
    std::string amExt = " am";  // text after morning times: " " and the designator
    std::string pmExt = " pm";
    int dateOrder = 0;                   // 0 month-day-year, 1 day-month-year, 2 year-month-day
    std::string dateSep = "/";           // one character (a UTF-8 sequence at most)
    std::string shortDate = "mm/dd/yy";  // upper case when read from the locale
    int decimals = 2;
    // The OEM code page of the locale, as Windows gives it: 437 for the
    // United States (and a locale it cannot tell), 850 for the other
    // Western European and Latin American locales. Text printers get it.
    int oemCodePage = 437;
};

// The OEM code page of a locale name ("de_DE.UTF-8"; "" is the one the
// environment names for character types: LC_ALL, LC_CTYPE, LANG).
int OemCodePage(std::string_view localeName = {});

// Reads a locale by name ("de_DE.UTF-8"); "" is the locale the process
// environment names (LC_ALL, LC_TIME, LC_NUMERIC, LC_MONETARY, LANG), as
// setlocale(LC_ALL, "") would take it. The process's own locale is not
// changed. A locale that cannot be loaded gives every fallback.
RegionalSettings ReadRegionalSettings(std::string_view localeName = {});

// Whether a locale of that name can be loaded.
bool LocaleAvailable(std::string_view localeName);

// The date picture of the settings: day, month and year in the date order,
// joined by the date separator, the year as YYYY when the short date
// picture has a four-digit year, else YY.
std::string DatePicture(const RegionalSettings& s);

// Parts of the reading, for tests: a POSIX date format ("%d.%m.%Y") as
// date order, separator and short date picture; a time format ("%r") as
// clock and separator; a separator text as one character code.
void ReadDateFormat(std::string_view dFmt, RegionalSettings& s);
void ReadTimeFormat(std::string_view tFmt, std::string_view tFmtAmPm, RegionalSettings& s);
int SeparatorCode(std::string_view text, int fallback);

}  // namespace rt
