#include "lib/system/velltrayobject.h"

#include <algorithm>
#include <cstring>

#include "lib/system/rytimer.h"
#include "lib/system/selfmethod.h"
#include "lib/system/splash.h"
#include "lib/system/velltimercontrol.h"
#include "platform/gui/app.h"
#include "platform/gui/msgbox.h"
#include "platform/runtime/text.h"

namespace lib {
namespace {

const rt::Symbol kHandle("HANDLE");

uint32_t HandleOfObject(const rt::Usual& o) {
    if (!rt::IsAccess(o, kHandle) && !rt::IsMethod(o, kHandle)) return 0;
    rt::Usual h = rt::IsAccess(o, kHandle) ? rt::IVarGet(o, kHandle) : rt::Send(o, kHandle);
    return static_cast<uint32_t>(h.AsLong());
}

}  // namespace

const rt::ClassDef& VellTrayObject::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<VellTrayObject>("VELLTRAYOBJECT")
                                       .RawMethod("INIT",
                                                  [](rt::Object& o, rt::Args a) {
                                                      static_cast<VellTrayObject&>(o).Init(a);
                                                      return rt::Usual(o.Self());
                                                  })
                                       .RawMethod("SHOW", AnswerSelf<&VellTrayObject::Show>())
                                       .RawMethod("HIDE", AnswerSelf<&VellTrayObject::Hide>())
                                       .RawMethod("REFRESH", AnswerSelf<&VellTrayObject::Refresh>())
                                       .RawMethod("DESTROY", AnswerSelf<&VellTrayObject::Destroy>())
                                       .RawMethod("AXIT", AnswerSelf<&VellTrayObject::Destroy>())
                                       .Access<&VellTrayObject::Window>("WINDOW")
                                       .Assign<&VellTrayObject::SetWindow>("WINDOW")
                                       .Access<&VellTrayObject::Window>("OWNER")
                                       .Assign<&VellTrayObject::SetWindow>("OWNER")
                                       .Access<&VellTrayObject::Icon>("ICON")
                                       .Assign<&VellTrayObject::SetIcon>("ICON")
                                       .Access<&VellTrayObject::ToolTip>("TOOLTIP")
                                       .Assign<&VellTrayObject::SetToolTip>("TOOLTIP")
                                       .Access<&VellTrayObject::Message>("MESSAGE")
                                       .Assign<&VellTrayObject::SetMessage>("MESSAGE")
                                       .Access<&VellTrayObject::IsVisible>("ISVISIBLE")
                                       .Done();
    return c;
}

VellTrayObject::~VellTrayObject() {
    // An object that goes without DESTROY (no finaliser ran) leaves no icon
    // behind in the tray.
    if (visible_ && record_) gui::Shell_NotifyIconA(gui::NIM_DELETE, record_.get());
}

void VellTrayObject::Init(rt::Args args) {
    auto arg = [&](size_t i) { return i < args.size() ? args[i] : rt::Usual(); };
    visible_ = false;
    record_ = std::make_unique<gui::NOTIFYICONDATAA>();
    record_->cbSize = sizeof(gui::NOTIFYICONDATAA);
    record_->uFlags = gui::NIF_ICON | gui::NIF_TIP | gui::NIF_MESSAGE;
    const rt::Usual window = arg(0);
    if (window.IsObject() && (rt::IsMethod(window, kHandle) || rt::IsAccess(window, kHandle))) {
        SetWindow(window);
        SetIcon(rt::IsInstanceOf(arg(1), rt::Symbol("ICON")) ? arg(1) : rt::IVarGet(window, rt::Symbol("ICON")));
        SetToolTip(arg(2).IsString() ? arg(2) : rt::IVarGet(window, rt::Symbol("CAPTION")));
        SetMessage(arg(3).IsNumeric() ? arg(3) : rt::Usual(int64_t{kTrayDefaultMessage}));
    }
    RegisterAxit();
}

void VellTrayObject::Show() {
    if (!record_) return;  // destroyed
    if (visible_) {
        gui::Shell_NotifyIconA(gui::NIM_MODIFY, record_.get());
    } else {
        gui::Shell_NotifyIconA(gui::NIM_ADD, record_.get());
        visible_ = true;
    }
}

void VellTrayObject::Hide() {
    if (!visible_ || !record_) return;
    gui::Shell_NotifyIconA(gui::NIM_DELETE, record_.get());
    if (!rt::InCollect()) visible_ = false;
}

void VellTrayObject::Refresh() {
    if (visible_) Show();
}

void VellTrayObject::Destroy() {
    if (visible_) {
        Hide();
        visible_ = false;  // the icon is gone with the record, also in a collection
    }
    record_.reset();
    if (!rt::InCollect()) UnRegisterAxit();
}

rt::Usual VellTrayObject::SetWindow(const rt::Usual& window) {
    if (rt::IsInstanceOf(window, rt::Symbol("WINDOW"))) {
        window_ = window;
        if (record_) record_->hWnd = HandleOfObject(window);
    } else {
        Hide();
        window_ = rt::Usual();
        if (record_) record_->hWnd = 0;
    }
    Refresh();
    return window_;
}

rt::Usual VellTrayObject::SetIcon(const rt::Usual& icon) {
    if (rt::IsInstanceOf(icon, rt::Symbol("ICON"))) {
        icon_ = icon;
        if (record_) {
            record_->uFlags |= gui::NIF_ICON;
            record_->hIcon = HandleOfObject(icon);
        }
    } else {
        icon_ = rt::Usual();
        if (record_) record_->uFlags &= ~uint32_t{gui::NIF_ICON};
    }
    Refresh();
    return icon_;
}

rt::Usual VellTrayObject::SetToolTip(const rt::Usual& text) {
    if (text.IsString()) {
        tip_ = text;
        if (record_) {
            record_->uFlags |= gui::NIF_TIP;
            const std::string& t = text.AsStr();
            const size_t n = rt::Utf8Cut(t, kTrayTipLength);  // whole characters only
            std::memcpy(record_->szTip, t.data(), n);
            record_->szTip[n] = '\0';
        }
    } else {
        tip_ = rt::Usual();
        if (record_) {
            record_->szTip[0] = '\0';
            record_->uFlags &= ~uint32_t{gui::NIF_TIP};
        }
    }
    Refresh();
    return tip_;
}

int64_t VellTrayObject::SetMessage(const rt::Usual& number) {
    message_ = number.IsNumeric() ? static_cast<uint32_t>(number.AsLong()) : kTrayDefaultMessage;
    if (record_) record_->uCallbackMessage = message_;
    Refresh();
    return message_;
}

}  // namespace lib

namespace lib {
void RegisterWindowSideClasses() {
    RegisterTimerClasses();
    gui::App::StaticClass();
    gui::TextBox::StaticClass();
    gui::WarningBox::StaticClass();
    VellTrayObject::StaticClass();
    VellTimerControl::StaticClass();
    SplashScreen::StaticClass();
    QZSPLASH::StaticClass();
}
}  // namespace lib
