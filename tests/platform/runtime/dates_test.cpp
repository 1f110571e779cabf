#include <gtest/gtest.h>

#include "platform/runtime/dates.h"
#include "platform/runtime/settings.h"

using namespace rt;

TEST(Dates, CalendarArithmeticAndLeapYears) {
    EXPECT_EQ(MakeDate(2000, 1, 1).julian, 2451545);  // the astronomers' epoch day
    EXPECT_FALSE(MakeDate(2000, 2, 29).IsEmpty());    // divisible by 400
    EXPECT_FALSE(MakeDate(2024, 2, 29).IsEmpty());
    EXPECT_TRUE(MakeDate(1900, 2, 29).IsEmpty());  // divisible by 100 only
    EXPECT_TRUE(MakeDate(2023, 2, 29).IsEmpty());
    EXPECT_TRUE(MakeDate(2024, 4, 31).IsEmpty());
    EXPECT_TRUE(MakeDate(2024, 13, 1).IsEmpty());
    EXPECT_TRUE(MakeDate(0, 1, 1).IsEmpty());

    // Every day of two centuries converts back to the same year, month, day.
    Date d = MakeDate(1899, 12, 31);
    for (int y = 1900; y <= 2100; ++y)
        for (int m = 1; m <= 12; ++m)
            for (int day = 1; day <= 31; ++day) {
                Date made = MakeDate(y, m, day);
                if (made.IsEmpty()) continue;
                ASSERT_EQ(made.julian, d.julian + 1) << y << "-" << m << "-" << day;
                ASSERT_EQ(Year(made) * 10000 + Month(made) * 100 + Day(made), y * 10000 + m * 100 + day);
                d = made;
            }

    Date newYear = MakeDate(2024, 1, 1);
    EXPECT_EQ(DOW(newYear), 2);
    EXPECT_EQ(CDoW(newYear), "Monday");
    EXPECT_EQ(DOW(MakeDate(2023, 12, 31)), 1);
    EXPECT_EQ(CDoW(MakeDate(2023, 12, 30)), "Saturday");
    EXPECT_EQ(CMonth(MakeDate(2024, 9, 3)), "September");
    EXPECT_EQ(AddDays(MakeDate(2024, 2, 28), 1), MakeDate(2024, 2, 29));
    EXPECT_EQ(AddDays(MakeDate(2024, 2, 28), 366), MakeDate(2025, 2, 28));
    EXPECT_EQ(DaysBetween(MakeDate(2025, 1, 1), MakeDate(2024, 1, 1)), 366);
    EXPECT_EQ(DaysBetween(MakeDate(2024, 1, 1), MakeDate(2025, 1, 1)), -366);

    // The empty date (and a hand-made out-of-range day) stays empty.
    EXPECT_EQ(Day(Date{}) + Month(Date{}) + Year(Date{}) + DOW(Date{}), 0);
    EXPECT_EQ(CMonth(Date{}), "");
    EXPECT_EQ(CDoW(Date{5}), "");
    EXPECT_TRUE(AddDays(Date{}, 10).IsEmpty());
    EXPECT_EQ(DaysBetween(MakeDate(2024, 1, 1), Date{}), 0);
    EXPECT_TRUE(AddDays(MakeDate(9999, 12, 31), 1).IsEmpty());
    EXPECT_TRUE(AddDays(MakeDate(2024, 1, 1), INT64_MIN).IsEmpty());
    EXPECT_TRUE(AddDays(MakeDate(2024, 1, 1), INT64_MAX).IsEmpty());
}

TEST(Dates, DToCFollowsPictureAndCentury) {
    ResetSettings();
    Date d = MakeDate(2024, 3, 5);
    EXPECT_EQ(DToC(d), "03/05/24");
    EXPECT_EQ(DToC(Date{}), "  /  /  ");

    // Switching the century rewrites the picture's year part both ways.
    EXPECT_FALSE(SetCentury(true));
    EXPECT_EQ(SetDateFrmt(), "MM/DD/YYYY");
    EXPECT_EQ(DToC(d), "03/05/2024");
    SetCentury(true);  // a second switch-on must not add digits
    EXPECT_EQ(SetDateFrmt(), "MM/DD/YYYY");
    SetCentury(false);
    EXPECT_EQ(SetDateFrmt(), "MM/DD/YY");

    SetDateFrmt("dd.mm.yyyy");
    EXPECT_TRUE(SetCentury());
    EXPECT_EQ(DToC(d), "05.03.2024");
    EXPECT_EQ(DToC(Date{}), "  .  .    ");
    SetDateFrmt("YY-MM-DD");
    EXPECT_FALSE(SetCentury());
    EXPECT_EQ(DToC(MakeDate(2009, 11, 30)), "09-11-30");
    EXPECT_EQ(DToC(d, "DD/MM/YYYY"), "05/03/2024");

    // A national picture keeps the century setting.
    SetCentury(true);
    SetDateCountry(5);
    EXPECT_EQ(SetDateFrmt(), "DD.MM.YYYY");
    SetCentury(false);
    SetDateCountry(2);
    EXPECT_EQ(DToC(d), "24.03.05");
    ResetSettings();
}

TEST(Dates, CToDTwoDigitYearsFollowTheEpoch) {
    ResetSettings();
    SetDateFrmt("DD/MM/YY");
    EXPECT_EQ(Year(CToD("01/01/85")), 1985);  // epoch 1900 by default
    SetEpoch(1986);                           // current year - 40, as the application sets it
    EXPECT_EQ(CToD("01/01/85"), MakeDate(2085, 1, 1));
    EXPECT_EQ(CToD("01/01/86"), MakeDate(1986, 1, 1));
    EXPECT_EQ(CToD("31/12/99"), MakeDate(1999, 12, 31));
    EXPECT_EQ(CToD("01/01/00"), MakeDate(2000, 1, 1));
    SetEpoch(1960);
    EXPECT_EQ(Year(CToD("01/01/59")), 2059);
    EXPECT_EQ(Year(CToD("01/01/60")), 1960);

    // With the century on, four digits are the year itself; two still
    // follow the epoch.
    SetCentury(true);
    EXPECT_EQ(CToD("01/01/1959"), MakeDate(1959, 1, 1));
    EXPECT_EQ(CToD("01/01/59"), MakeDate(2059, 1, 1));

    // Round trips in every picture shape, both sides of the epoch.
    for (const char* picture : {"DD/MM/YYYY", "MM/DD/YY", "YY-MM-DD", "DD.MM.YYYY", "YYYYMMDD"}) {
        SetDateFrmt(picture);
        for (Date x : {MakeDate(1960, 1, 1), MakeDate(2059, 12, 31), MakeDate(2024, 2, 29)})
            EXPECT_EQ(CToD(DToC(x)), x) << picture << " " << DToC(x);
        EXPECT_TRUE(CToD(DToC(Date{})).IsEmpty()) << picture;
    }

    SetDateFrmt("MM/DD/YYYY");
    EXPECT_EQ(CToD("2/9/2024"), MakeDate(2024, 2, 9));      // single digits
    EXPECT_EQ(CToD(" 02-09-2024 "), MakeDate(2024, 2, 9));  // other separators
    EXPECT_EQ(CToD("02092024"), MakeDate(2024, 2, 9));      // no separators at all
    ResetSettings();
}

TEST(Dates, CToDGivesTheEmptyDateForNonDates) {
    ResetSettings();
    SetDateFrmt("DD/MM/YYYY");
    for (const char* text : {"31/02/2024", "29/02/2023", "00/01/2024", "01/13/2024", "", "   ", "  /  /    ", "abc",
                             "01/Jan/2024", "1/2", "1/2/3/4", "001/01/2024", "01/01/20245", "0102202", "01/01/0000"})
        EXPECT_TRUE(CToD(text).IsEmpty()) << '"' << text << '"';
    EXPECT_EQ(CToD("29/02/2024"), MakeDate(2024, 2, 29));

    EXPECT_EQ(DToS(MakeDate(812, 7, 4)), "08120704");
    EXPECT_EQ(DToS(Date{}), "        ");
    EXPECT_EQ(SToD("20240229"), MakeDate(2024, 2, 29));
    for (const char* text : {"20230229", "2024022", "202402290", "        ", "2024-2-1", "abcdefgh"})
        EXPECT_TRUE(SToD(text).IsEmpty()) << text;
    ResetSettings();
}

TEST(Dates, TimeUnderTheClockHookAndTimeSettings) {
    ResetSettings();
    CivilTime fixed{2024, 2, 29, 0, 5, 9};
    SetClock([&] { return fixed; });
    EXPECT_EQ(Today(), MakeDate(2024, 2, 29));
    EXPECT_EQ(Time(), "00:05:09");
    SetTimeSep('.');
    EXPECT_EQ(Time(), "00.05.09");
    SetTimeSep(0x1234);  // not a byte: the colon
    EXPECT_EQ(Time(), "00:05:09");

    SetAmPm(true);
    SetAMExt(" am");
    SetPMExt(" pm");
    EXPECT_EQ(Time(), "12:05:09 am");
    fixed.hour = 11;
    fixed.minute = 59;
    fixed.second = 59;
    EXPECT_EQ(Time(), "11:59:59 am");
    fixed.hour = 12;
    EXPECT_EQ(Time(), "12:59:59 pm");
    fixed.hour = 13;
    EXPECT_EQ(Time(), "01:59:59 pm");
    fixed.hour = 23;
    fixed.second = 60;  // a leap second as the system clock may report it
    EXPECT_EQ(Time(), "11:59:59 pm");
    SetAmPm(false);
    EXPECT_EQ(Time(), "23:59:59");

    SetClock(nullptr);
    EXPECT_GE(Now().year, 2024);
    EXPECT_FALSE(Today().IsEmpty());
    ResetSettings();
}
