// The small window and control extensions, driven with keys and the mouse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include "lib/controls/controlinit.h"
#include "lib/controls/hyperlink.h"
#include "lib/widgets/bitmap.h"
#include "lib/widgets/mousetracking.h"
#include "lib/widgets/smartsle.h"
#include "lib/widgets/tabcontrol.h"
#include "lib/widgets/widgetclasses.h"

namespace {

using rt::Usual;

// A control that answers the mouse notices, as the hyperlink text does.
class Link : public gui::FixedText {
    QZ_OBJECT(Link)
public:
    void MOUSEENTER() { log->push_back("enter " + Caption()); }
    void MOUSEEXIT() { log->push_back("exit " + Caption()); }
    std::vector<std::string>* log = nullptr;
};

}  // namespace

const rt::ClassDef& Link::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Link>("TESTLINK", &gui::FixedText::StaticClass())
                                       .Method<&Link::MOUSEENTER>("MOUSEENTER")
                                       .Method<&Link::MOUSEEXIT>("MOUSEEXIT")
                                       .Done();
    return c;
}

namespace {

class SmallExtTest : public ::testing::Test {
protected:
    void SetUp() override {
        lib::RegisterWidgetClasses();
        Link::StaticClass();
        win->Init({Usual()});
        win->Widget()->resize(400, 300);
    }
    void TearDown() override { win->EndWindow(); }
    template <class T>
    std::shared_ptr<T> Add(int id, const char* name, QRect at) {
        auto c = gui::MakeControl<T>(*win, id);
        c->SetName(rt::Symbol(name));
        c->Widget()->setGeometry(at);
        return c;
    }
    std::shared_ptr<lib::NewDialogWindow> win = rt::New<lib::NewDialogWindow>();
};

TEST_F(SmallExtTest, SmartSleFirstKeyReplacesAndEnterWrapsToTheFirstSmartSle) {
    auto a = Add<lib::SmartSLE>(1, "A", {0, 0, 100, 20});
    auto b = Add<lib::SmartSLE>(2, "B", {0, 30, 100, 20});
    a->SetTextValue("old text");
    b->SetTextValue("other");
    win->Show();
    QApplication::setActiveWindow(win->Widget());
    a->SetFocus();
    QTest::keyClicks(a->Edit(), "42");
    EXPECT_EQ(a->TextValue(), "42");
    b->SetFocus();
    a->SetFocus();
    a->Edit()->setCursorPosition(2);
    QTest::keyClicks(a->Edit(), "7");  // later keys, also after a focus change, edit normally
    EXPECT_EQ(a->TextValue(), "427");
    QTest::keyClick(a->Edit(), Qt::Key_Return);
    EXPECT_TRUE(b->Edit()->hasFocus());
    EXPECT_EQ(b->Edit()->selectedText().toStdString(), "other");
    QTest::keyClick(b->Edit(), Qt::Key_Return);  // the last one wraps to the first
    EXPECT_TRUE(a->Edit()->hasFocus());
}

TEST_F(SmallExtTest, SmartSleEnterStopsBeforeAPlainControl) {
    auto a = Add<lib::SmartSLE>(1, "A", {0, 0, 100, 20});
    auto plain = Add<gui::SingleLineEdit>(2, "P", {0, 30, 100, 20});
    win->Show();
    QApplication::setActiveWindow(win->Widget());
    a->SetFocus();
    QTest::keyClick(a->Edit(), Qt::Key_Return);
    EXPECT_TRUE(a->Edit()->hasFocus());
}

TEST_F(SmallExtTest, SmartSleWithoutNamesMovesOnInTabOrder) {
    auto a = Add<lib::SmartSLE>(1, "", {0, 0, 100, 20});
    auto b = Add<lib::SmartSLE>(2, "", {0, 30, 100, 20});
    auto c = Add<lib::SmartSLE>(3, "", {0, 60, 100, 20});
    win->Show();
    QApplication::setActiveWindow(win->Widget());
    b->SetFocus();
    QTest::keyClick(b->Edit(), Qt::Key_Return);
    EXPECT_TRUE(c->Edit()->hasFocus());  // not back to the first unnamed field
}

TEST_F(SmallExtTest, AWrittenOutUrlIsOpenedAsWritten) {
    EXPECT_FALSE(lib::FixedTextHyperlink::TargetUrl("http://a b/c d").isValid());
    EXPECT_EQ(lib::FixedTextHyperlink::TargetUrl("https://www.qt.io/a b").toEncoded().toStdString(),
              "https://www.qt.io/a%20b");
    EXPECT_EQ(lib::FixedTextHyperlink::TargetUrl("www.qt.io").toString().toStdString(), "http://www.qt.io");
    EXPECT_EQ(lib::FixedTextHyperlink::TargetUrl("a@b.de").toString().toStdString(), "mailto:a@b.de");
}

TEST_F(SmallExtTest, LockedTabSwallowsClicksAndKeys) {
    auto tabs = Add<lib::XTabControl>(1, "TABS", {0, 0, 300, 30});
    for (const char* t : {"One", "Two", "Three"}) tabs->APPENDTAB(Usual(rt::Symbol(t)), t, Usual(), Usual());
    win->Show();
    QTabBar* bar = tabs->Bar();
    EXPECT_FALSE(tabs->PREVENTSELECTION(7));  // never appended: ignored
    tabs->PREVENTSELECTION(1);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_EQ(bar->currentIndex(), 0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    EXPECT_EQ(bar->currentIndex(), 2);
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(bar->currentIndex(), 2);
    // Nor does the wheel step onto the locked tab.
    QWheelEvent wheel(QPointF(bar->tabRect(2).center()), QPointF(bar->mapToGlobal(bar->tabRect(2).center())), {},
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(bar, &wheel);
    EXPECT_EQ(bar->currentIndex(), 2);
    tabs->ALLOWSELECTION(1);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    EXPECT_EQ(bar->currentIndex(), 1);
}

TEST_F(SmallExtTest, MouseEnterAndExitAcrossTwoLinks) {
    std::vector<std::string> log;
    auto one = Add<Link>(1, "ONE", {0, 0, 100, 20});
    auto two = Add<Link>(2, "TWO", {0, 40, 100, 20});
    one->SetCaption("one"), two->SetCaption("two");
    one->log = two->log = &log;
    auto* bare = new QWidget(win->Widget());
    bare->setGeometry(0, 100, 100, 50);
    win->Show();
    auto move = [](QWidget* w, QPoint at) {
        QMouseEvent e(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    move(one->Widget(), {5, 5});
    move(one->Widget(), {50, 10});  // within one control: nothing
    move(two->Widget(), {5, 5});
    EXPECT_EQ(log, (std::vector<std::string>{"enter one", "exit one", "enter two"}));
    // On to a window without a GUI object: the leave tells, exit only.
    QCursor::setPos(bare->mapToGlobal(QPoint(10, 10)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(two->Widget(), &leave);
    EXPECT_EQ(log.back(), "exit two");
    EXPECT_EQ(log.size(), 4u);
}

TEST_F(SmallExtTest, HyperlinksShowTheHandOnEnterAndRestoreTheirCursorOnExit) {
    auto one = lib::MakeLibControl<lib::FixedTextHyperlink>(*win, 1);
    auto two = lib::MakeLibControl<lib::FixedTextHyperlink>(*win, 2);
    one->Widget()->setGeometry(0, 0, 100, 20);
    two->Widget()->setGeometry(0, 40, 100, 20);
    one->Widget()->setCursor(Qt::IBeamCursor);  // what the window had before
    win->Show();
    auto move = [](QWidget* w) {
        QMouseEvent e(QEvent::MouseMove, QPoint(5, 5), w->mapToGlobal(QPoint(5, 5)), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    };
    move(one->Widget());
    EXPECT_TRUE(one->Hovered());
    EXPECT_EQ(one->Widget()->cursor().shape(), Qt::PointingHandCursor);
    move(two->Widget());
    EXPECT_FALSE(one->Hovered());
    EXPECT_TRUE(two->Hovered());
    EXPECT_EQ(one->Widget()->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(SmallExtTest, SurfaceHandleAndControlArrayByName) {
    auto a = Add<lib::SmartSLE>(1, "A", {0, 0, 100, 20});
    EXPECT_EQ(rt::Send(Usual(win), "GETSURFACEHANDLE").AsLong(), static_cast<int64_t>(win->Handle()));
    EXPECT_EQ(win->ControlArray().ALen(), 1u);
}

TEST(BitmapFromDisk, LoadsBmpAndOtherFormatsAndToleratesAMissingFile) {
    lib::RegisterWidgetClasses();
    QTemporaryDir dir;
    QImage img(5, 3, QImage::Format_RGB32);
    img.fill(Qt::red);
    for (const char* ext : {"bmp", "png"}) {
        const QString path = dir.filePath(QStringLiteral("pic.") + ext);
        ASSERT_TRUE(img.save(path));
        Usual b = rt::CreateInstance(rt::Symbol("BITMAPFROMDISK"));
        rt::Send(b, "INIT", {Usual(), Usual(path.toStdString())});
        EXPECT_NE(rt::Send(b, "HANDLE").AsLong(), 0) << ext;
        EXPECT_EQ(static_cast<lib::Bitmap*>(b.AsObject().get())->Pixmap().width(), 5);
    }
    auto missing = rt::New<lib::BitmapFromDisk>();
    missing->Init(Usual(), dir.filePath("none.bmp").toStdString());
    EXPECT_EQ(missing->Handle(), 0u);
}

}  // namespace
