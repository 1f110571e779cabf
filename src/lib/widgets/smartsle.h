// SmartSLE: a single-line edit that empties itself on its first printable
// key and moves the focus to the next SmartSLE of its window on Enter.
#pragma once

#include "platform/gui/control.h"

namespace lib {

class SmartSLE : public gui::SingleLineEdit {
    QZ_OBJECT(SmartSLE)
public:
    SmartSLE() = default;
    // Moves the focus to the control after this one (by name, in creation
    // order, wrapping) when that is a SmartSLE, with its text selected.
    void NEXTSLE();
    void KEYDOWN(const gui::KeyEvent& e);
    void KEYUP(const gui::KeyEvent& e);
    bool Dispatch(gui::Event& event) override;
    bool LEMPTIED = false;
};

}  // namespace lib
