#include "platform/gui/app.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <optional>

#include "platform/gui/boundary.h"
#include "platform/gui/errorbox.h"
#include "platform/gui/event.h"
#include "platform/gui/msgbox.h"
#include "platform/gui/programstyle.h"
#include "platform/gui/vkeys.h"
#include "platform/gui/warmup.h"
#include "platform/runtime/errorservices.h"

namespace gui {
namespace {

App* gCurrent = nullptr;

// The runtime's plain message box: a message box without an owner window.
int PlainMessageBox(const std::string& text, const std::string& caption, uint32_t style) {
    return ShowMessageBox(nullptr, caption, text, style);
}

// Sees every key press of the application once, before any widget or
// shortcut does, and asks the application object whether it may go on.
class KeyHook : public QObject {
public:
    explicit KeyHook(App* app) : app_(app) {}

    bool eventFilter(QObject* receiver, QEvent* event) override {
        if (event->type() == QEvent::KeyRelease) {
            // A shortcut that took its key sends no key press after the
            // check; the release ends that key, and the next press of it is
            // a new one.
            last_ = Stamp{};
            return false;
        }
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) return false;
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (!widget) return false;
        QWidget* focus = QApplication::focusWidget();
        if (focus ? widget != focus : !widget->isWindow()) return false;  // a parent's copy
        auto* key = static_cast<QKeyEvent*>(event);
        Stamp stamp{key->timestamp(), key->key(), int(key->modifiers()), receiver};
        if (stamp == last_) {
            // The key press that follows its shortcut check: decided already.
            if (event->type() == QEvent::KeyPress) last_ = Stamp{};
            return !allowed_;
        }
        last_ = stamp;
        uint32_t vk = VirtualKeyFromQt(key->key(), key->modifiers().testFlag(Qt::KeypadModifier));
        // As in Win32, a key pressed with Alt held (and F10) is a system
        // key, WM_SYSKEYDOWN with the context bit, not a plain key press.
        const bool system = key->modifiers().testFlag(Qt::AltModifier) || key->key() == Qt::Key_F10;
        int64_t lParam = 1 | (key->isAutoRepeat() ? (1LL << 30) : 0) |
                         (key->modifiers().testFlag(Qt::AltModifier) ? (1LL << 29) : 0);
        auto keep = app_->Self();
        // A check that fails lets the key go no further.
        const bool allowed = FromQt(
            [&] { return app_->BeforeDispatch(HandleOf(widget), system ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, lParam); },
            false);
        // A box opened from BeforeDispatch runs its own loop, and the keys
        // that answer it pass here too: this key's decision is set again
        // afterwards, so that its key press does not ask a second time.
        allowed_ = allowed;
        last_ = event->type() == QEvent::KeyPress ? Stamp{} : stamp;
        if (!allowed_ && event->type() == QEvent::ShortcutOverride) {
            event->accept();  // no shortcut for this key: it is swallowed below
            return true;
        }
        return !allowed_;
    }

private:
    struct Stamp {
        uint64_t time = 0;
        int key = 0;
        int modifiers = 0;
        QObject* receiver = nullptr;
        bool operator==(const Stamp&) const = default;
    };
    App* app_;
    Stamp last_;
    bool allowed_ = true;
};

}  // namespace

QApplication& EnsureQtApplication(int argc, char** argv) {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    static int sArgc = argc;
    static char** sArgv = argv;
    static char name[] = "qzscan";
    static char* fallback[] = {name, nullptr};
    if (sArgc == 0 || !sArgv) {
        sArgc = 1;
        sArgv = fallback;
    }
    BeginBesideApplication();  // beside the platform plugin and the display connection
    auto* app = new QApplication(sArgc, sArgv);
    AwaitFonts();  // before any widget
    InstallProgramStyle();
    app->setQuitOnLastWindowClosed(false);
    InstallErrorBoxHooks();
    rt::SetMessageBoxHook(&PlainMessageBox);
    return *app;
}

const rt::ClassDef& App::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<App>("APP")
            .Method<&App::Exec>("EXEC")
            .RawMethod("BEFOREDISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           auto arg = [&](size_t i) { return i < a.size() ? a[i].AsLong() : 0; };
                           return rt::Usual(static_cast<App&>(o).BeforeDispatch(static_cast<uintptr_t>(arg(0)),
                                                                                static_cast<uint32_t>(arg(1)),
                                                                                static_cast<uint64_t>(arg(2)), arg(3)));
                       })
            .Done();
    return c;
}

App::App() {
    QApplication& qt = EnsureQtApplication();
    filter_ = new KeyHook(this);
    qt.installEventFilter(filter_);
    gCurrent = this;
}

App::~App() {
    if (gCurrent == this) gCurrent = nullptr;
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(filter_);
    delete filter_;
}

int64_t App::Exec(int64_t mode) {
    // What a handler run here throws comes out of this call (boundary.h).
    rt::ThrowParked();
    if (mode == 1) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        rt::ThrowParked();
        return 0;
    }
    // Inside a recovery scope the loop is one of ours, which a parked
    // exception ends on its way to the scope. Outside any, a handler's
    // failure is told and dropped and the program goes on (boundary.h).
    std::optional<OwnLoop> loop;
    if (rt::CanBreak()) loop.emplace([] { QCoreApplication::exit(0); });
    const int result = QApplication::exec();
    loop.reset();
    rt::ThrowParked();
    return result;
}

bool App::BeforeDispatch(uintptr_t, uint32_t, uint64_t, int64_t) { return true; }

App* App::Current() { return gCurrent; }

}  // namespace gui
