#include "platform/gui/msgboxa.h"

#include <QWidget>

#include <memory>

#include "platform/gui/handles.h"
#include "platform/gui/message.h"
#include "platform/gui/msgbox.h"

namespace gui {

int MessageBoxA(HWND owner, const std::string& text, const std::string& caption, uint32_t type) {
    if (IsGuiThread()) return ShowMessageBox(qobject_cast<QWidget*>(WidgetFromHandle(owner)), caption, text, type);
    struct Box {
        HWND owner;
        std::string text, caption;
        uint32_t type;
    };
    auto* box = new Box{owner, text, caption, type};
    const bool posted = PostToGuiThread(
        [](void* p) {
            const std::unique_ptr<Box> b(static_cast<Box*>(p));  // goes even when the box throws
            ShowMessageBox(qobject_cast<QWidget*>(WidgetFromHandle(b->owner)), b->caption, b->text, b->type);
        },
        box, [](void* p) { delete static_cast<Box*>(p); });
    if (!posted) {
        delete box;
        return 0;
    }
    return IDOK;
}

}  // namespace gui
