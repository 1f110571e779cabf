#include "lib/data/ftdate.h"

#include <algorithm>
#include <cstdio>

#include "platform/runtime/dates.h"
#include "platform/runtime/text.h"

namespace lib {

using rt::Date;
using rt::Usual;

namespace {

Date DateOrToday(const Usual& v) { return v.IsDate() && !v.AsDate().IsEmpty() ? v.AsDate() : rt::Today(); }

std::string Digits(int64_t n, int width) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*lld", width, static_cast<long long>(n));
    return buf;
}

std::string YearCode(int64_t y) { return rt::PadL(std::to_string(y), 4); }

Date Plus(Date d, int64_t days) { return rt::AddDays(d, days); }
int64_t Minus(Date a, Date b) { return rt::DaysBetween(a, b); }

// The week number of a day count from the year's week start: int(days / 7 + 1)
// with a real division, so a day before that start is in week 0.
int64_t WeekNumber(int64_t days) { return static_cast<int64_t>(static_cast<double>(days) / 7.0 + 1.0); }

// Days in a month, from the first of the next one.
int MonthEnd(int y, int m) {
    Date next = m == 12 ? rt::MakeDate(y + 1, 1, 1) : rt::MakeDate(y, m + 1, 1);
    return rt::Day(Plus(next, -1));
}

// The shuffled (date, period number) of QTR, WEEK, ACCTQTR and ACCTWEEK.
void Shuffle(const Usual& first, const Usual& second, Date& date, Usual& number) {
    number = second;
    if (first.IsNumeric()) {
        number = first;
        date = rt::Today();
    } else {
        date = DateOrToday(first);
    }
}

int64_t Clamp(const Usual& n, int64_t max) {
    int64_t v = n.AsLong();
    return v < 1 || v > max ? max : v;
}

}  // namespace

const rt::ClassDef& FTDate::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<FTDate>("FT_DATE")
                                       .Method<&FTDate::Init>("INIT")
                                       .Method<&FTDate::Cnfg>("CNFG")
                                       .Method<&FTDate::MAdd>("MADD")
                                       .Method<&FTDate::DayToBoW>("DAYTOBOW")
                                       .Method<&FTDate::AcctAdj>("ACCTADJ")
                                       .Method<&FTDate::Year>("YEAR")
                                       .Method<&FTDate::Month>("MONTH")
                                       .Method<&FTDate::Qtr>("QTR")
                                       .Method<&FTDate::Week>("WEEK")
                                       .Method<&FTDate::DayOfYr>("DAYOFYR")
                                       .Method<&FTDate::AcctYear>("ACCTYEAR")
                                       .Method<&FTDate::AcctMonth>("ACCTMONTH")
                                       .Method<&FTDate::AcctQtr>("ACCTQTR")
                                       .Method<&FTDate::AcctWeek>("ACCTWEEK")
                                       .Done();
    return c;
}

Usual FTDate::Init() {
    start_ = "1980.01.01";
    weekStart_ = 1;
    return Usual();
}

Usual FTDate::Cnfg(const Usual& start, const Usual& weekStart) {
    if (start.IsString()) {
        Date d = rt::CToD(start.AsStr());
        if (!d.IsEmpty()) {
            if (rt::Month(d) == 2 && rt::Day(d) == 29) d = rt::MakeDate(rt::Year(d), 2, 28);
            start_ = rt::DToC(d, "YYYY.MM.DD");
        }
    }
    if (weekStart.IsNumeric() && weekStart.AsDouble() >= 1 && weekStart.AsDouble() <= 7)
        weekStart_ = static_cast<int>(weekStart.AsLong());
    return Usual::Array({Usual(start_), Usual(weekStart_)});
}

Usual FTDate::ToUsual(const Period& p) { return Usual::Array({Usual(p.code), Usual(p.first), Usual(p.last)}); }

Date FTDate::AddMonths(Date d, int64_t months, bool endOfMonth) const {
    int y = rt::Year(d), m = rt::Month(d);
    int offset = rt::Day(d) - 1;
    endOfMonth = endOfMonth && rt::Day(d) == MonthEnd(y, m);
    int64_t index = static_cast<int64_t>(y) * 12 + (m - 1) + months;
    int ny = static_cast<int>(index / 12), nm = static_cast<int>(index % 12) + 1;
    int last = MonthEnd(ny, nm);
    if (endOfMonth) return rt::MakeDate(ny, nm, last);
    return rt::MakeDate(ny, nm, std::min(offset + 1, last));
}

Usual FTDate::MAdd(const Usual& date, const Usual& months, const Usual& endOfMonth) const {
    return Usual(AddMonths(DateOrToday(date), months.IsNumeric() ? months.AsLong() : 0,
                           endOfMonth.IsLogic() && endOfMonth.AsLogic()));
}

int FTDate::BoW(Date d) const {
    int n = rt::DOW(d) - weekStart_;
    return n < 0 ? n + 7 : n;
}

int64_t FTDate::DayToBoW(const Usual& date) const { return BoW(DateOrToday(date)); }

Date FTDate::Adjust(Date d, bool isEnd) const {
    int n = BoW(d);
    int limit = isEnd ? 2 : 3;
    d = n > limit ? Plus(d, 7 - n) : Plus(d, -n);
    return isEnd ? Plus(d, -1) : d;
}

Usual FTDate::AcctAdj(const Usual& date, const Usual& isEnd) const {
    return Usual(Adjust(DateOrToday(date), isEnd.IsLogic() && isEnd.AsLogic()));
}

FTDate::Period FTDate::YearOf(Date d) const {
    int sm = std::atoi(start_.substr(5, 2).c_str());
    int sd = std::atoi(start_.substr(8, 2).c_str());
    int y = rt::Year(d) - (rt::Month(d) < sm ? 1 : 0);
    Period p;
    p.first = rt::MakeDate(y, sm, sd);
    p.last = Plus(AddMonths(p.first, 12, false), -1);
    p.code = YearCode(rt::Year(p.last));
    return p;
}

// The 1-based month of d within the accounting year that starts at first.
static int MonthPosition(Date d, Date first) { return ((rt::Month(d) - rt::Month(first)) % 12 + 12) % 12 + 1; }

FTDate::Period FTDate::MonthOf(Date date, const Usual& month) const {
    Period y = YearOf(date);
    Date d = date;
    if (month.IsNumeric()) d = AddMonths(y.first, Clamp(month, 12) - 1, false);
    int m = MonthPosition(d, y.first);
    Period p;
    p.code = y.code + Digits(m, 2);
    p.first = AddMonths(y.first, m - 1, false);
    p.last = Plus(AddMonths(p.first, 1, false), -1);
    return p;
}

FTDate::Period FTDate::QtrOf(Date date, const Usual& qtr) const {
    Period y = YearOf(date);
    Date d = date;
    // A quarter number moves to that quarter of the date's year, as MONTH does.
    if (qtr.IsNumeric()) d = AddMonths(y.first, 3 * (Clamp(qtr, 4) - 1), false);
    int q = (MonthPosition(d, y.first) - 1) / 3;
    Period p;
    p.code = y.code + Digits(q + 1, 2);
    p.first = AddMonths(y.first, 3 * q, false);
    p.last = Plus(AddMonths(p.first, 3, false), -1);
    return p;
}

FTDate::Period FTDate::WeekOf(Date date, const Usual& week) const {
    Period y = YearOf(date);
    Date s = y.first;
    Date w = Plus(s, -BoW(s));
    if (week.IsNumeric()) {
        int64_t count = Minus(y.last, w) / 7 + 1;
        date = Plus(w, (Clamp(week, count) - 1) * 7);
    }
    date = Plus(date, 6 - BoW(date));
    Period p;
    p.code = y.code + Digits(WeekNumber(Minus(date, w)), 2);
    p.first = std::max(Plus(date, -6), s);
    p.last = std::min(date, y.last);
    return p;
}

FTDate::Period FTDate::AcctYearOf(Date date) const {
    Period r = YearOf(date);
    int64_t y = std::atoll(rt::AllTrim(r.code).c_str());
    r.first = Adjust(r.first, false);
    r.last = Adjust(r.last, true);
    if (date < r.first) {
        r = YearOf(AddMonths(date, -1, false));
        --y;
        r.first = Adjust(r.first, false);
        r.last = Adjust(r.last, true);
    } else if (date > r.last) {
        r = YearOf(AddMonths(date, 1, false));
        ++y;
        r.first = Adjust(r.first, false);
        r.last = Adjust(r.last, true);
    }
    r.code = YearCode(y);
    return r;
}

// An accounting month or quarter: the calendar period of `of` (MonthOf or
// QtrOf) moved to week boundaries; a date outside those boundaries belongs
// to the period before or after, numbered around `top` (12 or 4).
FTDate::Period FTDate::AcctPeriodOf(Date date, const Usual& number, PeriodFn of, int64_t top) const {
    auto read = [](const Period& p, int64_t& y, int64_t& k) {
        y = std::atoll(rt::AllTrim(p.code.substr(0, 4)).c_str());
        k = std::atoll(p.code.substr(4, 2).c_str());
    };
    auto adjust = [this](Period& p) {
        p.first = Adjust(p.first, false);
        p.last = Adjust(p.last, true);
    };
    Period r = (this->*of)(date, Usual());
    int64_t y, k;
    read(r, y, k);
    adjust(r);
    if (date < r.first) {
        date = AddMonths(date, -1, false);
        r = (this->*of)(date, Usual());
        if (--k == 0) k = top, --y;
        adjust(r);
    } else if (date > r.last) {
        date = AddMonths(date, 1, false);
        r = (this->*of)(date, Usual());
        if (++k == top + 1) k = 1, ++y;
        adjust(r);
    }
    if (number.IsNumeric()) {
        r = (this->*of)(date, Usual(Clamp(number, top)));
        read(r, y, k);
        adjust(r);
    }
    r.code = YearCode(y) + Digits(k, 2);
    return r;
}

FTDate::Period FTDate::AcctMonthOf(Date date, const Usual& month) const {
    return AcctPeriodOf(date, month, &FTDate::MonthOf, 12);
}

FTDate::Period FTDate::AcctQtrOf(Date date, const Usual& qtr) const {
    return AcctPeriodOf(date, qtr, &FTDate::QtrOf, 4);
}

FTDate::Period FTDate::AcctWeekOf(Date date, const Usual& week) const {
    Period r = AcctYearOf(date);
    if (week.IsNumeric()) {
        int64_t count = Minus(r.last, r.first) / 7 + 1;
        date = Plus(r.first, (Clamp(week, count) - 1) * 7);
    }
    Period p;
    p.code = r.code + Digits(WeekNumber(Minus(date, r.first)), 2);
    Date end = Plus(date, 6 - BoW(date));
    p.first = Plus(end, -6);
    p.last = end;
    return p;
}

Usual FTDate::Year(const Usual& date) const { return ToUsual(YearOf(DateOrToday(date))); }
Usual FTDate::Month(const Usual& date, const Usual& month) const { return ToUsual(MonthOf(DateOrToday(date), month)); }
Usual FTDate::AcctYear(const Usual& date) const { return ToUsual(AcctYearOf(DateOrToday(date))); }
Usual FTDate::AcctMonth(const Usual& date, const Usual& month) const {
    return ToUsual(AcctMonthOf(DateOrToday(date), month));
}

// The shuffled call of QTR, WEEK, ACCTQTR and ACCTWEEK: a number as first
// argument is the period number, and the date is then today.
Usual FTDate::Shuffled(const Usual& first, const Usual& second, PeriodFn of) const {
    Date d;
    Usual n;
    Shuffle(first, second, d, n);
    return ToUsual((this->*of)(d, n));
}

Usual FTDate::Qtr(const Usual& dateOrQtr, const Usual& qtr) const { return Shuffled(dateOrQtr, qtr, &FTDate::QtrOf); }
Usual FTDate::Week(const Usual& dateOrWeek, const Usual& week) const {
    return Shuffled(dateOrWeek, week, &FTDate::WeekOf);
}
Usual FTDate::AcctQtr(const Usual& dateOrQtr, const Usual& qtr) const {
    return Shuffled(dateOrQtr, qtr, &FTDate::AcctQtrOf);
}
Usual FTDate::AcctWeek(const Usual& dateOrWeek, const Usual& week) const {
    return Shuffled(dateOrWeek, week, &FTDate::AcctWeekOf);
}

Usual FTDate::DayOfYr(const Usual& date, const Usual& day, const Usual& acct) const {
    Usual dayNo = day;
    bool isAcct = acct.IsLogic() && acct.AsLogic();
    Date d;
    if (date.IsNumeric()) {
        dayNo = date;
        d = rt::Today();
    } else if (date.IsLogic()) {
        isAcct = date.AsLogic();
        d = rt::Today();
    } else {
        d = DateOrToday(date);
    }
    Period y = isAcct ? AcctYearOf(d) : YearOf(d);
    if (dayNo.IsNumeric()) {
        int64_t max = Minus(y.last, y.first) + 1;
        Date at = Plus(y.first, Clamp(dayNo, max) - 1);
        return Usual::Array({Usual(at), Usual(y.first), Usual(y.last)});
    }
    return Usual::Array({Usual(y.code + Digits(Minus(d, y.first) + 1, 3)), Usual(y.first), Usual(y.last)});
}

}  // namespace lib
