// The splash screens offscreen: what they show, topmost, gone after their
// one-shot timer once messages are processed (manual clock).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>

#include "lib/system/splash.h"
#include "platform/gui/timers.h"
#include "platform/gui/windowpos.h"

namespace {

struct SplashFixture : testing::Test {
    SplashFixture() { gui::TimerClock::UseManual(true); }
    ~SplashFixture() override { gui::TimerClock::UseManual(false); }
};

template <class S>
std::shared_ptr<S> ShowSplash() {
    auto s = rt::New<S>();
    s->Init({rt::Usual(), rt::Usual()});
    s->Show(0);
    return s;
}

}  // namespace

TEST_F(SplashFixture, SplashScreenShowsWhiteTextOnBlueWithoutACaptionBar) {
    auto s = ShowSplash<lib::SplashScreen>();
    QWidget* w = s->Widget();
    EXPECT_TRUE(w->windowFlags().testFlag(Qt::FramelessWindowHint));
    auto* text = qobject_cast<QLabel*>(s->SplashText()->Widget());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text().toStdString(), "Software by Quorvex ...");
    EXPECT_EQ(text->palette().color(QPalette::WindowText), QColor(255, 255, 255));
    EXPECT_EQ(text->palette().color(QPalette::Window), QColor(0, 0, 255));
    EXPECT_EQ(s->Caption(), "Loading ...");
    auto* bitmap = qobject_cast<QLabel*>(s->ControlById(100)->Widget());
    EXPECT_EQ(bitmap->pixmap().size(), QSize(312, 24));
    s->EndWindow();
}

TEST_F(SplashFixture, BothAreTopmostAndGoWithTheirOwnTimers) {
    auto a = ShowSplash<lib::SplashScreen>();
    auto b = ShowSplash<lib::QZSPLASH>();
    EXPECT_EQ(b->Caption(), "Loading Ostrello");
    EXPECT_TRUE(gui::IsTopmost(a->Handle()));
    EXPECT_TRUE(gui::IsTopmost(b->Handle()));
    EXPECT_TRUE(a->Widget()->isVisible());
    // Without messages processed the windows stay.
    EXPECT_TRUE(a->IsOpen());
    gui::TimerClock::Advance(999);
    EXPECT_TRUE(a->IsOpen() && b->IsOpen());
    gui::TimerClock::Advance(1);
    EXPECT_FALSE(a->IsOpen());
    EXPECT_FALSE(b->IsOpen());
}
