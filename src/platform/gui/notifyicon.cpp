#include "platform/gui/notifyicon.h"

#include <QPixmap>
#include <QSystemTrayIcon>

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

void Apply(TrayEntry& e, const NOTIFYICONDATAA& d, bool adding) {
    if (d.uFlags & NIF_ICON) {
        auto* icon = dynamic_cast<Icon*>(ObjectOfHandle(d.hIcon).AsObject().get());
        e.icon->setIcon(icon && !icon->Get().isNull() ? icon->Get() : BlankIcon());
    } else if (adding) {
        e.icon->setIcon(BlankIcon());
    }
    if (d.uFlags & NIF_TIP) {
        e.tip.assign(d.szTip, strnlen(d.szTip, sizeof d.szTip));
        e.icon->setToolTip(QString::fromLatin1(e.tip.c_str()));
    } else if (adding) {
        e.tip.clear();
    }
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
                FromQt([&] { NotifyIconActivate(key.first, key.second, static_cast<int>(r)); });
            });
            Apply(e, *data, true);
            e.icon->show();
            return true;
        }
        case NIM_MODIFY:
            if (it == Icons().end()) return false;
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
        case QSystemTrayIcon::DoubleClick: Post(key, WM_LBUTTONDBLCLK); break;
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
