// The calendar and its dialog on real offscreen widgets, driven with QTest
// keys and mouse clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLocale>
#include <QMenu>
#include <QSpinBox>
#include <QTest>

#include "lib/controls/calendar.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/controls/register.h"
#include "lib/controls/rightsle.h"
#include "platform/gui/message.h"
#include "platform/gui/messages.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/settings.h"

namespace {

rt::Date D(int y, int m, int d) { return rt::MakeDate(y, m, d); }

struct CalendarTest : testing::Test {
    CalendarTest() {
        lib::RegisterControlClasses();
        window->Init({rt::Usual()});
        window->Widget()->resize(320, 240);
        window->Widget()->show();
        edit = lib::MakeLibControl<lib::DateSle>(*window, 1);
        edit->Widget()->setGeometry(10, 10, 100, 20);
        fmt = rt::SetDateFrmt("DD.MM.YYYY");
    }
    ~CalendarTest() override { rt::SetDateFrmt(fmt); }
    // Opens the date dialog as the field's button does.
    std::shared_ptr<lib::DlgPeCalendar> Open(const std::string& text) {
        edit->SetTextValue(text);
        edit->ShowCalendar();
        return edit->LastCalendar();
    }
    std::shared_ptr<gui::Window> window = rt::New<gui::Window>();
    std::shared_ptr<lib::DateSle> edit;
    std::string fmt;
};

TEST_F(CalendarTest, KeysMoveTheSelectedDay) {
    struct Case {
        rt::Date from;
        Qt::Key key;
        rt::Date to;
    } cases[] = {
        {D(2024, 3, 31), Qt::Key_PageUp, D(2024, 2, 29)},    {D(2023, 3, 31), Qt::Key_PageUp, D(2023, 2, 28)},
        {D(2024, 12, 15), Qt::Key_PageDown, D(2025, 1, 15)}, {D(2024, 1, 31), Qt::Key_Right, D(2024, 2, 1)},
        {D(2024, 1, 3), Qt::Key_Up, D(2023, 12, 27)},        {D(2024, 5, 17), Qt::Key_Home, D(2024, 5, 1)},
        {D(2024, 2, 17), Qt::Key_End, D(2024, 2, 29)},       {D(2024, 2, 17), Qt::Key_Down, D(2024, 2, 24)},
    };
    auto dlg = Open("");
    lib::PeCalendar* cal = dlg->Calendar();
    for (const auto& k : cases) {
        cal->SetCurrentDate(k.from);
        QTest::keyClick(cal->Widget(), k.key);
        EXPECT_EQ(rt::DToS(cal->CurrentDate()), rt::DToS(k.to)) << rt::DToS(k.from);
    }
    cal->SetCurrentDate(D(2024, 2, 29));
    cal->MoveYears(1);
    EXPECT_EQ(rt::DToS(cal->CurrentDate()), "20250228");
}

TEST_F(CalendarTest, OpensOnTodayForAnEmptyFieldUnderTheField) {
    auto dlg = Open("");
    EXPECT_EQ(rt::DToS(dlg->Calendar()->CurrentDate()), rt::DToS(rt::Today()));
    const QPoint fieldBottom = edit->Widget()->mapToGlobal(QPoint(0, edit->Widget()->height()));
    EXPECT_EQ(dlg->Widget()->pos(), fieldBottom);
    EXPECT_EQ(dlg->Widget()->windowTitle().toStdString(), "Calendar");
}

TEST_F(CalendarTest, MondayFirstPutsSundayInTheLastColumn) {
    edit->FIRSTDAYOFTHEWEEK = 2;
    auto dlg = Open("01.09.2024");  // a Sunday
    lib::PeCalendar* cal = dlg->Calendar();
    EXPECT_EQ(cal->FirstDayOfWeek(), 2);
    EXPECT_EQ(cal->CastDate2Column(D(2024, 9, 1)), 7);
    EXPECT_EQ(cal->CastDate2Column(D(2024, 9, 2)), 1);
    EXPECT_EQ(rt::DToS(cal->CastRowCol2Date(2, 1)), "20240902");
    EXPECT_EQ(cal->CurrentRowNumber(), 1);
}

TEST_F(CalendarTest, DoubleClickHandsTheDayBackAndEscapeNothing) {
    auto dlg = Open("10.09.2024");
    lib::PeCalendar* cal = dlg->Calendar();
    cal->SetFirstDayOfTheWeek(1);
    for (const QRect& nothing : {cal->CellRect(0, 3), cal->CellRect(5, 7)}) {  // a heading, no day
        QTest::mouseDClick(cal->Widget(), Qt::LeftButton, {}, nothing.center());
        EXPECT_TRUE(dlg->DSELECTED.IsEmpty());
    }
    // 20 September 2024, a Friday: week row 3, column 6 with Sunday first.
    const QRect cell = cal->CellRect(3, 6);
    QTest::mouseDClick(cal->Widget(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(rt::DToS(dlg->DSELECTED), "20240920");
    EXPECT_FALSE(dlg->Widget()->isVisible());
    edit->TakeCalendarDate();
    EXPECT_EQ(edit->TextValue(), "20.09.2024");

    auto again = Open("10.09.2024");
    QTest::keyClick(again->Calendar()->Widget(), Qt::Key_Escape);
    EXPECT_TRUE(again->DSELECTED.IsEmpty());
    EXPECT_FALSE(again->Widget()->isVisible());
    edit->TakeCalendarDate();
    EXPECT_EQ(edit->TextValue(), "10.09.2024");
}

TEST_F(CalendarTest, EnterHandsBackTheDayOnlyAfterItsOwnPress) {
    auto dlg = Open("10.09.2024");
    QWidget* cal = dlg->Calendar()->Widget();
    QTest::keyRelease(cal, Qt::Key_Return);  // the end of the Enter that opened it
    EXPECT_TRUE(dlg->Widget()->isVisible());
    QApplication::setActiveWindow(dlg->Widget());
    dlg->Calendar()->EditYear();
    auto* year = cal->findChild<QSpinBox*>();
    ASSERT_NE(year, nullptr);
    // Tall enough for its digits (the title strip is 25 pixels).
    EXPECT_GE(year->height(), std::min(25, year->sizeHint().height()));
    QTest::keyClick(year, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(year, "2030");
    QTest::keyPress(year, Qt::Key_Return);
    QCoreApplication::processEvents();
    QTest::keyRelease(QApplication::focusWidget(), Qt::Key_Return);  // where the focus went
    EXPECT_EQ(rt::DToS(dlg->Calendar()->CurrentDate()), "20300910");
    dlg->Calendar()->EditYear();
    cal->findChildren<QSpinBox*>().last()->setValue(2031);                     // the new one
    QTest::mouseClick(cal, Qt::LeftButton, {}, QPoint(cal->width() - 8, 12));  // the next month
    QCoreApplication::processEvents();
    EXPECT_EQ(rt::DToS(dlg->Calendar()->CurrentDate()), "20311010");
    QTest::keyClick(cal, Qt::Key_Right);
    QTest::keyClick(cal, Qt::Key_Return);
    EXPECT_EQ(rt::DToS(dlg->DSELECTED), "20311011");
}

TEST_F(CalendarTest, ContextMenuTodayAndCalendarReachTheField) {
    std::unique_ptr<QMenu> menu(lib::PeDateSleContextMenu::MakePopup(nullptr));
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text().toStdString(), "&Today");
    EXPECT_EQ(menu->actions()[1]->data().toInt(), 7755);
    edit->SetTextValue("01.01.2020");
    gui::SendMessageA(edit->Handle(), gui::WM_COMMAND, 7754, 0);
    EXPECT_EQ(edit->TextValue(), rt::DToC(rt::Today()));
    gui::SendMessageA(edit->Handle(), gui::WM_COMMAND, 7755, 0);
    ASSERT_NE(edit->LastCalendar(), nullptr);
    EXPECT_TRUE(edit->LastCalendar()->Widget()->isVisible());
    edit->LastCalendar()->EndDialog(0);
}

TEST_F(CalendarTest, MakingACalendarKeepsTheProgramsDateAndNumberSettings) {
    const int epoch = rt::SetEpoch(1940), decimals = rt::SetDecimal(4);
    rt::New<lib::PeCalendar>()->Init({rt::Usual(window), rt::Usual(int64_t{50})});
    EXPECT_EQ(rt::SetEpoch(epoch), 1940);
    EXPECT_EQ(rt::SetDecimal(decimals), 4);
}

TEST_F(CalendarTest, FarMovesStopAtTheCalendarsFirstAndLastMonth) {
    auto dlg = Open("15.06.2024");
    lib::PeCalendar* cal = dlg->Calendar();
    cal->MoveMonths(1000000000000);
    EXPECT_EQ(cal->CurrentDate(), D(9999, 12, 15));
    cal->MoveMonths(-1000000000000);
    EXPECT_EQ(cal->CurrentDate(), D(1, 1, 15));
    rt::Send(rt::Usual(cal->Self()), "MOVEYEARS", {rt::Usual(int64_t{4294967296} + 2024)});
    EXPECT_EQ(cal->CurrentDate(), D(9999, 1, 15));
    dlg->EndDialog(0);
}

TEST_F(CalendarTest, MonthNamesAndHeadingsFollowTheLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto dlg = Open("15.03.2024");
    lib::PeCalendar* cal = dlg->Calendar();
    cal->SetFirstDayOfTheWeek(2);
    EXPECT_EQ(cal->MonthName(3), "M\xc3\xa4rz");
    EXPECT_EQ(cal->Heading(1).toStdString(), "Mon");
    EXPECT_EQ(cal->Heading(7).toStdString(), "Son");
    dlg->EndDialog(0);
    QLocale::setDefault(before);
}

TEST_F(CalendarTest, ASingleDigitDaySitsInTheMiddleOfItsCell) {
    auto dlg = Open("20.09.2024");  // 1 September 2024 is a Sunday: day 5 is in row 1, column 5
    lib::PeCalendar* cal = dlg->Calendar();
    const QImage shot = cal->Widget()->grab().toImage();
    const QRect cell = cal->CellRect(1, 5).adjusted(3, 3, -3, -3);
    int left = cell.right(), right = cell.left();
    for (int y = cell.top(); y <= cell.bottom(); ++y)
        for (int x = cell.left(); x <= cell.right(); ++x)
            if (qGray(shot.pixel(x, y)) < 100) left = std::min(left, x), right = std::max(right, x);
    ASSERT_LE(left, right) << "no digit drawn";
    EXPECT_LE(std::abs((left - cell.left()) - (cell.right() - right)), 2);
    dlg->EndDialog(0);
}

TEST_F(CalendarTest, FirstDayOfWeekFollowsTheLocale) {
    const char* old = std::getenv("LC_ALL");
    const std::string keep = old ? old : "";
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    const int de = lib::LocaleFirstDayOfWeek(0);
    setenv("LC_ALL", "en_US.UTF-8", 1);
    const int us = lib::LocaleFirstDayOfWeek(0);
    if (old) setenv("LC_ALL", keep.c_str(), 1);
    else unsetenv("LC_ALL");
    if (de == 0 || us == 0) GTEST_SKIP() << "de_DE.UTF-8 or en_US.UTF-8 not installed";
    EXPECT_EQ(de, 2);
    EXPECT_EQ(us, 1);
}

}  // namespace
