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

// The month n months away, counted in one step and held to the calendar's
// years 1 to 9999 (a count past them lands on the first or last month);
// the day is kept, or the month's last day where it has none.
void PeCalendar::MoveMonths(int64_t n) {
    const int64_t from = int64_t{rt::Year(current_)} * 12 + (rt::Month(current_) - 1);
    const int64_t first = 12, last = 9999 * 12 + 11;
    const int64_t to = n > 0 ? (n > last - from ? last : from + n) : (n < first - from ? first : from + n);
    MoveTo(static_cast<int>(to / 12), static_cast<int>(to % 12) + 1);
}

void PeCalendar::MoveYears(int64_t n) {
    const int64_t y = rt::Year(current_);
    MoveTo(static_cast<int>(n > 0 ? std::min<int64_t>(9999, y + std::min<int64_t>(n, 9999))
                                  : std::max<int64_t>(1, y + std::max<int64_t>(n, -9999))),
           rt::Month(current_));
}

void PeCalendar::MoveTo(int year, int month) {
    SetCurrentDate(rt::MakeDate(year, month, std::min(rt::Day(current_), rt::DaysInMonth(year, month))));
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
