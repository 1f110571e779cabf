#include "lib/system/splash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QPixmap>
#include <QThread>
#include <QWindow>

#include "platform/gui/app.h"
#include "platform/gui/resource.h"
#include "platform/gui/windowpos.h"

namespace lib {
namespace {

// The background of QZSPLASH: colour 7 of the sixteen-colour order, the
// light grey of a dialog face.
constexpr int kBarColour = 7;

void Background(QWidget* w, QColor colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, colour);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// Builds the window from the named template, modeless, with the owner.
void BuildFrom(gui::DialogWindow& w, rt::Args args, const char* templateName) {
    const rt::Usual base[] = {args.empty() ? rt::Usual() : args[0], rt::Usual(templateName), rt::Usual(false)};
    w.gui::DialogWindow::Build(rt::Args(base, 3));
}

}  // namespace

const rt::ClassDef& SplashWindow::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<SplashWindow>("__SPLASHWINDOW", &gui::DialogWindow::StaticClass()).Done();
    return c;
}

const rt::ClassDef& SplashScreen::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<SplashScreen>("SPLASHSCREEN", &SplashWindow::StaticClass())
                                       .IVar<&SplashScreen::splashText_>("SPLASHTEXT")
                                       .Done();
    return c;
}

const rt::ClassDef& QZSPLASH::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<QZSPLASH>("QZSPLASH", &SplashWindow::StaticClass()).Done();
    return c;
}

void SplashWindow::PlaceBitmap(int id, bool transparent) {
    auto* label = qobject_cast<QLabel*>(ControlById(id) ? ControlById(id)->Widget() : nullptr);
    if (!label) return;
    QPixmap pix(QStringLiteral(":/bitmaps/SPLASH_BMP.svg"));
    if (pix.isNull()) pix.load(QStringLiteral(":/bitmaps/SPLASH_BMP.png"));
    if (pix.isNull()) return;  // no bitmap: an empty area, nothing else changes
    label->setPixmap(pix);
    label->resize(pix.size());
    label->setAttribute(Qt::WA_TranslucentBackground, transparent);
}

void SplashWindow::Show(int64_t mode) {
    DialogWindow::Show(mode);
    gui::SetWindowPos(Handle(), gui::HWND_TOPMOST, 0, 0, 0, 0, gui::SWP_NOSIZE | gui::SWP_NOMOVE);
    RegisterTimer(kSplashTimerSeconds, true);
    if (gui::App* app = gui::App::Current()) app->Exec(1);
    else QCoreApplication::processEvents();
    // The pause blocks the thread as Sleep does. A window system that maps
    // the window only after a round trip gets it painted within the pause.
    QElapsedTimer pause;
    pause.start();
    QWidget* w = Widget();
    while (w && w->windowHandle() && !w->windowHandle()->isExposed() && pause.elapsed() < kSplashPauseMs) {
        QThread::msleep(5);
        QCoreApplication::processEvents();
    }
    if (w) w->repaint();
    const qint64 left = kSplashPauseMs - pause.elapsed();
    if (left > 0) QThread::msleep(static_cast<unsigned long>(left));
}

void SplashScreen::Build(rt::Args args) {
    BuildFrom(*this, args, "SplashScreen");
    gui::DialogTemplate tahoma;
    tahoma.fontFace = "Tahoma";
    tahoma.fontPoints = 14;
    const QFont font = gui::DialogFont(tahoma);

    bitmap_ = gui::MakeControl<gui::FixedBitmap>(*this, 100);
    PlaceBitmap(100, false);

    splashText_ = gui::MakeControl<gui::FixedText>(*this, 101);
    splashText_->SetName(rt::Symbol("SPLASHTEXT"));
    splashText_->SetCaption("Software by Quorvex ...");
    if (auto* label = qobject_cast<QLabel*>(splashText_->Widget())) {
        label->setAlignment(Qt::AlignCenter);
        label->setFont(font);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);  // the static edge
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, QColor(255, 255, 255));
        label->setPalette(p);
        Background(label, QColor(0, 0, 255));
    }
    SetCaption("Loading ...");
    Widget()->setObjectName(QStringLiteral("SPLASHSCREEN"));
}

void QZSPLASH::Build(rt::Args args) {
    BuildFrom(*this, args, "QZSplash");
    SetCaption("Loading Ostrello");
    Widget()->setObjectName(QStringLiteral("QZSPLASH"));
    // The program's icon, from the resources.
    SetIcon(rt::Usual(rt::New<gui::Icon>("__AAAICON")));
    SetIconSm(rt::Usual(rt::New<gui::Icon>("__AAAICON")));
    Background(Widget(), QColor::fromRgb(gui::ColorConstantRgb(kBarColour)));
    bitmap_ = gui::MakeControl<gui::FixedBitmap>(*this, 100);
    PlaceBitmap(100, true);
}

}  // namespace lib
