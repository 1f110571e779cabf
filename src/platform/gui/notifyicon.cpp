#include "platform/gui/notifyicon.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "platform/gui/boundary.h"
#include "platform/gui/handles.h"
#include "platform/gui/message.h"
#include "platform/gui/window.h"

namespace gui {
namespace {

struct TrayEntry {
    std::unique_ptr<QSystemTrayIcon> icon;
    // The window Qt docks in an X notification area for the icon, once
    // found; its mouse events are the icon's. Without one (another kind of
    // tray) only Qt's activations are known.
    QPointer<QWidget> dock;
    uint32_t callback = 0;
    bool notify = false;
    std::string tip;
};

using Key = std::pair<uint32_t, uint32_t>;

std::map<Key, TrayEntry>& Icons() {
    static auto* icons = new std::map<Key, TrayEntry>;
    return *icons;
}

NotifyIconObserver& Observer() {
    static NotifyIconObserver observer;
    return observer;
}

// A tray slot needs a picture: an icon without one shows as blank.
QIcon BlankIcon() {
    QPixmap p(16, 16);
    p.fill(Qt::transparent);
    return QIcon(p);
}

void Post(const Key& key, uint32_t mouse) {
    auto it = Icons().find(key);
    if (it == Icons().end() || !it->second.notify || !key.first) return;
    PostMessageA(key.first, it->second.callback, key.second, mouse);
}

// The mouse message of a Qt mouse event on a docked icon, or 0 for none.
uint32_t MouseMessage(const QEvent& event) {
    const auto& m = static_cast<const QMouseEvent&>(event);
    const int button = m.button() == Qt::LeftButton     ? 0
                       : m.button() == Qt::RightButton  ? 1
                       : m.button() == Qt::MiddleButton ? 2
                                                        : -1;
    static constexpr uint32_t kDown[] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
    static constexpr uint32_t kUp[] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
    static constexpr uint32_t kDouble[] = {WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, 0x0209 /* WM_MBUTTONDBLCLK */};
    switch (event.type()) {
        case QEvent::MouseMove: return WM_MOUSEMOVE;
        case QEvent::MouseButtonPress: return button < 0 ? 0 : kDown[button];
        case QEvent::MouseButtonRelease: return button < 0 ? 0 : kUp[button];
        case QEvent::MouseButtonDblClick: return button < 0 ? 0 : kDouble[button];
        default: return 0;
    }
}

// Passes the mouse events of docked icons on as they happen: a press when
// the button goes down, a release when it comes up (a double click is
// down, up, double click, up), and the moves over the icon.
class DockWatcher : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const uint32_t mouse = MouseMessage(*event);
        if (!mouse) return false;
        for (const auto& [key, e] : Icons()) {
            if (e.dock != watched) continue;
            const Key k = key;
            FromQt([&] { Post(k, mouse); });
            break;
        }
        return false;  // Qt goes on with its own handling (its menu, its activation)
    }
};

// Finds the window Qt docked for the icon just shown: the one of that kind
// that no other icon has. Its title is the tip, so that the tray (and a
// test) can read it from the X window.
void FindDock(TrayEntry& e) {
    if (e.dock) return;
    static DockWatcher* watcher = new DockWatcher;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() != QLatin1String("QSystemTrayIconSys")) continue;
        bool taken = false;
        for (const auto& [key, other] : Icons()) taken = taken || other.dock == w;
        if (taken) continue;
        e.dock = w;
        w->setMouseTracking(true);
        w->installEventFilter(watcher);
        w->setWindowTitle(QString::fromUtf8(e.tip));
        return;
    }
}

void Apply(TrayEntry& e, const NOTIFYICONDATAA& d, bool adding) {
    if (d.uFlags & NIF_ICON) {
        auto* icon = dynamic_cast<Icon*>(ObjectOfHandle(d.hIcon).AsObject().get());
        e.icon->setIcon(icon && !icon->Get().isNull() ? icon->Get() : BlankIcon());
    } else if (adding) {
        e.icon->setIcon(BlankIcon());
    }
    if (d.uFlags & NIF_TIP) {
        // The tip is the runtime's text, UTF-8.
        e.tip.assign(d.szTip, strnlen(d.szTip, sizeof d.szTip));
        e.icon->setToolTip(QString::fromUtf8(e.tip));
    } else if (adding) {
        e.tip.clear();
    }
    if (e.dock) e.dock->setWindowTitle(QString::fromUtf8(e.tip));
    if (d.uFlags & NIF_MESSAGE) e.callback = d.uCallbackMessage;
    e.notify = (d.uFlags & NIF_MESSAGE) != 0 || (!adding && e.notify);
}

}  // namespace

void SetNotifyIconObserver(NotifyIconObserver observer) { Observer() = std::move(observer); }

bool Shell_NotifyIconA(uint32_t message, const NOTIFYICONDATAA* data) {
    if (!data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    if (Observer()) Observer()(message, *data);
    const Key key{data->hWnd, data->uID};
    auto it = Icons().find(key);
    switch (message) {
        case NIM_ADD: {
            if (it != Icons().end()) return false;
            TrayEntry& e = Icons()[key];
            e.icon = std::make_unique<QSystemTrayIcon>();
            QObject::connect(e.icon.get(), &QSystemTrayIcon::activated, [key](QSystemTrayIcon::ActivationReason r) {
                // A docked icon's clicks went out as they happened.
                auto found = Icons().find(key);
                if (found == Icons().end() || found->second.dock) return;
                FromQt([&] { NotifyIconActivate(key.first, key.second, static_cast<int>(r)); });
            });
            Apply(e, *data, true);
            e.icon->show();
            FindDock(e);
            return true;
        }
        case NIM_MODIFY:
            if (it == Icons().end()) return false;
            FindDock(it->second);  // a notification area that came up late
            Apply(it->second, *data, false);
            return true;
        case NIM_DELETE:
            if (it == Icons().end()) return false;
            it->second.icon->hide();
            Icons().erase(it);
            return true;
        default: SetLastError(ERROR_INVALID_PARAMETER); return false;
    }
}

bool NotifyIconShown(HWND hWnd, uint32_t uID) { return Icons().count(Key{static_cast<uint32_t>(hWnd), uID}) != 0; }

const char* NotifyIconTip(HWND hWnd, uint32_t uID) {
    auto it = Icons().find(Key{static_cast<uint32_t>(hWnd), uID});
    return it == Icons().end() ? "" : it->second.tip.c_str();
}

void NotifyIconActivate(HWND hWnd, uint32_t uID, int reason) {
    const Key key{static_cast<uint32_t>(hWnd), uID};
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
        case QSystemTrayIcon::Trigger:
            Post(key, WM_LBUTTONDOWN);
            Post(key, WM_LBUTTONUP);
            break;
        case QSystemTrayIcon::DoubleClick:
            Post(key, WM_LBUTTONDBLCLK);
            Post(key, WM_LBUTTONUP);
            break;
        case QSystemTrayIcon::Context:
            Post(key, WM_RBUTTONDOWN);
            Post(key, WM_RBUTTONUP);
            break;
        case QSystemTrayIcon::MiddleClick:
            Post(key, WM_MBUTTONDOWN);
            Post(key, WM_MBUTTONUP);
            break;
        default: break;
    }
}

}  // namespace gui
