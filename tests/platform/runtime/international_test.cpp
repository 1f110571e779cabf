// Regional settings: reading real locales, the fallbacks, applying the
// three modes, the invalid mode and the protection while applying.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "platform/runtime/dates.h"
#include "platform/runtime/error.h"
#include "platform/runtime/international.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/regional.h"
#include "platform/runtime/settings.h"

namespace {

using rt::ReadRegionalSettings;
using rt::RegionalSettings;
using rt::SetInternational;

const rt::Symbol kWindows("WINDOWS"), kLegacy("LEGACY"), kBinary("BINARY");

#define REQUIRE_LOCALE(name) \
    if (!rt::LocaleAvailable(name)) GTEST_SKIP() << name << " is not installed here (setup/deps.sh generates it)"

rt::RegionalReader Locale(const char* name) {
    return [name] { return ReadRegionalSettings(name); };
}

rt::Date March5() { return rt::MakeDate(2024, 3, 5); }

// Default settings, a fixed clock and an error block that records what is
// raised and answers nil.
class InternationalTest : public testing::Test {
protected:
    void SetUp() override {
        rt::ResetSettings();
        rt::SetClock([] { return rt::CivilTime{2024, 3, 5, 14, 7, 9}; });
        saved_ = rt::ErrorBlock(rt::Usual::Block([this](rt::Args a) {
            raised_.push_back(a.empty() ? nullptr : std::dynamic_pointer_cast<rt::Error>(a[0].AsObject()));
            return rt::Usual();
        }));
    }
    void TearDown() override {
        rt::ErrorBlock(saved_);
        rt::SetClock(nullptr);
        rt::ResetSettings();
    }

    std::vector<rt::ErrorRef> raised_;

private:
    rt::Usual saved_;
};

// --- reading locales --------------------------------------------------------

TEST_F(InternationalTest, GermanLocaleGivesDayFirstDatesAndDecimalComma) {
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

TEST_F(InternationalTest, AmericanLocaleGivesMonthFirstDatesAndTwelveHourClock) {
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

TEST_F(InternationalTest, SwedishLocaleGivesYearFirstDates) {
    REQUIRE_LOCALE("sv_SE.UTF-8");
    SetInternational(rt::Usual(kWindows), Locale("sv_SE.UTF-8"));
    EXPECT_EQ(rt::SetDateFrmt(), "YYYY-MM-DD");
    EXPECT_EQ(rt::DToC(March5()), "2024-03-05");
    EXPECT_EQ(rt::SetDecimalSep(), ',');
    // The narrow no-break space that groups digits becomes a plain space.
    EXPECT_EQ(rt::SetThousandSep(), ' ');
}

TEST_F(InternationalTest, JapaneseLocaleGivesYearFirstDatesAndTheDecimalsOfNumbers) {
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
    EXPECT_EQ(rt::DatePicture(s), "MM/DD/YY");
}

TEST(RegionalSettings, EmptyItemsOfTheCLocaleTakeTheirFallbacks) {
    RegionalSettings s = ReadRegionalSettings("C");
    EXPECT_EQ(s.thousandSep, ',') << "the C locale groups no digits";
    EXPECT_EQ(s.decimals, 2) << "the C locale names no decimal places";
    EXPECT_FALSE(s.twelveHour);
    EXPECT_EQ(s.amExt, " AM");
    EXPECT_EQ(rt::DatePicture(s), "MM/DD/YY");
}

TEST(RegionalSettings, DateFormatsGiveOrderSeparatorAndYearWidth) {
    struct Case {
        const char* fmt;
        const char* picture;
    } cases[] = {
        {"%d.%m.%Y", "DD.MM.YYYY"},
        {"%y-%m-%d", "YY-MM-DD"},
        {"%D", "MM/DD/YY"},
        {"%F", "YYYY-MM-DD"},
        {"%e/%m/%C%y", "DD/MM/YYYY"},
        {"%a %d %b %Y", "DD MM YYYY"},
        {"%-m/%-d/%Y", "MM/DD/YYYY"},
        // No one mark between every two fields: the separator falls back.
        {"%Y\u5e74%m\u6708%d\u65e5", "YYYY/MM/DD"},
        {"%d-%m/%Y", "DD/MM/YYYY"},
        {"%Y. %m. %d.", "YYYY.MM.DD"},
    };
    for (const Case& c : cases) {
        RegionalSettings s;
        rt::ReadDateFormat(c.fmt, s);
        EXPECT_EQ(rt::DatePicture(s), c.picture) << c.fmt;
    }
    RegionalSettings none;
    rt::ReadDateFormat("", none);
    EXPECT_EQ(none.shortDate, "mm/dd/yy");
}

TEST(RegionalSettings, TimeFormatsGiveClockAndSeparator) {
    RegionalSettings ampm;
    rt::ReadTimeFormat("%r", "%I:%M:%S %p", ampm);
    EXPECT_TRUE(ampm.twelveHour);
    EXPECT_EQ(ampm.timeSep, ':');

    RegionalSettings dots;
    rt::ReadTimeFormat("%H.%M.%S", "", dots);
    EXPECT_FALSE(dots.twelveHour);
    EXPECT_EQ(dots.timeSep, '.');

    RegionalSettings none;
    rt::ReadTimeFormat("", "", none);
    EXPECT_TRUE(none.twelveHour);
    EXPECT_EQ(none.timeSep, ':');
}

TEST(RegionalSettings, TheOemCodePageFollowsLanguageAndTerritory) {
    const std::pair<const char*, int> cases[] = {{"en_US.UTF-8", 437}, {"C", 437},         {"en_GB.UTF-8", 850},
                                                 {"de_DE.UTF-8", 850}, {"pt_BR", 850},     {"ja_JP.UTF-8", 437},
                                                 {"sv_SE@euro", 850},  {"xx_NOWHERE", 437}};
    for (auto [name, page] : cases) EXPECT_EQ(ReadRegionalSettings(name).oemCodePage, page) << name;
}

TEST(RegionalSettings, SeparatorsBeyondAsciiBecomeSpaceOrFallback) {
    EXPECT_EQ(rt::SeparatorCode(",", 46), ',');
    EXPECT_EQ(rt::SeparatorCode("", 46), 46);
    EXPECT_EQ(rt::SeparatorCode("\xC2\xA0", 44), ' ');      // no-break space
    EXPECT_EQ(rt::SeparatorCode("\xE2\x80\xAF", 44), ' ');  // narrow no-break space
    EXPECT_EQ(rt::SeparatorCode("\xD9\xAB", 46), 46);       // Arabic decimal separator
}

// --- modes ------------------------------------------------------------------

TEST_F(InternationalTest, LegacyThenWindowsReturnsLegacy) {
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

TEST_F(InternationalTest, BinarySetsBothModesAndNoArgumentChangesNothing) {
    EXPECT_EQ(SetInternational(rt::Usual(kBinary)), kLegacy);
    EXPECT_EQ(rt::_SetIntl(), 2);
    EXPECT_EQ(rt::_SetDict(), 2);
    rt::SetDateFrmt("DD/MM/YYYY");
    EXPECT_EQ(SetInternational(), kBinary);
    EXPECT_EQ(rt::SetDateFrmt(), "DD/MM/YYYY");
}

TEST_F(InternationalTest, InvalidModeIsRaisedAndChangesNothing) {
    SetInternational(rt::Usual(kBinary));
    rt::SetDateFrmt("DD/MM/YYYY");

    EXPECT_EQ(SetInternational(rt::Usual(rt::Symbol("FRENCH"))), kBinary);
    EXPECT_EQ(rt::_SetIntl(), 2);
    EXPECT_EQ(rt::SetDateFrmt(), "DD/MM/YYYY");
    ASSERT_EQ(raised_.size(), 1u);
    ASSERT_TRUE(raised_[0]);
    EXPECT_EQ(raised_[0]->SubSystem, "International");
    EXPECT_EQ(raised_[0]->GenCode, rt::kGenUnsupported);
    EXPECT_EQ(raised_[0]->Arg, "FRENCH");
    EXPECT_TRUE(raised_[0]->CanDefault);

    // A value that is no symbol at all is just as invalid.
    SetInternational(rt::Usual("WINDOWS"));
    EXPECT_EQ(raised_.size(), 2u);
    EXPECT_EQ(rt::_SetIntl(), 2);
}

TEST_F(InternationalTest, FaultWhileApplyingIsAbsorbedAndTheErrorBlockComesBack) {
    rt::Usual handler = rt::ErrorBlock();
    auto faulty = []() -> RegionalSettings {
        rt::RaiseError(rt::MakeError(rt::kGenRead, "LOCALE"));
        throw std::logic_error("the temporary error block did not jump");
    };
    EXPECT_EQ(SetInternational(rt::Usual(kWindows), faulty), kLegacy);
    EXPECT_TRUE(raised_.empty()) << "nothing reaches the error block";
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
