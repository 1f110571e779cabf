// Dates and times: the runtime's date functions under the date settings,
// and the clock (with a hook so that tests can fix the time).
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/runtime/usual.h"

namespace rt {

struct CivilTime {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
};

// The clock: local time now. SetClock replaces it (nullptr restores the
// system clock); production code reads the time only through Now().
CivilTime Now();
void SetClock(std::function<CivilTime()> clock);

Date MakeDate(int year, int month, int day);  // empty date when invalid
Date Today();
int Day(Date d);  // 0 for the empty date
int Month(Date d);
int Year(Date d);
int DOW(Date d);                     // 1 Sunday .. 7 Saturday, 0 for the empty date
std::string CMonth(Date d);          // "January"; "" for the empty date
std::string CDoW(Date d);            // "Monday"; "" for the empty date
Date AddDays(Date d, int64_t days);  // the empty date stays empty
int64_t DaysBetween(Date later, Date earlier);
int DaysInMonth(int year, int month);  // month 1 to 12, Gregorian

// Text under the date picture (SetDateFrmt), century and epoch settings.
std::string DToC(Date d);                            // blanks in the picture's shape for the empty date
std::string DToC(Date d, std::string_view picture);  // under the given picture ("DD/MM/YYYY")
Date CToD(std::string_view text);                    // the empty date for text that is no date
std::string DToS(Date d);                            // "YYYYMMDD"; 8 blanks for the empty date
Date SToD(std::string_view text);                    // the empty date for text that is no date

// "HH:MM:SS" under the time separator; with the 12-hour clock, hours 1-12
// and the morning or afternoon text appended.
std::string Time();

}  // namespace rt
