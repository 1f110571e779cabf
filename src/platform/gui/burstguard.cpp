#include "platform/gui/burstguard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <vector>

namespace gui::burst {
namespace {

int gArmed = 0;

int64_t Now() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}

struct Guarded {
    QPointer<QWidget> box;
    int64_t shownAt = -1;            // when it was first shown; -1 before
    std::vector<int> swallowedKeys;  // presses swallowed, whose releases go too
};

// One application-wide filter: it stamps every key press, and decides the
// key events of the protected boxes.
class Filter : public QObject {
public:
    static Filter& Get() {
        static Filter* f = [] {
            auto* filter = new Filter;
            QCoreApplication::instance()->installEventFilter(filter);
            return filter;
        }();
        return *f;
    }

    void Add(QWidget* box) {
        Prune();
        guarded_.push_back({box, -1, {}});
    }

    bool eventFilter(QObject* receiver, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type == QEvent::Show) {
            if (Guarded* g = Find(receiver, true); g && g->shownAt < 0) {
                g->shownAt = Now();
                Present(g->box);
            }
            return false;
        }
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) return false;
        auto* widget = qobject_cast<QWidget*>(receiver);
        if (!widget) return false;
        // A key goes to the focus widget first and then, unused, to its
        // parents; only the first delivery counts.
        QWidget* focus = QApplication::focusWidget();
        if (focus ? widget != focus : !widget->isWindow()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const int64_t now = Now();
        // The shortcut check before a key press is not a key of its own,
        // and neither is a modifier held for the next key (Alt of Alt+R).
        const int64_t previous = lastPress;
        if (IsModifier(key->key())) return false;
        if (type == QEvent::KeyPress) {
            lastPress = now;
            current_ = {key, key->timestamp(), key->key(), previous >= 0 && now - previous < kQuietMs};
        }
        Guarded* g = Find(receiver, false);
        if (!g) return false;
        if (type == QEvent::KeyRelease) {
            auto it = std::find(g->swallowedKeys.begin(), g->swallowedKeys.end(), key->key());
            if (it == g->swallowedKeys.end()) return false;
            g->swallowedKeys.erase(it);
            return true;
        }
        const bool quietBefore = previous < 0 || now - previous >= kQuietMs;
        const bool upLongEnough = g->shownAt >= 0 && now - g->shownAt >= kQuietMs;
        if (quietBefore && upLongEnough) return false;
        if (type == QEvent::KeyPress) g->swallowedKeys.push_back(key->key());
        // Swallowed whole: no shortcut, no button, no mnemonic sees it.
        event->accept();
        return true;
    }

    bool FollowsClosely(const QKeyEvent* press) const {
        // This filter may see the press before or after the caller's.
        if (press == current_.event && press->timestamp() == current_.timestamp && press->key() == current_.key)
            return current_.close;
        return lastPress >= 0 && Now() - lastPress < kQuietMs;
    }

private:
    Guarded* Find(QObject* receiver, bool exact) {
        auto* w = qobject_cast<QWidget*>(receiver);
        if (!w) return nullptr;
        QWidget* top = exact ? w : w->window();
        for (Guarded& g : guarded_)
            if (g.box && g.box == top) return &g;
        return nullptr;
    }

    void Prune() {
        guarded_.erase(std::remove_if(guarded_.begin(), guarded_.end(), [](const Guarded& g) { return !g.box; }),
                       guarded_.end());
    }

    static void Present(QWidget* box) {
        if (!box) return;
        box->raise();
        box->activateWindow();
        QApplication::beep();
    }

    struct Press {
        const QKeyEvent* event = nullptr;
        uint64_t timestamp = 0;
        int key = 0;
        bool close = false;  // within kQuietMs of the press before it
    };

    std::vector<Guarded> guarded_;
    int64_t lastPress = -1;
    Press current_;
};

}  // namespace

void Arm() {
    ++gArmed;
    if (QCoreApplication::instance()) Filter::Get();
}

void Disarm() {
    if (gArmed > 0) --gArmed;
}

bool Armed() { return gArmed > 0; }

bool IsModifier(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_CapsLock: return true;
        default: return false;
    }
}

bool FollowsClosely(const QKeyEvent* press) {
    return QCoreApplication::instance() && Filter::Get().FollowsClosely(press);
}

void Protect(QWidget* box) {
    if (!box || !Armed() || !QCoreApplication::instance()) return;
    Filter::Get().Add(box);
}

}  // namespace gui::burst
