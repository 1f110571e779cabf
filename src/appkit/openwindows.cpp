#include "appkit/openwindows.h"

#include "platform/gui/window.h"

namespace appkit {

gui::Window* OpenWindowOf(const char* className, const gui::Window* owner) {
    const rt::Symbol cls(className);
    for (const std::shared_ptr<gui::Window>& w : gui::OpenWindows()) {
        if (!w->IsOpen() || (owner && w->OwnerWindow() != owner)) continue;
        if (rt::IsInstanceOf(rt::Usual(std::static_pointer_cast<rt::Object>(w)), cls)) return w.get();
    }
    return nullptr;
}

}  // namespace appkit
