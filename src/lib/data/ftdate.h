// FT_Date: periods of a configurable accounting year. Given a date it
// answers the year, quarter, month, week or day the date falls in with the
// first and last date of that period, on calendar boundaries shifted to
// the accounting-year start or on accounting boundaries moved to whole
// weeks (docs/library-data.md).
//
// A period is an array {code, first date, last date}; the code is the
// accounting year (named by the calendar year it ends in) as 4 characters,
// then the period number as 2 digits (3 for a day).
#pragma once

#include <string>

#include "platform/runtime/object.h"

namespace lib {

class FTDate : public rt::Object {
    QZ_OBJECT(FTDate)
public:
    FTDate() = default;

    rt::Usual Init();
    // Changes the start ("yyyy.mm.dd" as the current date format reads it;
    // 29 February becomes 28 February) and the week start day (1-7) as far
    // as they are valid; answers a copy of the configuration.
    rt::Usual Cnfg(const rt::Usual& start, const rt::Usual& weekStart);
    rt::Usual MAdd(const rt::Usual& date, const rt::Usual& months, const rt::Usual& endOfMonth) const;
    int64_t DayToBoW(const rt::Usual& date) const;
    rt::Usual AcctAdj(const rt::Usual& date, const rt::Usual& isEnd) const;

    rt::Usual Year(const rt::Usual& date) const;
    rt::Usual Month(const rt::Usual& date, const rt::Usual& month) const;
    rt::Usual Qtr(const rt::Usual& dateOrQtr, const rt::Usual& qtr) const;
    rt::Usual Week(const rt::Usual& dateOrWeek, const rt::Usual& week) const;
    rt::Usual DayOfYr(const rt::Usual& date, const rt::Usual& day, const rt::Usual& acct) const;
    rt::Usual AcctYear(const rt::Usual& date) const;
    rt::Usual AcctMonth(const rt::Usual& date, const rt::Usual& month) const;
    rt::Usual AcctQtr(const rt::Usual& dateOrQtr, const rt::Usual& qtr) const;
    rt::Usual AcctWeek(const rt::Usual& dateOrWeek, const rt::Usual& week) const;

    const std::string& StartText() const { return start_; }
    int WeekStart() const { return weekStart_; }

private:
    struct Period {
        std::string code;
        rt::Date first, last;
    };
    static rt::Usual ToUsual(const Period& p);
    rt::Date AddMonths(rt::Date d, int64_t months, bool endOfMonth) const;
    int BoW(rt::Date d) const;
    rt::Date Adjust(rt::Date d, bool isEnd) const;
    Period YearOf(rt::Date d) const;
    Period MonthOf(rt::Date d, const rt::Usual& month) const;
    Period QtrOf(rt::Date d, const rt::Usual& qtr) const;
    Period WeekOf(rt::Date d, const rt::Usual& week) const;
    Period AcctYearOf(rt::Date d) const;
    Period AcctMonthOf(rt::Date d, const rt::Usual& month) const;
    Period AcctQtrOf(rt::Date d, const rt::Usual& qtr) const;
    Period AcctWeekOf(rt::Date d, const rt::Usual& week) const;
    using PeriodFn = Period (FTDate::*)(rt::Date, const rt::Usual&) const;
    Period AcctPeriodOf(rt::Date d, const rt::Usual& number, PeriodFn of, int64_t top) const;
    rt::Usual Shuffled(const rt::Usual& first, const rt::Usual& second, PeriodFn of) const;

    std::string start_ = "1980.01.01";
    int weekStart_ = 1;
};

}  // namespace lib
