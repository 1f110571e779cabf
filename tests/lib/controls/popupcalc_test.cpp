// The pop-up calculator's worked cases, pressed as a person would: its
// buttons clicked and its display typed into with QTest events.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "lib/controls/popupcalc.h"
#include "lib/controls/register.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace {

struct CalcTest : testing::Test {
    std::shared_ptr<lib::PopupCalc> Open(const rt::Usual& start = rt::Usual("")) {
        lib::RegisterControlClasses();
        auto c = rt::New<lib::PopupCalc>();
        c->Init({rt::Usual(), start});
        c->Show();
        return c;
    }
    // Clicks the buttons named in order, separated by blanks.
    static void Press(lib::PopupCalc& c, const std::string& names) {
        size_t i = 0;
        while (i < names.size()) {
            size_t j = names.find(' ', i);
            if (j == std::string::npos) j = names.size();
            auto* b = c.ButtonNamed(names.substr(i, j - i).c_str());
            EXPECT_NE(b, nullptr) << names.substr(i, j - i);
            if (b) QTest::mouseClick(b->Widget(), Qt::LeftButton);
            i = j + 1;
        }
    }
};

TEST_F(CalcTest, WorkedCasesFromAClearedCalculator) {
    struct Case {
        const char* buttons;
        const char* shown;
    } cases[] = {
        {"BCLEAR B3 BPLUS B4 BEQUALS", "7."},
        {"BCLEAR B3 BPLUS B4 BEQUALS BEQUALS", "10."},
        {"BCLEAR B2 BPLUS B3 BTIMES B4 BEQUALS", "20."},
        {"BCLEAR B2 B0 B0 BPLUS B1 B0 BPERCENT", "220."},
        {"BCLEAR B2 B0 B0 BMINUS B1 B0 BPERCENT", "180."},
        {"BCLEAR B2 B0 B0 BTIMES B1 B0 BPERCENT", "4000."},
        {"BCLEAR B2 B0 B0 BDIVIDE B1 B0 BPERCENT", "10."},
        {"BCLEAR B5 BDIVIDE B0 BEQUALS", "Error"},
        {"BCLEAR B5 BDIVIDE B0 BEQUALS BEQUALS", "Error"},
        {"BCLEAR B5 BDIVIDE B0 BEQUALS B7", "7"},
        {"BCLEAR B1 BDIVIDE B3 BEQUALS", "0.3333333333333333"},
        {"BCLEAR BDOT B3 BPLUS B4 BDOT B6 BEQUALS", "4.9"},  // not 4.8999999999999995
        {"BCLEAR B4 BINVERT", "0.25"},
        {"BCLEAR B0 BINVERT", "Error"},
        {"BCLEAR B9 BSQUAREROOT", "3."},
        {"BCLEAR B2 BPOWER B1 B0 BEQUALS", "1024."},
        {"BCLEAR B5 BPLUSMINUS", "-5"},
        {"BCLEAR B5 BPLUSMINUS BTIMES B0 BEQUALS", "0."},  // not "-0."
        {"BCLEAR B9 B9 B9 B9 B9 B9 B9 B9 BTIMES B9 B9 B9 B9 B9 B9 B9 B9 BEQUALS", "Error"},
    };
    for (const auto& k : cases) {
        auto c = Open();
        Press(*c, k.buttons);
        EXPECT_EQ(c->DisplayText(), k.shown) << k.buttons;
        c->EndDialog(0);
    }
}

TEST_F(CalcTest, AFreshCalculatorAppendsToTheStartingValue) {
    auto c = Open();
    EXPECT_EQ(c->DisplayText(), "0.0");
    Press(*c, "B5");
    EXPECT_EQ(c->DisplayText(), "0.05");
    auto d = Open(rt::Usual("12.50"));
    EXPECT_EQ(d->DisplayText(), "12.5");
    auto e = Open(rt::Usual(int64_t{3}));
    EXPECT_EQ(e->DisplayText(), "Error");
    EXPECT_EQ(rt::Send(rt::Usual(d), "FLOATTOSTRING", {rt::Usual(12.0)}).AsStr(), "12.");
}

TEST_F(CalcTest, TypedPointsLeaveOneAndALeadingPointGetsAZero) {
    auto c = Open();
    Press(*c, "BCLEAR");
    QLineEdit* edit = c->Display()->Edit();
    auto type = [&](const char* keys) {
        for (const char* k = keys; *k; ++k) {
            QTest::keyClick(edit, *k);
            QCoreApplication::processEvents();
        }
    };
    type("1..5");
    EXPECT_EQ(c->DisplayText(), "1.5");
    Press(*c, "BCLEAR");
    type(".");
    EXPECT_EQ(c->DisplayText(), "0.");
    type("5");
    EXPECT_EQ(c->DisplayText(), "0.5");
    type("ab#S");  // swallowed: not keys of the display
    EXPECT_EQ(c->DisplayText(), "0.5");
    Press(*c, "BCLEAR");
    type("2,,5");  // a decimal-comma keyboard's point, as "." is taken
    EXPECT_EQ(c->DisplayText(), "2.5");
}

TEST_F(CalcTest, KeyboardOperatorsAndEnterWorkTheStateMachine) {
    auto c = Open();
    Press(*c, "BCLEAR");
    QLineEdit* edit = c->Display()->Edit();
    QTest::keyClicks(edit, "6*7");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(c->DisplayText(), "42.");
    QTest::keyClicks(edit, "c");
    EXPECT_EQ(c->DisplayText(), "0.0");
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(c->Result(), 0);
    EXPECT_FALSE(c->Widget()->isVisible());
}

TEST_F(CalcTest, MemoryPlusAtZeroLeavesTheMemoryEmpty) {
    auto c = Open();
    EXPECT_EQ(c->MemLabel()->Caption(), "Memory Contents");  // until the memory is used
    EXPECT_TRUE(static_cast<QLabel*>(c->MemLabel()->Widget())->alignment() & Qt::AlignRight);
    Press(*c, "BCLEAR BMEMPLUS");
    EXPECT_EQ(c->Engine().memory, 0);
    EXPECT_EQ(c->MemLabel()->Caption(), "");
    Press(*c, "B4 BMEMPLUS BMEMPLUS BCLEAR BMEMRECALL");
    EXPECT_EQ(c->MemLabel()->Caption(), "M=          8.");
    EXPECT_EQ(c->DisplayText(), "          8.");
    Press(*c, "BTIMES B2 BEQUALS");
    EXPECT_EQ(c->DisplayText(), "16.");
}

TEST_F(CalcTest, ACalculationLeavesTheProgramsNumberSettingsAsTheyWere) {
    auto c = Open();
    Press(*c, "BCLEAR B2 BDIVIDE B3 BEQUALS SAVEEXITBUTTON");
    EXPECT_EQ(c->SEXPORT, "0.6666666666666666");
    EXPECT_EQ(rt::AllTrim(rt::Str(rt::Usual(2.0 / 3))), "0.67");
    EXPECT_FALSE(rt::SetScience());
}

TEST_F(CalcTest, SaveExitWithAPendingOperatorEvaluatesFirst) {
    const bool fixed = rt::SetFixed(true);
    auto c = Open();
    EXPECT_FALSE(rt::SetFixed());
    Press(*c, "BCLEAR B1 B2 BPLUS SAVEEXITBUTTON");
    EXPECT_EQ(c->SEXPORT, "24.");
    EXPECT_EQ(c->Result(), 1);
    EXPECT_TRUE(rt::SetFixed());  // the fixed setting is back
    rt::SetFixed(fixed);
    auto q = Open();
    Press(*q, "B1 QUITBUTTON");
    EXPECT_EQ(q->Result(), 0);
    EXPECT_EQ(q->SEXPORT, "");
}

}  // namespace
