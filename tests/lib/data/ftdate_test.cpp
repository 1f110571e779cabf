#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lib/data/ftdate.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/settings.h"

using namespace rt;
using lib::FTDate;

namespace {

Usual D(int y, int m, int d) { return Usual(MakeDate(y, m, d)); }

void ExpectPeriod(const Usual& p, const char* code, Usual first, Usual last) {
    ASSERT_EQ(p.ALen(), 3u);
    EXPECT_EQ(p.At(1).AsStr(), code);
    EXPECT_EQ(p.At(2).AsDate(), first.AsDate());
    EXPECT_EQ(p.At(3).AsDate(), last.AsDate());
}

class FTDateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSettings();
        SetDateFrmt("DD/MM/YYYY");
    }
    void TearDown() override { ResetSettings(); }
    FTDate f;
};

}  // namespace

TEST_F(FTDateTest, PartCases) {
    Usual cfg = f.Cnfg(Usual("29/02/2000"), Usual(9));
    EXPECT_EQ(cfg.At(1).AsStr(), "2000.02.28");
    EXPECT_EQ(cfg.At(2).AsLong(), 1);  // an invalid week start is ignored
    f.Init();
    ExpectPeriod(f.Year(D(2024, 3, 15)), "2024", D(2024, 1, 1), D(2024, 12, 31));
    f.Cnfg(Usual("01/07/1999"), Usual());
    ExpectPeriod(f.Month(D(2025, 2, 10), Usual()), "202508", D(2025, 2, 1), D(2025, 2, 28));
    EXPECT_EQ(f.MAdd(D(2024, 1, 31), Usual(1), Usual()).AsDate(), MakeDate(2024, 2, 29));
    EXPECT_EQ(f.MAdd(D(2024, 2, 29), Usual(12), Usual(true)).AsDate(), MakeDate(2025, 2, 28));
    EXPECT_EQ(f.MAdd(D(2024, 3, 15), Usual(-2), Usual()).AsDate(), MakeDate(2024, 1, 15));
    f.Cnfg(Usual(), Usual(4));                 // weeks start on Wednesday
    EXPECT_EQ(f.DayToBoW(D(2024, 3, 17)), 4);  // a Sunday: 1 - 4 + 7
    EXPECT_EQ(f.AcctAdj(D(2024, 3, 17), Usual()).AsDate(), MakeDate(2024, 3, 20));
    EXPECT_EQ(f.AcctAdj(D(2024, 3, 14), Usual()).AsDate(), MakeDate(2024, 3, 13));
    Usual last = f.Week(D(2024, 10, 1), Usual(99));
    Usual again = f.Week(D(2024, 10, 1), Usual(999));
    EXPECT_EQ(last.At(1).AsStr(), again.At(1).AsStr());
    EXPECT_EQ(last.At(3).AsDate(), MakeDate(2025, 6, 30));  // cut at the year's end
}

TEST_F(FTDateTest, ArgumentShuffling) {
    SetClock([] { return CivilTime{2024, 5, 20, 12, 0, 0}; });
    ExpectPeriod(f.Qtr(Usual(3), Usual()), "202403", D(2024, 7, 1), D(2024, 9, 30));
    ExpectPeriod(f.Qtr(Usual("x"), Usual()), "202402", D(2024, 4, 1), D(2024, 6, 30));
    EXPECT_EQ(f.Week(Usual(1), Usual()).At(1).AsStr(), "202401");
    EXPECT_EQ(f.DayOfYr(Usual(10), Usual(), Usual()).At(1).AsDate(), MakeDate(2024, 1, 10));
    EXPECT_EQ(f.DayOfYr(Usual(), Usual(), Usual()).At(1).AsStr(), "2024141");
    EXPECT_EQ(f.DayOfYr(Usual(true), Usual(), Usual()).At(2).AsDate(), MakeDate(2023, 12, 31));  // the accounting year
    SetClock(nullptr);
}

// Every period code and date agrees with a second implementation written
// in Python, over 10,000 random dates and configurations.
TEST(FTDateReference, AgreesWithTheSecondImplementation) {
    std::string cmd = std::string("python3 ") + FTDATE_REFERENCE + " " + QZEVAL_PATH + " 10000 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(::pclose(p), 0) << out;
}
