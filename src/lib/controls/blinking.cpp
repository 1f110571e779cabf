#include "lib/controls/blinking.h"

#include <QWidget>
#include <algorithm>

#include "lib/controls/iconpushbutton.h"
#include "lib/system/selfmethod.h"
#include "platform/gui/messages.h"
#include "platform/gui/timers.h"

namespace lib {

void Blinker::Blinking(gui::Control& c, bool on, int64_t intervalMs) {
    if (intervalMs != 0) interval_ = intervalMs;
    if (on) {
        interval_ = std::max(interval_, kMinimumMs);
        hidden_ = false;
        if (QWidget* w = c.Widget()) w->setVisible(true);
        running_ = gui::SetTimer(c.Handle(), kTimerId, static_cast<uint32_t>(interval_)) != 0;
    } else {
        Stop(c);
    }
}

bool Blinker::Tick(gui::Control& c, const gui::Event& e) {
    if (e.uMsg != gui::WM_TIMER || e.wParam != kTimerId) return false;
    hidden_ = !hidden_;
    // Hidden by making it invisible in place: the layout and the handle
    // stay, only the painting stops.
    if (QWidget* w = c.Widget()) w->setVisible(!hidden_);
    return true;
}

void Blinker::Stop(gui::Control& c) {
    if (running_ && c.Handle()) gui::KillTimer(c.Handle(), kTimerId);
    running_ = false;
    hidden_ = false;
    if (QWidget* w = c.Widget()) w->setVisible(true);
}

namespace {

template <class T>
const rt::ClassDef& BlinkingClass(const char* name, const rt::ClassDef* base) {
    return rt::ClassBuilder<T>(name, base)
        .RawMethod("INIT",
                   [](rt::Object& o, rt::Args a) {
                       static_cast<T&>(o).Init(a);
                       return rt::Usual(o.Self());
                   })
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

template <class T>
void InitBlinking(T& c, rt::Args args) {
    auto* owner = args.empty() ? nullptr : dynamic_cast<gui::Window*>(args[0].AsObject().get());
    if (!owner || !owner->Widget()) return;
    c.Create(*owner, args.size() > 1 ? static_cast<int>(args[1].AsLong()) : 0);
    PlaceFromArgs(c, args);
    c.BLINKING(true, 333);
}

}  // namespace

const rt::ClassDef& BlinkingFixedText::StaticClass() {
    static const rt::ClassDef& c = BlinkingClass<BlinkingFixedText>("BLINKINGFIXEDTEXT", &gui::FixedText::StaticClass());
    return c;
}

const rt::ClassDef& BlinkingSle::StaticClass() {
    static const rt::ClassDef& c = BlinkingClass<BlinkingSle>("BLINKINGSLE", &gui::SingleLineEdit::StaticClass());
    return c;
}

void BlinkingFixedText::Init(rt::Args args) { InitBlinking(*this, args); }
void BlinkingSle::Init(rt::Args args) { InitBlinking(*this, args); }

bool BlinkingFixedText::Dispatch(gui::Event& event) {
    return blink_.Tick(*this, event) ? false : gui::FixedText::Dispatch(event);
}
bool BlinkingSle::Dispatch(gui::Event& event) {
    return blink_.Tick(*this, event) ? false : gui::SingleLineEdit::Dispatch(event);
}

void BlinkingFixedText::Destroy() {
    blink_.Stop(*this);
    gui::FixedText::Destroy();
}
void BlinkingSle::Destroy() {
    blink_.Stop(*this);
    gui::SingleLineEdit::Destroy();
}

}  // namespace lib
