// A plain Qt object linked to a runtime object whose DISPATCH records the
// messages it is given: a window as far as the message layer can tell.
#pragma once

#include <QObject>

#include <memory>
#include <thread>
#include <vector>

#include "platform/gui/event.h"
#include "platform/gui/handles.h"

struct Seen {
    uint32_t msg;
    uint64_t wParam;
    int64_t lParam;
};

class Recorder : public rt::Object {
    QZ_OBJECT(Recorder)
public:
    std::vector<Seen> seen;
    rt::Usual answer = rt::Usual(int64_t{0});
    std::thread::id ranOn;
};

inline const rt::ClassDef& Recorder::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<Recorder>("TESTRECORDER")
                                       .RawMethod("DISPATCH",
                                                  [](rt::Object& o, rt::Args a) {
                                                      auto& r = static_cast<Recorder&>(o);
                                                      auto* e = dynamic_cast<gui::Event*>(a[0].AsObject().get());
                                                      r.seen.push_back({e->uMsg, e->wParam, e->lParam});
                                                      r.ranOn = std::this_thread::get_id();
                                                      return r.answer;
                                                  })
                                       .Done();
    return c;
}

// A "window": a widget stand-in with its object.
struct FakeWindow {
    FakeWindow() : widget(std::make_unique<QObject>()), object(rt::New<Recorder>()) {
        gui::LinkHandle(widget.get(), object);
        handle = gui::HandleOf(widget.get());
    }
    std::unique_ptr<QObject> widget;
    std::shared_ptr<Recorder> object;
    gui::HWND handle = 0;
};
