// The GUI layer: key routing before dispatch, Enter as Tab, edit focus
// events, buttons calling their owner's method, template layout, message
// boxes under the test hooks, and window closing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QFontDatabase>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "platform/gui/app.h"
#include "platform/gui/control.h"
#include "platform/gui/datawindow.h"
#include "platform/gui/dialogwindow.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/programstyle.h"
#include "platform/gui/resource.h"
#include "platform/gui/testhooks.h"
#include "platform/gui/vkeys.h"
#include "platform/gui/warmup.h"
#include "platform/runtime/errorservices.h"

using gui::TestHooks;

namespace {

// Records every key press and swallows F12.
class KeyApp : public gui::App {
    QZ_OBJECT(KeyApp)
public:
    std::vector<uint64_t> seen, systemKeys;
    bool BeforeDispatch(uintptr_t, uint32_t message, uint64_t key, int64_t) override {
        if (message == gui::WM_KEYDOWN) seen.push_back(key);
        if (message == gui::WM_SYSKEYDOWN) systemKeys.push_back(key);
        return key != gui::VK_F12;
    }
};

const rt::ClassDef& KeyApp::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<KeyApp>("KEYAPP", &gui::App::StaticClass()).Done();
    return c;
}

class Form : public gui::DataDialog {
    QZ_OBJECT(Form)
public:
    std::shared_ptr<gui::SingleLineEdit> first, second;
    std::shared_ptr<gui::PushButton> button;
    std::vector<std::pair<std::string, bool>> focus;
    int clicks = 0;
    int closes = 0;
    void Build(rt::Args args) override {
        gui::DataDialog::Build(args);
        first = gui::MakeControl<gui::SingleLineEdit>(*this, 10);
        first->SetName(rt::Symbol("FIRST"));
        second = gui::MakeControl<gui::SingleLineEdit>(*this, 11);
        second->SetName(rt::Symbol("SECOND"));
        button = gui::MakeControl<gui::PushButton>(*this, 12);
        button->SetName(rt::Symbol("PBGO"));
    }
    void EditFocusChange(gui::EditFocusChangeEvent& e) override {
        focus.emplace_back(e.NameSym().Name(), e.GotFocus());
    }
    void PBGO() { ++clicks; }
    void Close() override { ++closes; }
};

const rt::ClassDef& Form::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<Form>("TESTFORM", &gui::DataDialog::StaticClass()).Method<&Form::PBGO>("PBGO").Done();
    return c;
}

void RegisterTemplate() {
    gui::DialogTemplate t;
    t.name = "TestForm";
    t.cx = 200;
    t.cy = 100;
    t.items = {{10, "edit", "", 10, 10, 80, 12, gui::kStyleTabStop},
               {11, "edit", "", 10, 30, 80, 12, gui::kStyleTabStop},
               {12, "button", "Go", 10, 50, 40, 14, gui::kStyleTabStop}};
    gui::RegisterDialog(t);
}

std::shared_ptr<Form> OpenForm() {
    RegisterTemplate();
    auto f = rt::New<Form>();
    f->Init({rt::Usual()});
    f->Show();
    QApplication::setActiveWindow(f->Widget());
    f->first->SetFocus();
    return f;
}

}  // namespace

TEST(Gui, BeforeDispatchSeesEveryKeyAndCanSwallowIt) {
    auto app = rt::New<KeyApp>();
    auto f = OpenForm();
    QTest::keyClicks(f->first->Edit(), "ab");
    QTest::keyClick(f->first->Edit(), Qt::Key_F12);
    QTest::keyClick(f->first->Edit(), Qt::Key_Delete);
    EXPECT_EQ(app->seen, (std::vector<uint64_t>{'A', 'B', gui::VK_F12, gui::VK_DELETE}));
    EXPECT_EQ(f->first->TextValue(), "ab");
    f->EndWindow();
}

namespace {

// Answers a key the way a modal box does: while the hook is still deciding
// on Escape, another key is pressed and decided (the box's own key).
class NestingKeyApp : public gui::App {
    QZ_OBJECT(NestingKeyApp)
public:
    std::vector<uint64_t> seen;
    bool BeforeDispatch(uintptr_t, uint32_t message, uint64_t key, int64_t) override {
        if (message == gui::WM_KEYDOWN) seen.push_back(key);
        if (key == gui::VK_ESCAPE && seen.size() == 1) QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
        return true;
    }
};

const rt::ClassDef& NestingKeyApp::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<NestingKeyApp>("NESTINGKEYAPP", &gui::App::StaticClass()).Done();
    return c;
}

}  // namespace

TEST(Gui, AKeyPressedWhileTheHookDecidesDoesNotMakeItDecideAgain) {
    // A box opened from BeforeDispatch runs its own loop; the keys that
    // answer it pass the hook in between. The key that opened it is still
    // decided once.
    auto app = rt::New<NestingKeyApp>();
    auto f = OpenForm();
    QTest::keyClick(f->first->Edit(), Qt::Key_Escape);
    EXPECT_EQ(app->seen, (std::vector<uint64_t>{gui::VK_ESCAPE, gui::VK_F1 + 8}));
    f->EndWindow();
}

TEST(Gui, EveryPressOfAShortcutKeyIsDecided) {
    // A shortcut takes the key after its check, so no key press follows:
    // the next press of the same key is a new key, not the same one.
    auto app = rt::New<KeyApp>();
    auto f = OpenForm();
    int fired = 0;
    auto* s = new QShortcut(QKeySequence(Qt::Key_F5), f->Widget());
    s->setContext(Qt::WindowShortcut);
    QObject::connect(s, &QShortcut::activated, [&] { ++fired; });
    QTest::keyClick(f->first->Edit(), Qt::Key_F5);
    QTest::keyClick(f->first->Edit(), Qt::Key_F5);
    EXPECT_EQ(fired, 2);
    EXPECT_EQ(app->seen, (std::vector<uint64_t>{gui::VK_F1 + 4, gui::VK_F1 + 4}));
    delete s;
    f->EndWindow();
}

TEST(Gui, EnterMovesOnUnderLegacyKeysAndFocusChangesAreReported) {
    auto f = OpenForm();
    f->SetLegacyKeys(true);
    f->focus.clear();
    QTest::keyClicks(f->first->Edit(), "123");
    QTest::keyClick(f->first->Edit(), Qt::Key_Return);
    EXPECT_TRUE(f->second->Edit()->hasFocus());
    ASSERT_EQ(f->focus.size(), 2u);
    EXPECT_EQ(f->focus[0], std::make_pair(std::string("FIRST"), false));
    EXPECT_EQ(f->focus[1], std::make_pair(std::string("SECOND"), true));
    f->SetLegacyKeys(false);
    QTest::keyClick(f->second->Edit(), Qt::Key_Return);
    EXPECT_TRUE(f->second->Edit()->hasFocus());  // without legacy keys Enter stays put
    f->EndWindow();
}

TEST(Gui, ButtonsCallTheirOwnersMethodAndTemplatesPlaceControls) {
    auto f = OpenForm();
    QTest::mouseClick(f->button->Button(), Qt::LeftButton);
    EXPECT_EQ(f->clicks, 1);
    EXPECT_EQ(f->button->Caption(), "Go");  // the template's text
    QRect r = gui::DialogUnitsToPixels(*f->Template(), 10, 30, 80, 12);
    EXPECT_EQ(f->second->Widget()->geometry(), r);
    EXPECT_GT(r.width(), 80);  // dialog units are larger than pixels
    // The form surface is a form dialog window two owners below the dialog.
    rt::Usual surface = gui::ObjectFromHandle(gui::HandleOf(f->first->Widget()->parentWidget()));
    ASSERT_TRUE(rt::IsInstanceOf(surface, rt::Symbol("__FORMDIALOGWINDOW")));
    rt::Usual owner = rt::IVarGet(rt::IVarGet(surface, rt::Symbol("OWNER")), rt::Symbol("OWNER"));
    EXPECT_EQ(owner.AsObject().get(), f.get());
    f->EndWindow();
}

TEST(Gui, WindowsRunTheirCloseHookOnceHoweverTheyClose) {
    auto a = OpenForm();
    a->EndWindow();
    a->EndWindow();
    EXPECT_EQ(a->closes, 1);
    auto b = OpenForm();
    b->Widget()->close();  // the close box
    EXPECT_EQ(b->closes, 1);
    EXPECT_FALSE(b->IsOpen());
}

TEST(Gui, AltKeysAndF10AreSystemKeysNotKeyPresses) {
    auto app = rt::New<KeyApp>();
    auto f = OpenForm();
    QTest::keyClick(f->first->Edit(), Qt::Key_Delete, Qt::AltModifier);
    QTest::keyClick(f->first->Edit(), Qt::Key_F10);
    QTest::keyClick(f->first->Edit(), Qt::Key_Delete);
    EXPECT_EQ(app->seen, (std::vector<uint64_t>{gui::VK_DELETE}));
    // Alt itself is pressed first, a system key as in Win32.
    EXPECT_EQ(app->systemKeys, (std::vector<uint64_t>{gui::VK_MENU, gui::VK_DELETE, gui::VK_F1 + 9}));
    f->EndWindow();
}

TEST(Gui, TheRuntimesPlainBoxIsAnOwnerlessBoxOfItsStyle) {
    TestHooks::Clear();
    EXPECT_EQ(rt::MessageBoxA("Error structure has wrong tag", "FROM DefErrorGen", 0), gui::IDOK);
    ASSERT_EQ(TestHooks::Boxes().size(), 1u);
    EXPECT_EQ(TestHooks::Boxes()[0].caption, "FROM DefErrorGen");
    EXPECT_EQ(TestHooks::Boxes()[0].type, 0u) << "style 0: an OK button and no icon";
}

TEST(Gui, MessageBoxesRecordAndTakeScriptedAnswers) {
    TestHooks::Clear();
    TestHooks::AnswerBox(gui::IDYES);
    gui::WarningBox ask(rt::Usual(), "DELETE RECORD", "OK to delete this record?", 0x24);
    EXPECT_EQ(ask.Show(), gui::IDYES);
    // Without a scripted answer the default button answers: No when it is second.
    EXPECT_EQ(gui::ShowMessageBox(nullptr, "Q", "?", gui::MB_YESNO | gui::MB_DEFBUTTON2), gui::IDNO);
    gui::TextBox plain(rt::Usual(), "Note", "Text");
    EXPECT_EQ(plain.Show(), gui::IDOK);
    ASSERT_EQ(TestHooks::Boxes().size(), 3u);
    EXPECT_EQ(TestHooks::Boxes()[0].caption, "DELETE RECORD");
    EXPECT_EQ(TestHooks::Boxes()[0].type, 0x24u);  // its own icon kept
    EXPECT_EQ(TestHooks::Boxes()[2].type, 0u);
}

TEST(Gui, EventsForTheWidgetsOfAGoneWindowPassThrough) {
    // A window's widget is deleted later than its object: events that reach
    // it, or its controls, in between must not reach the dead objects.
    RegisterTemplate();
    QPointer<QWidget> widget, button;
    std::weak_ptr<rt::Object> gone;
    {
        auto d = rt::New<gui::DialogWindow>();
        gone = d;
        d->Init({rt::Usual(), rt::Usual("TestForm"), rt::Usual(false)});
        auto b = gui::MakeControl<gui::PushButton>(*d, 12);
        d->Show();
        widget = d->Widget();
        button = b->Widget();
        d->EndWindow();
        QApplication::processEvents();  // the window lets go of itself
        QApplication::postEvent(widget, new QEvent(QEvent::UpdateRequest));
        QApplication::postEvent(button, new QEvent(QEvent::UpdateRequest));
    }  // the last holders let go: the objects are gone, their widgets not yet
    ASSERT_TRUE(gone.expired());
    ASSERT_TRUE(widget);
    EXPECT_NO_THROW(QApplication::processEvents());
}

TEST(Gui, AWindowShownCentredSitsOverAnOwnerThatIsAPartOfAnotherWindow) {
    RegisterTemplate();
    QWidget host;
    host.setGeometry(300, 200, 500, 400);
    auto page = rt::New<gui::Window>();
    page->Init({rt::Usual()});
    page->Widget()->setParent(&host);
    page->Widget()->setGeometry(100, 60, 300, 300);
    host.show();
    auto d = rt::New<gui::DialogWindow>();
    d->Init({rt::Usual(page), rt::Usual("TestForm"), rt::Usual(false)});
    d->Show(3);
    const QPoint pageCentre = page->Widget()->mapToGlobal(page->Widget()->rect().center());
    EXPECT_LE((d->Widget()->frameGeometry().center() - pageCentre).manhattanLength(), 4);  // rounding of the halves
    d->EndWindow();
}

TEST(Gui, AControlThatOutlivesItsWindowNoLongerReachesIt) {
    // A control object kept by someone else (a late-bound caller, an event
    // that carries it) outlives its window object; its widget is still there
    // until Qt deletes it. Neither may reach the window that is gone.
    RegisterTemplate();
    std::shared_ptr<gui::PushButton> kept;
    std::shared_ptr<gui::SingleLineEdit> edit;
    std::weak_ptr<rt::Object> gone;
    QPointer<QWidget> button, field;
    {
        auto d = rt::New<gui::DialogWindow>();
        gone = d;
        d->Init({rt::Usual(), rt::Usual("TestForm"), rt::Usual(false)});
        kept = gui::MakeControl<gui::PushButton>(*d, 12);
        kept->SetName(rt::Symbol("ENDDIALOG"));
        edit = gui::MakeControl<gui::SingleLineEdit>(*d, 10);
        d->Show();
        button = kept->Widget();
        field = edit->Widget();
        d->EndWindow();
        QApplication::processEvents();
    }
    ASSERT_TRUE(gone.expired());
    ASSERT_TRUE(button);
    EXPECT_EQ(kept->Owner(), nullptr);
    EXPECT_NO_THROW(EXPECT_TRUE(kept->OwnerObject().IsNil()));
    EXPECT_NO_THROW(kept->Click());
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    EXPECT_NO_THROW(QApplication::sendEvent(field, &out));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    EXPECT_NO_THROW(QApplication::sendEvent(field, &press));
}

TEST(Gui, ATimerOfAWindowThatIsGoneDoesNotFire) {
    // A window object that goes without being closed (never shown) leaves
    // its widget, and the widget's timer, to be deleted later; the timer
    // must not call into the object in between.
    QPointer<QWidget> widget;
    std::weak_ptr<rt::Object> gone;
    {
        auto w = rt::New<gui::Window>();
        gone = w;
        w->Init({rt::Usual()});
        w->RegisterTimer(0);
        widget = w->Widget();
    }
    ASSERT_TRUE(gone.expired());
    ASSERT_TRUE(widget);
    QTest::qWait(20);  // timers run; the widget may go meanwhile
    SUCCEED();
}

// A scalable window icon becomes the pictures it draws at 16 to 64 pixels,
// made once per icon; an icon that has pictures already passes as it is.
TEST(Gui, AScalableWindowIconBecomesItsPicturesDrawnOnce) {
    QTemporaryDir dir;
    QFile svg(dir.filePath("icon.svg"));
    ASSERT_TRUE(svg.open(QIODevice::WriteOnly));
    svg.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="8" height="8" viewBox="0 0 8 8">)"
              R"(<rect x="0" y="0" width="4" height="8" fill="#ff0000"/></svg>)");
    svg.close();
    QIcon scalable = gui::SharedIcon({svg.fileName()});
    EXPECT_EQ(gui::SharedIcon({svg.fileName()}).cacheKey(), scalable.cacheKey());
    QIcon window = gui::WindowIconOf(scalable);
    EXPECT_EQ(window.availableSizes(),
              (QList<QSize>{QSize(16, 16), QSize(24, 24), QSize(32, 32), QSize(48, 48), QSize(64, 64)}));
    EXPECT_EQ(window.pixmap(QSize(32, 32)).toImage(), scalable.pixmap(QSize(32, 32)).toImage());
    EXPECT_EQ(gui::WindowIconOf(scalable).cacheKey(), window.cacheKey());
    EXPECT_EQ(gui::WindowIconOf(window).cacheKey(), window.cacheKey());
}

// The start-up's second thread fills the font database while a window with
// text and pictures is built beside it; the window gets both.
TEST(Gui, AWindowBuiltBesideTheWarmUpHasItsFontsAndPictures) {
    QImage picture;
    QStringList families;
    {
        std::jthread warm = gui::WarmUpQt();
        QMenuBar bar;  // reads the style's extension arrows
        bar.addMenu(QStringLiteral("&File"));
        families = QFontDatabase::families();
        QBuffer png;
        png.open(QIODevice::WriteOnly);
        QImage(4, 4, QImage::Format_RGB32).save(&png, "PNG");
        picture = QImage::fromData(png.data());
        EXPECT_GT(bar.sizeHint().width(), 0);
    }
    EXPECT_FALSE(families.isEmpty());
    EXPECT_EQ(picture.size(), QSize(4, 4));
}

// The application's style gives Qt's own extension arrows, read without the
// image plugins, and what Qt's own style gives for everything else.
TEST(Gui, TheProgramStyleGivesQtsOwnExtensionArrows) {
    gui::EnsureQtApplication();
    auto* style = dynamic_cast<gui::ProgramStyle*>(QApplication::style());
    ASSERT_NE(style, nullptr);
    std::unique_ptr<QStyle> qt(QStyleFactory::create(style->baseStyle()->name()));
    ASSERT_NE(qt, nullptr);
    for (auto arrow : {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton,
                       QStyle::SP_MessageBoxWarning}) {
        const QIcon ours = style->standardIcon(arrow), theirs = qt->standardIcon(arrow);
        ASSERT_FALSE(ours.availableSizes().isEmpty()) << arrow;
        EXPECT_EQ(ours.availableSizes(), theirs.availableSizes()) << arrow;
        for (QSize size : ours.availableSizes())
            EXPECT_EQ(ours.pixmap(size, 1.0).toImage(), theirs.pixmap(size, 1.0).toImage()) << arrow;
    }
}
