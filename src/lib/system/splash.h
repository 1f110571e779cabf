// Splash screens: two borderless, modeless windows that show the splash
// bitmap while a program starts and close themselves on a one-shot timer.
// SplashScreen is tall, with a line of white text on blue under the
// bitmap; QZSPLASH is a narrow bar with the bitmap only. Both are made with
// an owner (INIT(owner, extra value)) and shown with SHOW(show state):
// topmost, painted at once, then a 600 ms pause; the first timer message
// after one second closes them.
#pragma once

#include <memory>

#include "platform/gui/control.h"
#include "platform/gui/dialogwindow.h"

namespace lib {

inline constexpr int kSplashPauseMs = 600;
inline constexpr int64_t kSplashTimerSeconds = 1;

// What both splash windows do when shown.
class SplashWindow : public gui::DialogWindow {
    QZ_OBJECT(SplashWindow)
public:
    SplashWindow() = default;
    // Shows the window, makes it topmost without moving it, arms the
    // one-shot timer, paints it and pauses.
    void Show(int64_t mode = 0) override;
    // The timer: the window goes.
    void Timer() override { EndWindow(); }

protected:
    // The bitmap control shows the bitmap at its own size, as a static
    // bitmap control does.
    void PlaceBitmap(int id, bool transparent);
};

class SplashScreen : public SplashWindow {
    QZ_OBJECT(SplashScreen)
public:
    SplashScreen() = default;
    void Build(rt::Args args) override;
    gui::FixedText* SplashText() const { return splashText_.get(); }

private:
    std::shared_ptr<gui::FixedBitmap> bitmap_;
    std::shared_ptr<gui::FixedText> splashText_;
};

class QZSPLASH : public SplashWindow {
    QZ_OBJECT(QZSPLASH)
public:
    QZSPLASH() = default;
    void Build(rt::Args args) override;
    void PostInit(rt::Args) override {}

private:
    std::shared_ptr<gui::FixedBitmap> bitmap_;
};

}  // namespace lib
