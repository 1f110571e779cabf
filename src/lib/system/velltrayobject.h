// VellTrayObject: one icon with a tool tip in the notification area on
// behalf of a window, through Shell_NotifyIconA. It keeps the 504-byte
// NOTIFYICONDATAA record and sends it again whenever the icon, tip, window
// or message changes while the icon is shown; mouse activity comes back to
// the window's DISPATCH as the callback message (default 0x8002) with the
// mouse message in lParam.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/notifyicon.h"
#include "platform/runtime/object.h"

namespace lib {

inline constexpr uint32_t kTrayDefaultMessage = 0x8002;
// The tip (UTF-8) reaches the tray cut to at most this many bytes, at a
// character boundary.
inline constexpr size_t kTrayTipLength = 63;

class VellTrayObject : public rt::Object {
    QZ_OBJECT(VellTrayObject)
public:
    VellTrayObject() = default;
    ~VellTrayObject() override;

    // INIT(window, icon, tool tip, message).
    void Init(rt::Args args);
    void Init(std::initializer_list<rt::Usual> args) { Init(rt::Args(args.begin(), args.size())); }
    void Show();
    void Hide();
    void Refresh();
    void Destroy();
    void Axit() override { Destroy(); }

    rt::Usual Window() const { return window_; }
    rt::Usual SetWindow(const rt::Usual& window);
    rt::Usual Icon() const { return icon_; }
    rt::Usual SetIcon(const rt::Usual& icon);
    rt::Usual ToolTip() const { return tip_; }
    rt::Usual SetToolTip(const rt::Usual& text);
    int64_t Message() const { return message_; }
    int64_t SetMessage(const rt::Usual& number);
    bool IsVisible() const { return visible_; }

    // The record as it stands (nullptr after DESTROY).
    const gui::NOTIFYICONDATAA* Record() const { return record_.get(); }

private:
    rt::Usual window_, icon_, tip_;
    std::unique_ptr<gui::NOTIFYICONDATAA> record_;
    bool visible_ = false;
    uint32_t message_ = kTrayDefaultMessage;
};

}  // namespace lib

namespace lib {
// Registers VELLTRAYOBJECT, VELLTIMERCONTROL, the splash screens, the
// timer classes, APP and the box classes (TEXTBOX, WARNINGBOX) for late
// binding; call once at start.
void RegisterWindowSideClasses();
}  // namespace lib
