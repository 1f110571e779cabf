// The gallery's print page: lines of text, the margin, eject or not, and
// the port, through PrintQuick; shows the bytes the port was sent when the
// port is the page's own FIFO.
#pragma once

#include <memory>
#include <string>

#include "lib/system/printquick.h"
#include "platform/gui/control.h"
#include "platform/gui/window.h"

namespace gallery {

class PrintPage : public gui::Window {
    QZ_OBJECT(PrintPage)
public:
    PrintPage() = default;
    ~PrintPage() override;
    void Build(rt::Args args) override;
    const gui::DialogTemplate* Template() const override;

    void PBPRINT() { Print(true); }
    void PBPRINTNOEJECT() { Print(false); }
    void PBRESET();
    void Print(bool eject);

private:
    std::shared_ptr<gui::RichEdit> textEdit_;
    std::shared_ptr<gui::SingleLineEdit> marginEdit_, portEdit_;
    std::shared_ptr<gui::FixedText> statusText_, bytesText_;
    bool reset_ = false;
    std::string fifoDir_, fifo_;
};

void RegisterPrintPage();

}  // namespace gallery
