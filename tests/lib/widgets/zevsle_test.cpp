// The masked edit driven as a person types: key clicks on a real line edit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include "lib/widgets/widgetclasses.h"
#include "lib/widgets/zevsle.h"
#include "platform/gui/window.h"
#include "platform/runtime/dates.h"
#include "platform/runtime/macrofuncs.h"

namespace {

struct Field {
    std::shared_ptr<gui::Window> win = rt::New<gui::Window>();
    std::shared_ptr<lib::ZevSle> sle = rt::New<lib::ZevSle>();
    explicit Field(const std::string& type, const std::string& text = "", int caret = -1) {
        win->Init({rt::Usual()});
        sle->Init(*win, 1, type);
        if (!text.empty()) edit()->setText(QString::fromStdString(text));
        if (caret >= 0) edit()->setCursorPosition(caret);
    }
    ~Field() { win->EndWindow(); }
    QLineEdit* edit() const { return sle->Edit(); }
    void type(const std::string& keys) {
        for (char c : keys) QTest::keyClick(edit(), c);
    }
    std::string text() const { return edit()->text().toStdString(); }
    int caret() const { return edit()->cursorPosition(); }
};

TEST(ZevSleNumber, DigitsGroupAndLimitsHold) {
    Field f("N");
    f.sle->SETLEN(10, 2);
    f.type("1234567");
    EXPECT_EQ(f.text(), "1,234,567");
    EXPECT_EQ(f.caret(), 9);
    f.type("8");
    EXPECT_EQ(f.text(), "1,234,567");
    f.type(".456");
    EXPECT_EQ(f.text(), "1,234,567.45");
    EXPECT_EQ(f.sle->Buffer(), "1234567.45");
}

TEST(ZevSleNumber, ADigitWithNoPlaceLeftIsRefusedWithABeep) {
    Field f("N", "1,234,567.45", 0);
    f.sle->SETLEN(10, 2);
    f.type("9");
    EXPECT_EQ(f.text(), "1,234,567.45");  // not 9,123,456 with the 7 lost
    EXPECT_EQ(f.sle->Beeps(), 1);
}

TEST(ZevSleNumber, ADropIsAPasteThroughTheMode) {
    Field f("N");
    f.sle->SETLEN(10, 2);
    for (auto [dropped, shown] : {std::pair{"12x.3.", ""}, std::pair{"1234.5", "1,234.5"}}) {
        QMimeData data;
        data.setText(dropped);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(f.edit(), &enter);
        QApplication::sendEvent(f.edit(), &drop);
        EXPECT_EQ(f.text(), shown) << dropped;
    }
}

TEST(ZevSleDate, StepsPastTheCalendarsEndsKeepTheDate) {
    for (auto [text, key] : {std::pair{"31.12.9999", '+'}, std::pair{"01.01.0001", '-'}, std::pair{"15.06.9999", 'Y'},
                             std::pair{"15.01.0001", 'm'}}) {
        Field f("D", text, 0);
        f.type(std::string(1, key));
        EXPECT_EQ(f.text(), text) << key;
        EXPECT_EQ(f.sle->Beeps(), 1) << key;
    }
    EXPECT_EQ(lib::DateAddMonth(rt::MakeDate(2024, 1, 15), 2147483647), rt::Date());  // one step, not a loop
}

TEST(ZevSleNumber, WithoutSetLenEveryIntegerDigitIsDropped) {
    Field f("N");
    f.type("123");
    EXPECT_EQ(f.text(), "");
    f.sle->SETLEN(2, 2);  // no room before the point: none kept, not unlimited
    f.type("45.67");
    EXPECT_EQ(f.text(), ".67");
}

TEST(ZevSleNumber, SignBlankCommaAndBackspace) {
    struct Case {
        std::string start;
        int caret;
        std::string keys;
        std::string text;
        int caretAfter;
    };
    const Case cases[] = {
        {"1,234", 5, "-", "-1,234", 6}, {"-1,234", 6, "+", "1,234", 5},
        {"1,234", 5, " ", "", 0},       {"1,234", 5, ",", "1,234", 5},  // no decimals: swallowed
        {"1,234", 2, "\b", "1,234", 2},                                 // Backspace after ",": regrouped
    };
    for (const Case& c : cases) {
        Field f("N", c.start, c.caret);
        f.sle->SETLEN(10, 0);
        if (c.keys == "\b") QTest::keyClick(f.edit(), Qt::Key_Backspace);
        else f.type(c.keys);
        EXPECT_EQ(f.text(), c.text) << c.start << " " << c.keys;
        EXPECT_EQ(f.caret(), c.caretAfter) << c.start << " " << c.keys;
    }
}

TEST(ZevSleNumber, PlainEditKeysStillWork) {
    Field f("N", "1,234", 5);
    QTest::keyClick(f.edit(), Qt::Key_Home);
    EXPECT_EQ(f.caret(), 0);
}

TEST(ZevSleDate, DayMonthAndYearKeys) {
    struct Case {
        std::string start;
        char key;
        std::string text;
    };
    const Case cases[] = {
        {"25.12.2024", '+', "26.12.2024"}, {"31.12.2024", 'D', "01.01.2025"}, {"01.03.2024", '-', "29.02.2024"},
        {"31.01.2025", 'M', "  .  .    "}, {"29.02.2024", 'y', "  .  .    "}, {"15.06.2024", 'Y', "15.06.2025"},
        {"15.01.2024", 'm', "15.12.2023"}, {"15.06.2024", ' ', "  .  .    "}, {"  .  .    ", '+', "  .  .    "},
        {"15.06.2024", 'x', "15.06.2024"},
    };
    for (const Case& c : cases) {
        Field f("D", c.start, 0);
        f.type(std::string(1, c.key));
        EXPECT_EQ(f.text(), c.text) << c.start << " " << c.key;
    }
}

TEST(ZevSleBothModes, LettersBeyondAsciiAreSwallowed) {
    struct Case {
        const char* type;
        std::string start;
        Qt::Key key;
        const char* text;
    };
    const Case cases[] = {
        {"D", "12.05.2024", Qt::Key_Adiaeresis, "\u00e4"},
        {"D", "12.05.2024", Qt::Key(0x416), "\u0416"},
        {"N", "1,234", Qt::Key_Adiaeresis, "\u00e4"},
        {"N", "1,234", Qt::Key(0x20AC), "\u20ac"},
    };
    for (const Case& c : cases) {
        Field f(c.type, c.start, 0);
        f.sle->SETLEN(10, 0);
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier, QString::fromUtf8(c.text));
        QApplication::sendEvent(f.edit(), &press);
        EXPECT_EQ(f.text(), c.start) << c.type << " " << c.text;
    }
}

TEST(ZevSleDate, DigitsOverwriteTheLayout) {
    Field f("D", "1 .  .    ", 1);
    f.type("2");
    EXPECT_EQ(f.text(), "12.  .    ");
    EXPECT_EQ(f.caret(), 3);
    f.type("0520245");  // the tenth place is the last a digit can take
    EXPECT_EQ(f.text(), "12.05.2024");
    EXPECT_EQ(f.caret(), 10);
}

TEST(ZevSleDate, DeleteAndBackspaceKeepTheSeparators) {
    Field del("D", "12.05.2024", 0);
    QTest::keyClick(del.edit(), Qt::Key_Delete);
    EXPECT_EQ(del.text(), "20.52.024 ");
    Field back("D", "12.05.2024", 3);
    QTest::keyClick(back.edit(), Qt::Key_Backspace);
    EXPECT_EQ(back.text(), "1 .05.2024");
    EXPECT_EQ(back.caret(), 1);
}

TEST(ZevSleDate, TodayKeyAndAddMonthByName) {
    lib::RegisterWidgetClasses();
    Field f("D", "01.01.2000", 0);
    f.type("*");
    EXPECT_EQ(f.text(), lib::MaskDateText(rt::Today()));
    const rt::Usual args[] = {rt::Usual(rt::MakeDate(2024, 3, 31)), rt::Usual(-2)};
    EXPECT_EQ((*rt::FindFunction("DATE_ADDMONTH"))(rt::Args(args, 2)).AsDate(), rt::MakeDate(2024, 1, 31));
    const rt::Usual bad[] = {rt::Usual(rt::MakeDate(2024, 1, 31)), rt::Usual(-2)};
    EXPECT_TRUE((*rt::FindFunction("DATE_ADDMONTH"))(rt::Args(bad, 2)).AsDate().IsEmpty());
}

}  // namespace
