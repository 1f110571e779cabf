// The calendar's date arithmetic: the first day of the week from the
// locale, moving by days, months and years, and the grid's rows and
// columns of a date.
#include <langinfo.h>
#include <locale.h>

#include <algorithm>

#include "lib/controls/calendar.h"
#include "platform/runtime/dates.h"

namespace lib {

int LocaleFirstDayOfWeek(int fallback) {
    locale_t loc = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
    if (!loc) return fallback;
    // glibc: first_weekday (1-7) counts from the day week-1stday names
    // (a date written as the number YYYYMMDD).
    const int first = static_cast<unsigned char>(nl_langinfo_l(_NL_TIME_FIRST_WEEKDAY, loc)[0]);
    const auto origin = static_cast<int>(reinterpret_cast<intptr_t>(nl_langinfo_l(_NL_TIME_WEEK_1STDAY, loc)));
    freelocale(loc);
    if (first < 1 || first > 7) return fallback;
    const rt::Date day0 = rt::MakeDate(origin / 10000, origin / 100 % 100, origin % 100);
    if (day0.IsEmpty()) return fallback;
    // As the regional setting is read: a Monday start gives 2, a Sunday
    // start 1 (DOW's numbers); any other day leaves the value as it was.
    const int64_t dow = (rt::DOW(day0) - 1 + first - 1) % 7 + 1;
    return dow == 1 || dow == 2 ? static_cast<int>(dow) : fallback;
}

rt::Date PeCalendar::SetCurrentDate(rt::Date d) {
    if (!d.IsEmpty()) current_ = d;
    highlight_ = true;
    Redraw();
    return current_;
}

int64_t PeCalendar::SetFirstDayOfTheWeek(int64_t dow) {
    if (dow >= 1 && dow <= 7) firstDay_ = dow;
    Redraw();
    return firstDay_;
}

void PeCalendar::MoveDays(int64_t n) { SetCurrentDate(rt::AddDays(current_, n)); }

void PeCalendar::MoveMonths(int64_t n) {
    int y = rt::Year(current_);
    int64_t m = rt::Month(current_) + n;
    while (m < 1) m += 12, --y;
    while (m > 12) m -= 12, ++y;
    const int mm = static_cast<int>(m);
    SetCurrentDate(rt::MakeDate(y, mm, std::min(rt::Day(current_), rt::DaysInMonth(y, mm))));
}

void PeCalendar::MoveYears(int64_t n) {
    const int y = rt::Year(current_) + static_cast<int>(n), m = rt::Month(current_);
    SetCurrentDate(rt::MakeDate(y, m, std::min(rt::Day(current_), rt::DaysInMonth(y, m))));
}

int64_t PeCalendar::CastDate2Column(rt::Date d) const {
    int64_t col = rt::DOW(d) - (firstDay_ - 1);
    return col < 1 ? col + 7 : col;
}

rt::Date PeCalendar::CastRowCol2Date(int64_t row, int64_t col) const {
    const rt::Date first = rt::MakeDate(rt::Year(current_), rt::Month(current_), 1);
    return rt::AddDays(first, 7 * (row - 1) + (col - CastDate2Column(first)));
}

int64_t PeCalendar::CurrentRowNumber() const {
    const rt::Date first = rt::MakeDate(rt::Year(current_), rt::Month(current_), 1);
    return (CastDate2Column(first) + rt::Day(current_) - 2) / 7 + 1;
}

}  // namespace lib
