// The gallery's page of timers and the tray: a VellTimerControl counting,
// a RyTimerContainer with two clients and their countdowns, the tray icon
// with a tip to edit, and the two splash screens.
#pragma once

#include <memory>

#include "lib/system/rytimer.h"
#include "lib/system/velltimercontrol.h"
#include "lib/system/velltrayobject.h"
#include "platform/gui/control.h"
#include "platform/gui/window.h"

namespace gallery {

// A client of the dispatcher: counts the calls of its method.
class CountingClient : public rt::Object {
    QZ_OBJECT(CountingClient)
public:
    CountingClient() = default;
    void RYTIMEREVENT() { ++calls; }
    int64_t calls = 0;
};

class TimersPage : public gui::Window {
    QZ_OBJECT(TimersPage)
public:
    TimersPage() = default;
    void Build(rt::Args args) override;
    const gui::DialogTemplate* Template() const override;

    // The timer control's period (every 100 ms): the tick count and the
    // dispatcher's countdowns. True keeps it running.
    bool ONVELLTIMER(const rt::Usual& control);
    void PBSTART();
    void PBSTOP();
    // The tip the next "Show / update" gives the tray icon.
    void SetTip(const std::string& text);
    void PBTRAYSHOW();
    void PBTRAYHIDE();
    void PBSPLASH();
    void PBQZSPLASH();
    // The tray icon's callback message (and everything else).
    int64_t DispatchMessage(gui::Event& event);

    lib::VellTrayObject* Tray() const { return tray_.get(); }
    int64_t Ticks() const { return ticks_; }
    const std::string& LastTrayEvent() const { return lastTray_; }

private:
    void ShowCounts() { ShowCounts(timer_->Running()); }
    void ShowCounts(bool counting);

    int64_t ticks_ = 0;
    std::string lastTray_;
    std::shared_ptr<lib::VellTimerControl> timer_;
    std::shared_ptr<gui::FixedText> tickText_, clientAText_, clientBText_, trayText_;
    std::shared_ptr<gui::SingleLineEdit> tipEdit_;
    std::shared_ptr<lib::RyTimerContainer> container_;
    std::shared_ptr<CountingClient> clientA_, clientB_;
    std::shared_ptr<lib::VellTrayObject> tray_;
};

// Registers the page's template and classes.
void RegisterTimersPage();

}  // namespace gallery
