// The gallery's entry-controls page: numeric, date and time fields, the
// icon buttons enabled and disabled, a hyperlink and blinking texts.
#pragma once

#include <memory>

#include "lib/controls/rightsle.h"
#include "platform/gui/window.h"

namespace gallery {

class ControlsPage : public gui::Window {
    QZ_OBJECT(ControlsPage)
public:
    ControlsPage() = default;
    void PostInit(rt::Args args) override;
    lib::RightSle* Amount() const { return amount_.get(); }
    lib::DateSle* DateField() const { return date_.get(); }

private:
    std::shared_ptr<lib::RightSle> amount_, time_;
    std::shared_ptr<lib::DateSle> date_;
};

}  // namespace gallery
