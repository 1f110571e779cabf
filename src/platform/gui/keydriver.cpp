#include "platform/gui/keydriver.h"

#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QWidget>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/gui/boundary.h"
#include "platform/gui/window.h"

namespace gui {
namespace {

// The newest open window is the one the operator works in; where no window
// manager activates it (an offscreen or bare X server), the driver does.
QWidget* ActiveWindow() {
    std::vector<std::shared_ptr<Window>> open = OpenWindows();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        QWidget* w = (*it)->Widget();
        if (w && w->isVisible()) {
            if (QApplication::activeWindow() != w) QApplication::setActiveWindow(w);
            return w;
        }
    }
    return QApplication::activeWindow();
}

QWidget* Target() {
    QWidget* window = ActiveWindow();
    if (QWidget* f = QApplication::focusWidget()) return f;
    return window;
}

// Sends a key to the focused control as the window system would: the
// shortcut check first, then the press and the release. Accelerators are not
// consulted (use "command" for menu commands).
void Press(int key, Qt::KeyboardModifiers mods, const QString& text) {
    QWidget* target = Target();
    if (!target) return;
    QKeyEvent check(QEvent::ShortcutOverride, key, mods, text);
    check.ignore();
    QCoreApplication::sendEvent(target, &check);
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QCoreApplication::sendEvent(target, &press);
    if (QWidget* now = Target()) {
        QKeyEvent release(QEvent::KeyRelease, key, mods, text);
        QCoreApplication::sendEvent(now, &release);
    }
}

int KeyOf(const std::string& name) {
    static const std::pair<const char*, int> kNames[] = {{"Return", Qt::Key_Return},
                                                         {"Tab", Qt::Key_Tab},
                                                         {"Escape", Qt::Key_Escape},
                                                         {"Delete", Qt::Key_Delete},
                                                         {"Up", Qt::Key_Up},
                                                         {"Down", Qt::Key_Down},
                                                         {"PageUp", Qt::Key_PageUp},
                                                         {"PageDown", Qt::Key_PageDown},
                                                         {"Home", Qt::Key_Home},
                                                         {"End", Qt::Key_End},
                                                         {"Backspace", Qt::Key_Backspace}};
    for (const auto& [n, k] : kNames)
        if (name == n) return k;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return std::toupper(static_cast<unsigned char>(name[0]));
    if (name.size() > 1 && name[0] == 'F') return Qt::Key_F1 + std::atoi(name.c_str() + 1) - 1;
    return 0;
}

void Run(const std::string& line) {
    std::string verb = line.substr(0, line.find(' '));
    std::string arg = line.size() > verb.size() ? line.substr(verb.size() + 1) : std::string();
    if (verb == "type") {
        for (QChar c : QString::fromStdString(arg)) {
            int key = c.isLetter() ? c.toUpper().unicode() : c.unicode();
            Press(key, c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier, QString(c));
        }
    } else if (verb == "key") {
        Qt::KeyboardModifiers mods;
        std::string name = arg;
        for (auto [prefix, mod] : {std::pair{"Shift+", Qt::ShiftModifier}, std::pair{"Ctrl+", Qt::ControlModifier},
                                   std::pair{"Alt+", Qt::AltModifier}}) {
            if (name.rfind(prefix, 0) == 0) {
                mods |= mod;
                name = name.substr(std::string(prefix).size());
            }
        }
        int key = KeyOf(name);
        QString text;
        if (key >= 'A' && key <= 'Z' && !(mods & (Qt::ControlModifier | Qt::AltModifier)))
            text = QChar(mods & Qt::ShiftModifier ? key : key + 32);
        if (key == Qt::Key_Return) text = QStringLiteral("\r");
        if (key) Press(key, mods, text);
    } else if (verb == "command") {
        if (QWidget* w = ActiveWindow()) {
            rt::Usual o = ObjectFromHandle(HandleOf(w));
            if (auto* win = dynamic_cast<Window*>(o.AsObject().get())) win->MenuCommand(rt::Symbol(arg));
        }
    } else if (verb == "call") {
        // call METHOD [TEXT]: a late-bound call on the active window.
        std::string method = arg.substr(0, arg.find(' '));
        std::string text = arg.size() > method.size() ? arg.substr(method.size() + 1) : std::string();
        if (QWidget* w = ActiveWindow()) {
            rt::Usual o = ObjectFromHandle(HandleOf(w));
            std::vector<rt::Usual> args;
            if (!text.empty()) args.emplace_back(text);
            if (rt::IsMethod(o, rt::Symbol(method))) rt::Send(o, rt::Symbol(method), args);
        }
    } else if (verb == "state") {
        std::string out = "state";
        if (QWidget* w = ActiveWindow())
            for (QLineEdit* e : w->findChildren<QLineEdit*>()) out += "\t" + e->text().toStdString();
        std::printf("%s\n", out.c_str());
    }
    std::printf("ok\n");
    std::fflush(stdout);
}

}  // namespace

void InstallKeyDriverFromEnvironment() {
    if (!std::getenv("QZ_KEY_DRIVER")) return;
    auto* notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    static std::string pending;
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [notifier] {
        char buf[4096];
        ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            notifier->setEnabled(false);
            return;
        }
        pending.append(buf, static_cast<size_t>(n));
        size_t nl;
        while ((nl = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            FromQt([&] { Run(line); });
        }
    });
}

}  // namespace gui
