// The icon and bitmap buttons, the hyperlink and the blinking controls on a
// real (offscreen) window, driven with QTest mouse events.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTest>
#include <QWidget>

#include "lib/controls/artwork.h"
#include "lib/controls/bitmapbutton.h"
#include "lib/controls/blinking.h"
#include "lib/controls/hyperlink.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/controls/register.h"
#include "platform/gui/messages.h"
#include "platform/gui/timers.h"
#include "platform/runtime/error.h"

namespace {

// An edit that records each double click with the LSENDFROMBUTTON it saw.
class RecordingEdit : public gui::SingleLineEdit {
    QZ_OBJECT(RecordingEdit)
public:
    bool LSENDFROMBUTTON = false;
    std::vector<bool> doubleClicks;
    bool Dispatch(gui::Event& e) override {
        if (e.uMsg == gui::WM_LBUTTONDBLCLK) doubleClicks.push_back(LSENDFROMBUTTON);
        return gui::SingleLineEdit::Dispatch(e);
    }
};

}  // namespace

const rt::ClassDef& RecordingEdit::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<RecordingEdit>("TESTRECORDINGEDIT", &gui::SingleLineEdit::StaticClass())
            .IVar<&RecordingEdit::LSENDFROMBUTTON>("LSENDFROMBUTTON")
            .Done();
    return c;
}

namespace {

struct ButtonsTest : testing::Test {
    ButtonsTest() {
        lib::RegisterControlClasses();
        window->Init({rt::Usual()});
        window->Widget()->resize(300, 200);
        window->Widget()->show();
    }
    std::shared_ptr<gui::Window> window = rt::New<gui::Window>();
};

TEST_F(ButtonsTest, EachReadyMadeButtonShowsItsUpDownAndDisabledIcons) {
    struct Case {
        std::shared_ptr<lib::IconPushButton> b;
        const char *up, *down, *disabled;
    } cases[] = {
        {lib::MakeLibControl<lib::OkPushButton>(*window, 1), "ICOOKUP", "ICOOKDOWN", "ICOOKDISABLED"},
        {lib::MakeLibControl<lib::CancelPushButton>(*window, 2), "ICOCANCELUP", "ICOCANCELDOWN", "ICOCANCELDISABLED"},
        {lib::MakeLibControl<lib::NoPushButton>(*window, 3), "ICONOUP", "ICONODOWN", "ICONODISABLED"},
        {lib::MakeLibControl<lib::HelpPushButton>(*window, 4), "ICOHELPUP", "ICOHELPDOWN", "ICOHELPDISABLED"},
    };
    for (auto& k : cases) {
        EXPECT_EQ(k.b->ShownIcon()->Name(), k.up);
        QTest::mousePress(k.b->Widget(), Qt::LeftButton);
        EXPECT_TRUE(k.b->Pressed());
        EXPECT_EQ(k.b->ShownIcon()->Name(), k.down);
        QTest::mouseRelease(k.b->Widget(), Qt::LeftButton);
        rt::Send(rt::Usual(k.b), "DISABLE");
        EXPECT_EQ(k.b->ShownIcon()->Name(), k.disabled);
        EXPECT_FALSE(k.b->Widget()->isEnabled());
        EXPECT_FALSE(k.b->ShownIcon()->Get().isNull());
    }
}

TEST_F(ButtonsTest, AnIconPropertyRefusesANonIconAndKeepsTheIcon) {
    auto b = lib::MakeLibControl<lib::OkPushButton>(*window, 1);
    auto before = b->ShownIcon();
    rt::Usual err;
    rt::Usual old = rt::ErrorBlock(rt::Usual::Block([&](rt::Args a) {
        err = a.empty() ? rt::Usual(true) : a[0];
        return rt::Usual();
    }));
    rt::IVarPut(rt::Usual(b), rt::Symbol("ICONUP"), rt::Usual("not an icon"));
    rt::ErrorBlock(old);
    EXPECT_FALSE(err.IsNil());
    EXPECT_EQ(b->ShownIcon(), before);
    rt::IVarPut(rt::Usual(b), rt::Symbol("ICONUP"), rt::CreateInstance(rt::Symbol("ICOHELPUP")));
    EXPECT_EQ(b->ShownIcon()->Name(), "ICOHELPUP");
}

TEST_F(ButtonsTest, SleButtonSetsLSendFromButtonBeforeTheEditGetsTheDoubleClick) {
    auto edit = rt::New<RecordingEdit>();
    edit->Create(*window, 10);
    auto b = rt::New<lib::SleButton>();
    const rt::Usual args[] = {rt::Usual(edit), rt::Usual(window), rt::Usual(int64_t{11})};
    b->Init(rt::Args(args, 3));
    b->Widget()->resize(16, 16);
    QTest::mouseRelease(b->Widget(), Qt::LeftButton);  // an up without a down does nothing
    QCoreApplication::processEvents();
    EXPECT_TRUE(edit->doubleClicks.empty());
    QTest::mouseClick(b->Widget(), Qt::LeftButton);
    QCoreApplication::processEvents();
    ASSERT_EQ(edit->doubleClicks.size(), 1u);
    EXPECT_TRUE(edit->doubleClicks[0]);
    // A quick second click comes as a double click and its release.
    QTest::mouseDClick(b->Widget(), Qt::LeftButton);
    QTest::mouseRelease(b->Widget(), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(edit->doubleClicks.size(), 2u);
}

TEST_F(ButtonsTest, TwoStateBitmapButtonStaysDownUntilClickedAgain) {
    auto b = lib::MakeLibControl<lib::WmBitmapButton>(*window, 12);
    b->LoadBitmaps("IBM_CALUP", "IBM_CALDN");
    EXPECT_NE(b->HBITMAPUP, 0);
    b->LTWOSTATE = true;
    QTest::mouseClick(b->Widget(), Qt::LeftButton);
    EXPECT_TRUE(b->LDOWN);
    EXPECT_TRUE(b->LINSTATE);
    QTest::mouseClick(b->Widget(), Qt::LeftButton);
    EXPECT_FALSE(b->LDOWN);
    b->Destroy();
    EXPECT_EQ(b->HBITMAPUP, 0);
    EXPECT_TRUE(b->BitmapDown().isNull());
}

TEST_F(ButtonsTest, HyperlinkOpensLinkOrItsCaptionWhenLinkIsEmpty) {
    std::vector<std::string> opened;
    lib::FixedTextHyperlink::SetOpener([&](const std::string& t) {
        opened.push_back(t);
        return true;
    });
    auto h = lib::MakeLibControl<lib::FixedTextHyperlink>(*window, 13);
    h->SetCaption("https://example.org/help");
    h->Widget()->resize(200, 16);
    QTest::mouseClick(h->Widget(), Qt::LeftButton);
    h->LINK = "https://example.org/other";
    QTest::mouseClick(h->Widget(), Qt::LeftButton);
    EXPECT_EQ(h->Widget()->cursor().shape(), Qt::PointingHandCursor);
    lib::FixedTextHyperlink::SetOpener({});
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/help", "https://example.org/other"}));
}

struct BlinkTest : ButtonsTest {
    BlinkTest() { gui::TimerClock::UseManual(true); }
    ~BlinkTest() override { gui::TimerClock::UseManual(false); }
};

TEST_F(BlinkTest, BlinkingWith50MsBlinksEvery200AndStopsWhenDestroyed) {
    auto t = lib::MakeLibControl<lib::BlinkingFixedText>(*window, 14);
    auto e = lib::MakeLibControl<lib::BlinkingSle>(*window, 15);
    EXPECT_EQ(t->IntervalMs(), 333);
    for (gui::Control* c : {static_cast<gui::Control*>(t.get()), static_cast<gui::Control*>(e.get())}) {
        rt::Send(rt::Usual(c->Self()), "BLINKING", {rt::Usual(true), rt::Usual(int64_t{50})});
        gui::TimerClock::Advance(199);
        EXPECT_TRUE(c->Widget()->isVisible());
        gui::TimerClock::Advance(1);
        EXPECT_FALSE(c->Widget()->isVisible());
        gui::TimerClock::Advance(200);
        EXPECT_TRUE(c->Widget()->isVisible());
    }
    EXPECT_EQ(t->IntervalMs(), 200);
    t->Destroy();
    gui::TimerClock::Advance(1000);  // its timer went with it
    EXPECT_FALSE(t->Blink().Running());
}

TEST_F(BlinkTest, AFocusedBlinkingEditKeepsItsFocusAndItsKeysWhileHidden) {
    auto e = lib::MakeLibControl<lib::BlinkingSle>(*window, 16);
    QApplication::setActiveWindow(window->Widget());
    e->Edit()->setFocus();
    gui::TimerClock::Advance(333);
    EXPECT_FALSE(e->Blink().Drawn(*e));
    ASSERT_TRUE(e->Edit()->hasFocus());
    QTest::keyClicks(QApplication::focusWidget(), "ab");
    EXPECT_EQ(e->TextValue(), "ab");
}

}  // namespace
