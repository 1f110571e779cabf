#include "lib/system/velltimercontrol.h"

#include <QWidget>

#include "lib/system/selfmethod.h"
#include "platform/gui/messages.h"
#include "platform/gui/window.h"

namespace lib {

const rt::ClassDef& VellTimerControl::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<VellTimerControl>("VELLTIMERCONTROL", &gui::FixedText::StaticClass())
            .RawMethod("INIT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<VellTimerControl&>(o).Init(a);
                           return rt::Usual(o.Self());
                       })
            .RawMethod("START", AnswerSelf<&VellTimerControl::Start>())
            .RawMethod("STOP", AnswerSelf<&VellTimerControl::Stop>())
            .Access<&VellTimerControl::Running>("RUNNING")
            .Access<&VellTimerControl::Timer>("TIMER")
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* e = gui::EventArg(a);
                           return rt::Usual(e ? static_cast<VellTimerControl&>(o).DispatchMessage(*e) : int64_t{1});
                       })
            .RawMethod("DESTROY", AnswerSelf<&VellTimerControl::Destroy>())
            .RawMethod("AXIT", AnswerSelf<&VellTimerControl::Axit>())
            .Done();
    return c;
}

void VellTimerControl::Init(rt::Args args) {
    auto arg = [&](size_t i) { return i < args.size() ? args[i] : rt::Usual(); };
    if (auto* owner = dynamic_cast<gui::Window*>(arg(0).AsObject().get()); owner && owner->Widget()) {
        Create(*owner, static_cast<int>(arg(1).AsLong()));
        if (auto* d = dynamic_cast<gui::Dimension*>(arg(3).AsObject().get()); d && Widget())
            Widget()->resize(static_cast<int>(d->Width), static_cast<int>(d->Height));
        if (arg(4).IsString()) SetCaption(arg(4).AsStr());
    }
    timer_ = rt::New<VellTimer>();
    const rt::Usual timerArgs[] = {rt::Usual(Self()), rt::Usual(int64_t{100})};
    timer_->Init(rt::Args(timerArgs, 2));
    Hide();
    RegisterAxit();
}

void VellTimerControl::Start() {
    if (timer_) timer_->Start();
}

void VellTimerControl::Stop() {
    if (timer_) timer_->Stop();
}

int64_t VellTimerControl::DispatchMessage(gui::Event& event) {
    if (event.uMsg == gui::WM_TIMER && timer_ && event.wParam == timer_->Id()) {
        static const rt::Symbol kOn("ONVELLTIMER");
        auto keep = Self();
        rt::Usual owner = OwnerObject();
        if (rt::IsMethod(owner, kOn)) {
            timer_->Stop();
            const rt::Usual args[] = {rt::Usual(Self())};
            rt::Usual again = rt::Send(owner, kOn, rt::Args(args, 1));
            if (!again.IsLogic() || again.AsLogic()) timer_->Start();
        }
        return 0;
    }
    return gui::FixedText::Dispatch(event) ? 1 : 0;
}

void VellTimerControl::Destroy() {
    Stop();
    gui::FixedText::Destroy();
}

void VellTimerControl::Axit() { Stop(); }

}  // namespace lib
