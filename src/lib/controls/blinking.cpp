#include "lib/controls/blinking.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <algorithm>

#include "lib/controls/controlinit.h"
#include "lib/controls/iconpushbutton.h"
#include "lib/system/selfmethod.h"
#include "platform/gui/messages.h"
#include "platform/gui/timers.h"

namespace lib {

// Stops a widget's painting while it is set: the blinking control that has
// the keyboard focus is "hidden" this way, since a hidden Qt widget hands
// its focus on and the keys typed meanwhile would go to another control.
class Blinker::Blank : public QObject {
public:
    using QObject::QObject;
    bool on = false;
    bool eventFilter(QObject*, QEvent* e) override { return on && e->type() == QEvent::Paint; }
};

void Blinker::Draw(gui::Control& c, bool shown) {
    QWidget* w = c.Widget();
    if (!w) return;
    if (!blank_) blank_ = new Blank(w), w->installEventFilter(blank_);
    blank_->on = !shown && w->hasFocus();
    w->update();
    w->setVisible(shown || blank_->on);
}

bool Blinker::Drawn(const gui::Control& c) const {
    const QWidget* w = c.Widget();
    return w && w->isVisible() && !(blank_ && blank_->on);
}

void Blinker::Blinking(gui::Control& c, bool on, int64_t intervalMs) {
    if (intervalMs != 0) interval_ = intervalMs;
    if (on) {
        interval_ = std::max(interval_, kMinimumMs);
        hidden_ = false;
        Draw(c, true);
        running_ = gui::SetTimer(c.Handle(), kTimerId, static_cast<uint32_t>(interval_)) != 0;
    } else {
        Stop(c);
    }
}

bool Blinker::Tick(gui::Control& c, const gui::Event& e) {
    if (e.uMsg != gui::WM_TIMER || e.wParam != kTimerId) return false;
    hidden_ = !hidden_;
    // Hidden in place: the layout and the handle stay.
    Draw(c, !hidden_);
    return true;
}

void Blinker::Stop(gui::Control& c) {
    if (running_ && c.Handle()) gui::KillTimer(c.Handle(), kTimerId);
    running_ = false;
    hidden_ = false;
    Draw(c, true);
}

namespace {

template <class T>
const rt::ClassDef& BlinkingClass(const char* name, const rt::ClassDef* base) {
    return rt::ClassBuilder<T>(name, base)
        .RawMethod("INIT", InitMethod<T>())
        .RawMethod("BLINKING",
                   [](rt::Object& o, rt::Args a) {
                       const bool on = !a.empty() && a[0].IsLogic() && a[0].AsLogic();
                       const int64_t ms = a.size() > 1 && a[1].IsNumeric() ? a[1].AsLong() : 0;
                       static_cast<T&>(o).BLINKING(on, ms);
                       return rt::Usual(o.Self());
                   })
        .template Access<&T::IntervalMs>("INTERVAL")
        .Done();
}

}  // namespace

const rt::ClassDef& BlinkingFixedText::StaticClass() {
    static const rt::ClassDef& c =
        BlinkingClass<BlinkingFixedText>("BLINKINGFIXEDTEXT", &gui::FixedText::StaticClass());
    return c;
}

const rt::ClassDef& BlinkingSle::StaticClass() {
    static const rt::ClassDef& c = BlinkingClass<BlinkingSle>("BLINKINGSLE", &gui::SingleLineEdit::StaticClass());
    return c;
}

template <class Base>
void BlinkingControl<Base>::Init(rt::Args args) {
    if (!CreateFromArgs(*this, args)) return;
    BLINKING(true, 333);
}

template class BlinkingControl<gui::FixedText>;
template class BlinkingControl<gui::SingleLineEdit>;

}  // namespace lib
