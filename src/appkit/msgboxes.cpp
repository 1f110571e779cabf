#include "appkit/msgboxes.h"

#include "platform/gui/msgbox.h"

namespace appkit {

int QZYesNoBox(const std::string& caption, const std::string& text) {
    constexpr uint32_t kType = gui::MB_YESNO | gui::MB_ICONQUESTION | gui::MB_DEFBUTTON2 | gui::MB_TASKMODAL |
                               gui::MB_TOPMOST;  // 0x42124
    return gui::ShowMessageBox(nullptr, caption, text, kType);
}

bool QZProceed(const std::string& caption, const std::string& text) { return QZYesNoBox(caption, text) == gui::IDYES; }

bool QZContinue(const std::string& caption, const std::string& text) {
    while (QZYesNoBox(caption, text) != gui::IDYES) {
    }
    return true;
}

}  // namespace appkit
