// Regional settings: reading real locales, the fallbacks, applying the
// three modes, the invalid mode and the protection while applying.
#include <stdexcept>

#include "errors/international.h"
#include "errors/regional.h"
#include "errors_fixture.h"
#include "platform/runtime/numbers.h"

namespace errors_test {
namespace {

using errors::ReadRegionalSettings;
using errors::RegionalSettings;
using errors::SetInternational;

const rt::Symbol kWindows("WINDOWS"), kLegacy("LEGACY"), kBinary("BINARY");

#define REQUIRE_LOCALE(name)                                                                \
    if (!errors::LocaleAvailable(name))                                                     \
    GTEST_SKIP() << name << " is not installed here (setup/deps.sh generates it)"

errors::RegionalReader Locale(const char* name) {
    return [name] { return ReadRegionalSettings(name); };
}

rt::Date March5() { return rt::MakeDate(2024, 3, 5); }

// --- reading locales --------------------------------------------------------

TEST_F(ErrorsTest, GermanLocaleGivesDayFirstDatesAndDecimalComma) {
    REQUIRE_LOCALE("de_DE.UTF-8");
    EXPECT_EQ(SetInternational(rt::Usual(kWindows), Locale("de_DE.UTF-8")), kLegacy);
    EXPECT_EQ(rt::SetDateFrmt(), "DD.MM.YYYY");
    EXPECT_EQ(rt::DToC(March5()), "05.03.2024");
    EXPECT_EQ(rt::SetDecimalSep(), ',');
    EXPECT_EQ(rt::SetThousandSep(), '.');
    EXPECT_EQ(rt::Transform(rt::Usual(1234.5), "9,999.99"), "1.234,50");
    // A 24-hour locale with empty designators.
    EXPECT_FALSE(rt::SetAmPm());
    EXPECT_EQ(rt::SetAMExt(), " ");
    EXPECT_EQ(rt::SetPMExt(), " ");
    EXPECT_EQ(rt::Time(), "14:07:09");
}

TEST_F(ErrorsTest, AmericanLocaleGivesMonthFirstDatesAndTwelveHourClock) {
    REQUIRE_LOCALE("en_US.UTF-8");
    SetInternational(rt::Usual(kWindows), Locale("en_US.UTF-8"));
    EXPECT_EQ(rt::SetDateFrmt(), "MM/DD/YYYY");
    EXPECT_EQ(rt::DToC(March5()), "03/05/2024");
    EXPECT_TRUE(rt::SetAmPm());
    EXPECT_EQ(rt::SetAMExt(), " AM");
    EXPECT_EQ(rt::Time(), "02:07:09 PM");
    EXPECT_EQ(rt::SetDecimalSep(), '.');
    EXPECT_EQ(rt::SetDecimal(), 2);
}

TEST_F(ErrorsTest, SwedishLocaleGivesYearFirstDates) {
    REQUIRE_LOCALE("sv_SE.UTF-8");
    SetInternational(rt::Usual(kWindows), Locale("sv_SE.UTF-8"));
    EXPECT_EQ(rt::SetDateFrmt(), "YYYY-MM-DD");
    EXPECT_EQ(rt::DToC(March5()), "2024-03-05");
    EXPECT_EQ(rt::SetDecimalSep(), ',');
    // The narrow no-break space that groups digits becomes a plain space.
    EXPECT_EQ(rt::SetThousandSep(), ' ');
}

TEST_F(ErrorsTest, JapaneseLocaleGivesYearFirstDatesAndTheDecimalsOfNumbers) {
    REQUIRE_LOCALE("ja_JP.UTF-8");
    SetInternational(rt::Usual(kWindows), Locale("ja_JP.UTF-8"));
    EXPECT_EQ(rt::SetDateFrmt(), "YYYY/MM/DD");
    // Yen have no decimals; numbers keep two.
    EXPECT_EQ(rt::SetDecimal(), 2);
}

TEST(RegionalSettings, LocaleThatCannotBeLoadedGivesEveryFallback) {
    RegionalSettings s = ReadRegionalSettings("xx_NOWHERE.UTF-8");
    RegionalSettings fallback;
    EXPECT_EQ(s.decimalSep, '.');
    EXPECT_EQ(s.thousandSep, ',');
    EXPECT_EQ(s.timeSep, ':');
    EXPECT_TRUE(s.twelveHour);
    EXPECT_EQ(s.amExt, " am");
    EXPECT_EQ(s.pmExt, " pm");
    EXPECT_EQ(s.dateOrder, 0);
    EXPECT_EQ(s.shortDate, "mm/dd/yy");
    EXPECT_EQ(s.decimals, 2);
    EXPECT_EQ(errors::DatePicture(s), "MM/DD/YY");
}

TEST(RegionalSettings, EmptyItemsOfTheCLocaleTakeTheirFallbacks) {
    RegionalSettings s = ReadRegionalSettings("C");
    EXPECT_EQ(s.thousandSep, ',') << "the C locale groups no digits";
    EXPECT_EQ(s.decimals, 2) << "the C locale names no decimal places";
    EXPECT_FALSE(s.twelveHour);
    EXPECT_EQ(s.amExt, " AM");
    EXPECT_EQ(errors::DatePicture(s), "MM/DD/YY");
}

TEST(RegionalSettings, DateFormatsGiveOrderSeparatorAndYearWidth) {
    struct Case {
        const char* fmt;
        const char* picture;
    } cases[] = {
        {"%d.%m.%Y", "DD.MM.YYYY"}, {"%y-%m-%d", "YY-MM-DD"}, {"%D", "MM/DD/YY"},
        {"%F", "YYYY-MM-DD"},       {"%e/%m/%C%y", "DD/MM/YYYY"}, {"%a %d %b %Y", "DD MM YYYY"},
        {"%-m/%-d/%Y", "MM/DD/YYYY"},
        // No one mark between every two fields: the separator falls back.
        {"%Y\u5e74%m\u6708%d\u65e5", "YYYY/MM/DD"}, {"%d-%m/%Y", "DD/MM/YYYY"},
        {"%Y. %m. %d.", "YYYY.MM.DD"},
    };
    for (const Case& c : cases) {
        RegionalSettings s;
        errors::ReadDateFormat(c.fmt, s);
        EXPECT_EQ(errors::DatePicture(s), c.picture) << c.fmt;
    }
    RegionalSettings none;
    errors::ReadDateFormat("", none);
    EXPECT_EQ(none.shortDate, "mm/dd/yy");
}

TEST(RegionalSettings, TimeFormatsGiveClockAndSeparator) {
    RegionalSettings ampm;
    errors::ReadTimeFormat("%r", "%I:%M:%S %p", ampm);
    EXPECT_TRUE(ampm.twelveHour);
    EXPECT_EQ(ampm.timeSep, ':');

    RegionalSettings dots;
    errors::ReadTimeFormat("%H.%M.%S", "", dots);
    EXPECT_FALSE(dots.twelveHour);
    EXPECT_EQ(dots.timeSep, '.');

    RegionalSettings none;
    errors::ReadTimeFormat("", "", none);
    EXPECT_TRUE(none.twelveHour);
    EXPECT_EQ(none.timeSep, ':');
}

TEST(RegionalSettings, SeparatorsBeyondAsciiBecomeSpaceOrFallback) {
    EXPECT_EQ(errors::SeparatorCode(",", 46), ',');
    EXPECT_EQ(errors::SeparatorCode("", 46), 46);
    EXPECT_EQ(errors::SeparatorCode("\xC2\xA0", 44), ' ');      // no-break space
    EXPECT_EQ(errors::SeparatorCode("\xE2\x80\xAF", 44), ' ');  // narrow no-break space
    EXPECT_EQ(errors::SeparatorCode("\xD9\xAB", 46), 46);       // Arabic decimal separator
}

// --- modes ------------------------------------------------------------------

TEST_F(ErrorsTest, LegacyThenWindowsReturnsLegacy) {
    RegionalSettings german;
    german.decimalSep = ',';
    german.dateOrder = 1;
    german.dateSep = ".";
    german.shortDate = "DD.MM.YYYY";
    auto read = [german] { return german; };

    EXPECT_EQ(SetInternational(rt::Usual(kWindows), read), kLegacy);
    EXPECT_EQ(SetInternational(rt::Usual(kLegacy)), kWindows);
    EXPECT_EQ(rt::SetDateFrmt(), "MM/DD/YY");
    EXPECT_EQ(rt::SetDecimalSep(), '.');
    EXPECT_FALSE(rt::SetCentury());
    EXPECT_EQ(rt::_SetIntl(), 0);
    EXPECT_EQ(SetInternational(rt::Usual(kWindows), read), kLegacy);
    EXPECT_EQ(rt::SetDateFrmt(), "DD.MM.YYYY");
    EXPECT_EQ(rt::_SetIntl(), 1);
    EXPECT_EQ(rt::_SetDict(), 1);
}

TEST_F(ErrorsTest, BinarySetsBothModesAndNoArgumentChangesNothing) {
    EXPECT_EQ(SetInternational(rt::Usual(kBinary)), kLegacy);
    EXPECT_EQ(rt::_SetIntl(), 2);
    EXPECT_EQ(rt::_SetDict(), 2);
    rt::SetDateFrmt("DD/MM/YYYY");
    EXPECT_EQ(SetInternational(), kBinary);
    EXPECT_EQ(rt::SetDateFrmt(), "DD/MM/YYYY");
}

TEST_F(ErrorsTest, InvalidModeIsReportedThroughTheHandlerAndChangesNothing) {
    UseDefError();
    SetInternational(rt::Usual(kBinary));
    rt::SetDateFrmt("DD/MM/YYYY");
    Rec().answers.push_back(rt::kErrorBoxRetry);  // the answer is ignored

    EXPECT_EQ(SetInternational(rt::Usual(rt::Symbol("FRENCH"))), kBinary);
    EXPECT_EQ(rt::_SetIntl(), 2);
    EXPECT_EQ(rt::SetDateFrmt(), "DD/MM/YYYY");
    ASSERT_EQ(Rec().boxes.size(), 1u);
    const std::string& text = Rec().boxes[0].text;
    EXPECT_EQ(text.substr(0, text.find("CallStack")),
              "Error Code:  30 [ OPERATION NOT SUPPORTED ]\r\n"
              "Subsystem: International\r\n"
              "Argument: FRENCH\r\n");
    EXPECT_EQ(Rec().boxes[0].defaultValue, 1u);
    EXPECT_NE(Log().find("SubSystem       :International\r\n"), std::string::npos);

    // A value that is no symbol at all is just as invalid.
    SetInternational(rt::Usual("WINDOWS"));
    EXPECT_EQ(Rec().boxes.size(), 2u);
    EXPECT_EQ(rt::_SetIntl(), 2);
}

TEST_F(ErrorsTest, FaultWhileApplyingIsAbsorbedAndTheErrorBlockComesBack) {
    UseDefError();
    rt::Usual handler = rt::ErrorBlock();
    auto faulty = []() -> RegionalSettings {
        rt::RaiseError(rt::MakeError(rt::kGenRead, "LOCALE"));
        throw std::logic_error("the temporary error block did not jump");
    };
    EXPECT_EQ(SetInternational(rt::Usual(kWindows), faulty), kLegacy);
    EXPECT_TRUE(Rec().boxes.empty()) << "nothing is shown";
    EXPECT_FALSE(Exists(errors::ErrorLogPath())) << "nothing is logged";
    EXPECT_EQ(rt::ErrorBlock().AsCodeBlock(), handler.AsCodeBlock());
    EXPECT_FALSE(rt::CanBreak()) << "the recovery scope is left";
    EXPECT_EQ(rt::_SetIntl(), 1) << "the settings made so far stay";
    EXPECT_EQ(rt::SetDecimalSep(), '.');

    auto throwing = []() -> RegionalSettings { throw std::runtime_error("no memory"); };
    EXPECT_EQ(SetInternational(rt::Usual(kLegacy)), kWindows);
    EXPECT_EQ(SetInternational(rt::Usual(kWindows), throwing), kLegacy);
    EXPECT_EQ(rt::ErrorBlock().AsCodeBlock(), handler.AsCodeBlock());
}

}  // namespace
}  // namespace errors_test
