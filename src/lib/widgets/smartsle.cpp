#include "lib/widgets/smartsle.h"

#include <QLineEdit>
#include <QWidget>

#include "platform/gui/messages.h"
#include "platform/gui/window.h"

namespace lib {
namespace {

// The key of a key event: its character when it types one, else its code.
int64_t KeyOf(const gui::KeyEvent* e) {
    if (!e) return 0;
    return e->ASCIICHAR() != 0 ? e->ASCIICHAR() : e->charCode != 0 ? e->charCode : e->KEYCODE();
}

// A key that types a character: a letter of any script, not a control code.
bool Printable(const gui::KeyEvent& e) {
    const uint32_t c = e.ASCIICHAR() ? e.ASCIICHAR() : e.charCode;
    return c >= 32 && c != 127;
}

}  // namespace

const rt::ClassDef& SmartSLE::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<SmartSLE>("SMARTSLE", &gui::SingleLineEdit::StaticClass())
                                       .Method<&SmartSLE::NEXTSLE>("NEXTSLE")
                                       .RawMethod("KEYDOWN",
                                                  [](rt::Object& o, rt::Args a) {
                                                      if (auto* k = dynamic_cast<gui::KeyEvent*>(gui::EventArg(a)))
                                                          static_cast<SmartSLE&>(o).KEYDOWN(*k);
                                                      return rt::Usual();
                                                  })
                                       .RawMethod("KEYUP",
                                                  [](rt::Object& o, rt::Args a) {
                                                      if (auto* k = dynamic_cast<gui::KeyEvent*>(gui::EventArg(a)))
                                                          static_cast<SmartSLE&>(o).KEYUP(*k);
                                                      return rt::Usual();
                                                  })
                                       .IVar<&SmartSLE::LEMPTIED>("LEMPTIED")
                                       .Done();
    return c;
}

void SmartSLE::KEYDOWN(const gui::KeyEvent& e) {
    const int64_t key = KeyOf(&e);
    // A printable key (not a control combination) starts the field afresh.
    // The field is emptied before the key reaches the edit, so the key is
    // then its whole text (no blank is left standing beside it).
    if (key > 0 && Printable(e) && !e.control && !e.alt && !LEMPTIED) {
        LEMPTIED = true;
        SetTextValue("");
    }
}

void SmartSLE::KEYUP(const gui::KeyEvent& e) {
    if (KeyOf(&e) == 13) NEXTSLE();
}

void SmartSLE::NEXTSLE() {
    gui::Window* owner = Owner();
    if (!owner) return;
    const auto& controls = owner->Controls();
    gui::Control* next = nullptr;
    if (NameSym().Name().empty()) {
        // Without a name every unnamed control would match: the next field
        // is the one after this in the tab order.
        QWidget* w = Widget();
        for (QWidget* c = w ? w->nextInFocusChain() : nullptr; c && c != w && !next; c = c->nextInFocusChain()) {
            if (!(c->focusPolicy() & Qt::TabFocus) || !c->isEnabled() || !c->isVisibleTo(w->window())) continue;
            for (const auto& control : controls)
                if (control->Widget() == c || (control->Widget() && control->Widget()->isAncestorOf(c)))
                    next = control.get();
            if (!next) return;  // a widget of no control: the focus stays
        }
    } else {
        size_t pos = controls.size();
        for (size_t i = 0; i < controls.size() && pos == controls.size(); ++i)
            if (controls[i]->NameSym() == NameSym()) pos = i;
        if (pos == controls.size()) return;
        next = controls[pos + 1 < controls.size() ? pos + 1 : 0].get();
    }
    if (auto* sle = dynamic_cast<SmartSLE*>(next)) {
        if (QLineEdit* e = sle->Edit()) e->selectAll();
        sle->SetFocus();
    }
}

bool SmartSLE::Dispatch(gui::Event& event) {
    if (auto* k = dynamic_cast<gui::KeyEvent*>(&event)) {
        if (event.uMsg == gui::WM_KEYDOWN) KEYDOWN(*k);
        if (event.uMsg == gui::WM_KEYUP) KEYUP(*k);
    }
    return gui::SingleLineEdit::Dispatch(event);
}

}  // namespace lib
