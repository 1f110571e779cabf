// The numeric and date edits on a real offscreen window, typed into with
// QTest key events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>

#include <sstream>

#include "lib/controls/iconpushbutton.h"
#include "lib/controls/popupcalc.h"
#include "lib/controls/register.h"
#include "lib/controls/rightsle.h"
#include "platform/gui/message.h"
#include "platform/gui/messages.h"
#include "platform/gui/owneralign.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/settings.h"

namespace {

struct RightSleTest : testing::Test {
    RightSleTest() {
        lib::RegisterControlClasses();
        window->Init({rt::Usual()});
        window->Widget()->resize(300, 200);
        window->Widget()->show();
        QApplication::setActiveWindow(window->Widget());
    }
    std::shared_ptr<lib::RightSle> Numeric(int id, lib::FieldFormat format) {
        auto e = lib::MakeLibControl<lib::RightSle>(*window, id);
        e->Widget()->setGeometry(10, 10 + 24 * id, 120, 20);
        e->SetFieldFormat(format);
        return e;
    }
    std::shared_ptr<gui::Window> window = rt::New<gui::Window>();
};

TEST_F(RightSleTest, FocusedWithTheWholeTextSelectedTheFirstKeyReplacesTheValue) {
    auto e = Numeric(1, {'N', 10, 2, {}});
    QLineEdit* edit = e->Edit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, '5');
    EXPECT_EQ(e->TextValue(), "      5.00");
    EXPECT_EQ(edit->cursorPosition(), 7);
    edit->selectAll();
    QTest::keyClicks(edit, "-5");
    EXPECT_EQ(e->TextValue(), "     -5.00");
    QTest::keyClicks(edit, "x");
    EXPECT_EQ(e->TextValue(), "     -5.00");
    EXPECT_EQ(e->Beeps(), 0);
    EXPECT_EQ(e->Value().AsDouble(), -5.0);
}

TEST_F(RightSleTest, DecimalCommaSettingTypesWithTheRuntimeSeparators) {
    const int dec = rt::SetDecimalSep(','), ths = rt::SetThousandSep('.');
    auto e = Numeric(1, {'N', 12, 2, "9,999,999.99"});
    e->Edit()->setFocus();
    e->Edit()->selectAll();
    QTest::keyClicks(e->Edit(), "12345,6");
    EXPECT_EQ(e->TextValue(), "   12.345,60");
    EXPECT_DOUBLE_EQ(e->Value().AsDouble(), 12345.6);
    rt::SetDecimalSep(dec);
    rt::SetThousandSep(ths);
}

TEST_F(RightSleTest, ClipboardKeysKeepANumericFieldAPictureNumber) {
    auto e = Numeric(1, {'N', 12, 2, "9,999,999.99"});
    QLineEdit* edit = e->Edit();
    edit->setFocus();
    QApplication::clipboard()->setText("$1,234.5");
    QTest::keyClick(edit, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(e->TextValue(), "    1,234.50");
    QApplication::clipboard()->setText("123456789");  // more than the picture holds
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(e->TextValue(), "    1,234.50");
    EXPECT_EQ(e->Beeps(), 1);
    edit->setSelection(4, 2);  // "1,"
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "1,");
    EXPECT_EQ(e->TextValue(), "      234.50");
}

TEST_F(RightSleTest, ATimeFieldTakesOnTheWayToATimeAndRefusesTimesOutOfRange) {
    auto t = Numeric(1, {'C', 5, 0, "99:99"});
    t->Edit()->setFocus();
    t->Edit()->selectAll();
    QTest::keyClicks(t->Edit(), "0945");  // 00:94 on the way can still become a time
    EXPECT_EQ(t->TextValue(), "09:45");
    for (auto [pasted, shown] : {std::pair{"25:99", "09:45"}, std::pair{"9:05", "09:05"}}) {
        QApplication::clipboard()->setText(pasted);
        QTest::keyClick(t->Edit(), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(t->TextValue(), shown) << pasted;
    }
    t->Edit()->selectAll();
    QTest::keyClicks(t->Edit(), "170");  // 01:70, on the way to 17:00
    t->Edit()->clearFocus();             // left there, the field has its time back
    EXPECT_EQ(t->TextValue(), "00:00");
    EXPECT_EQ(t->Beeps(), 2);
}

TEST_F(RightSleTest, FieldSpecAndPictureAreAssignedLateBound) {
    auto e = Numeric(1, {'N', 10, 2, {}});
    rt::IVarPut(rt::Usual(e->Self()), rt::Symbol("FIELDSPEC"),
                rt::Usual::Array({rt::Usual("C"), rt::Usual(int64_t{5}), rt::Usual(int64_t{0}), rt::Usual("99:99")}));
    EXPECT_TRUE(e->Format().IsTime());
    EXPECT_EQ(e->TextValue(), "00:00");
    rt::IVarPut(rt::Usual(e->Self()), rt::Symbol("PICTURE"), rt::Usual(""));
    EXPECT_FALSE(e->Format().IsTime());
    EXPECT_EQ(rt::IVarGet(rt::Usual(e->Self()), rt::Symbol("FIELDSPEC")).ALen(), 4u);
}

TEST_F(RightSleTest, RememberedCaretComesBackWhenTheFocusReturnsByTab) {
    auto a = Numeric(1, {'N', 10, 2, {}});
    auto b = Numeric(2, {'N', 10, 2, {}});
    a->LREMEMBERPOSITION = true;
    a->Edit()->setFocus();
    a->Edit()->setCursorPosition(5);
    b->Edit()->setFocus();
    QTest::keyClick(b->Edit(), Qt::Key_Backtab);
    QCoreApplication::processEvents();
    EXPECT_TRUE(a->Edit()->hasFocus() && a->Edit()->cursorPosition() == 5 && !a->Edit()->hasSelectedText());
}

TEST_F(RightSleTest, KeypadPlusOnTheLastOfJanuaryGivesTheFirstOfFebruary) {
    const std::string fmt = rt::SetDateFrmt("DD.MM.YYYY");
    auto d = lib::MakeLibControl<lib::DateSle>(*window, 2);
    d->SetTextValue("31.01.2024");
    QTest::keyClick(d->Edit(), Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_EQ(d->TextValue(), "01.02.2024");
    QTest::keyClick(d->Edit(), Qt::Key_Minus, Qt::KeypadModifier);
    QTest::keyClick(d->Edit(), Qt::Key_Minus, Qt::KeypadModifier);
    EXPECT_EQ(d->TextValue(), "30.01.2024");
    EXPECT_TRUE(d->Edit()->isModified());
    QTest::keyClick(d->Edit(), Qt::Key_Plus);  // + on the main keys does not step the date
    EXPECT_NE(d->TextValue(), "31.01.2024");
    rt::SetDateFrmt(fmt);
}

TEST_F(RightSleTest, EnterWithDirectionTwoMovesToThePreviousControl) {
    auto a = Numeric(1, {'N', 10, 2, {}});
    auto b = Numeric(2, {'N', 10, 2, {}});
    b->NDIRECTION = 2;
    b->Edit()->setFocus();
    QTest::keyClick(b->Edit(), Qt::Key_Return);
    EXPECT_TRUE(a->Edit()->hasFocus());
    QTest::keyClick(a->Edit(), Qt::Key_Return);  // direction 1: the next one
    EXPECT_TRUE(b->Edit()->hasFocus());
}

TEST_F(RightSleTest, ReadOnlyFieldDisablesItsButton) {
    auto d = lib::MakeLibControl<lib::DateSle>(*window, 3);
    ASSERT_NE(d->Pb(), nullptr);
    EXPECT_TRUE(d->Pb()->Widget()->isEnabled());
    rt::IVarPut(rt::Usual(d), rt::Symbol("READONLY"), rt::Usual(true));
    EXPECT_FALSE(d->Pb()->Widget()->isEnabled());
    const std::string day = rt::DToC(rt::MakeDate(2020, 1, 1));
    d->SetTextValue(day);
    QTest::mouseClick(d->Pb()->Widget(), Qt::LeftButton);
    QTest::keyClick(d->Edit(), Qt::Key_Plus, Qt::KeypadModifier);
    QTest::mouseDClick(d->Edit(), Qt::LeftButton);
    gui::SendMessageA(d->Handle(), gui::WM_COMMAND, 7754, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(d->TextValue(), day);
    EXPECT_EQ(d->LastCalendar(), nullptr);
    rt::IVarPut(rt::Usual(d), rt::Symbol("READONLY"), rt::Usual(false));
    EXPECT_TRUE(d->Pb()->Widget()->isEnabled());
}

TEST_F(RightSleTest, ButtonClickReachesTheFieldAsADoubleClickFromTheButton) {
    auto d = lib::MakeLibControl<lib::DateSle>(*window, 4);
    EXPECT_EQ(rt::IVarGet(rt::Usual(d), rt::Symbol("PB")).AsObject().get(), d->Pb());
    rt::IVarPut(rt::Usual(d), rt::Symbol("DOUBLEASTODAY"), rt::Usual(true));
    QTest::mouseClick(d->Pb()->Widget(), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(d->TextValue(), rt::DToC(rt::Today()));
    EXPECT_FALSE(d->LSENDFROMBUTTON);

    // A numeric field's calculator button opens the calculator on its value.
    auto n = Numeric(5, {'N', 10, 2, {}});
    n->SetTextValue("     12.50");
    n->SYMMETHOD = rt::Symbol("SHOWCALC");
    n->AddButton("POPUPCALCICO", "POPUPCALCICO");
    const size_t before = gui::OpenWindows().size();
    QTest::mouseClick(n->Pb()->Widget(), Qt::LeftButton);
    QCoreApplication::processEvents();
    const auto open = gui::OpenWindows();
    ASSERT_EQ(open.size(), before + 1);
    auto* c = dynamic_cast<lib::PopupCalc*>(open.back().get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->DisplayText(), "12.5");
    c->EndDialog(0);

    // SAVE/EXIT's 7 goes in; "Error" and a number too long leave the 7.
    for (const char* buttons : {"B7", "B5 BDIVIDE B0 BEQUALS", "B9 B9 B9 B9 B9 B9 B9 B9 B9"}) {
        auto calc = rt::New<lib::PopupCalc>();
        calc->Init({rt::Usual(), rt::Usual("")});
        std::istringstream names(std::string("BCLEAR ") + buttons + " SAVEEXITBUTTON");
        for (std::string b; names >> b;) QTest::mouseClick(calc->ButtonNamed(b.c_str())->Widget(), Qt::LeftButton);
        n->TakeCalcResult(*calc);
        EXPECT_EQ(n->TextValue(), "      7.00") << buttons;
    }
}

}  // namespace

namespace {

TEST_F(RightSleTest, ZeroPadSetOriginOwnerAlignmentAndTheButtonGoingWithTheField) {
    auto e = Numeric(1, {'N', 8, 2, {}});
    const std::pair<const char*, const char*> pads[] = {{"12.5", "00012.50"}, {"-12.5", "-0012.50"}, {"0", "00000.00"}};
    for (const auto& [text, padded] : pads) {
        e->SetTextValue(e->SetField(text, 1));
        EXPECT_EQ(rt::Send(rt::Usual(e), "ZEROPAD").AsStr(), padded) << text;
    }
    auto b = e->AddButton("IBM_CALUP", "IBM_CALDN");
    ASSERT_TRUE(b);
    // A point past the right edge: the pair is pulled back onto the surface.
    rt::Send(rt::Usual(e), "SETORIGIN", {rt::Usual(rt::New<gui::Point>(1000, 40))});
    EXPECT_EQ(b->Widget()->geometry().right(), window->Surface()->width() - 1);
    EXPECT_EQ(e->Widget()->y(), 40);
    EXPECT_EQ(b->Widget()->x(), e->Widget()->geometry().right() + 1);
    rt::Send(rt::Usual(e), "SETORIGIN", {rt::Usual(rt::New<gui::Point>(10, 40))});
    rt::IVarPut(rt::Usual(e), rt::Symbol("OWNERALIGNMENT"), rt::Usual(int64_t{gui::OA_WIDTH}));
    const int width = e->Widget()->width();
    window->Surface()->resize(window->Surface()->width() + 50, window->Surface()->height());
    EXPECT_EQ(e->Widget()->width(), width + 50);
    EXPECT_EQ(b->Widget()->x(), e->Widget()->geometry().right() + 1);
    rt::Send(rt::Usual(e), "HIDE");
    EXPECT_TRUE(b->Widget()->isHidden());
    rt::Send(rt::Usual(e), "SHOW");
    rt::Send(rt::Usual(e), "DISABLE");
    EXPECT_FALSE(b->Widget()->isHidden());
    EXPECT_FALSE(b->Widget()->isEnabled());
}

}  // namespace
