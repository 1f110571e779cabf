// The pop-up calculator: a modal dialog laid out from the template
// "_POPUPCALC" (PopupCalcLayout: controls, fonts, colours), its behaviour
// (PopupCalc: the buttons, the keyboard, SAVE/EXIT) over CalcEngine, and
// the display edit that turns keystrokes into calculator commands.
#pragma once

#include <memory>
#include <string>

#include "lib/controls/calcengine.h"
#include "lib/controls/settingsscope.h"
#include "platform/gui/control.h"
#include "platform/gui/dialogwindow.h"

namespace lib {

// The display: digits, the point and Backspace go to the edit (the dialog
// first clears a shown result), operators and "C" to the dialog, other
// characters nowhere; Enter is "=", Escape cancels.
class CalcSingleLineEdit : public gui::SingleLineEdit {
    QZ_OBJECT(CalcSingleLineEdit)
public:
    CalcSingleLineEdit() = default;
    bool Dispatch(gui::Event& event) override;
};

class PopupCalcLayout : public gui::DialogWindow {
    QZ_OBJECT(PopupCalcLayout)
public:
    PopupCalcLayout() = default;
    // INIT(owner, start text): the dialog of the template "_POPUPCALC".
    void Build(rt::Args args) override;
    CalcSingleLineEdit* Display() const { return display_.get(); }
    gui::FixedText* MemLabel() const { return memText_.get(); }
    gui::PushButton* ButtonNamed(const char* name) const;

protected:
    std::string TemplateName() const override { return "_POPUPCALC"; }

private:
    std::shared_ptr<CalcSingleLineEdit> display_;
    std::shared_ptr<gui::FixedText> memText_;
};

class PopupCalc : public PopupCalcLayout {
    QZ_OBJECT(PopupCalc)
public:
    PopupCalc() = default;
    // POSTINIT(owner, start text).
    void PostInit(rt::Args args) override;

    // The buttons (each also reachable by its control name).
    void Digit(char d);
    void BDOT();
    void BPLUSMINUS();
    void BCLEARENTRY();
    void BCLEAR();
    void INITCALC();
    void DOOPERATION(char c);
    void BMEM(char op);  // '+', '-', '*'
    void BMEMCLEAR();
    void BMEMRECALL();
    void SAVEEXITBUTTON();
    void QUITBUTTON();
    void AUTOCLEAR();

    bool Dispatch(gui::Event& event) override;
    void Close() override;

    const CalcEngine& Engine() const { return calc_; }
    // A paste into the display: a number replaces the entry, anything
    // else is refused with a beep.
    void Paste(const std::string& text);
    std::string DisplayText() const;
    std::string SEXPORT;

private:
    // Writes the engine's display and label to the controls, gives the
    // display the focus with the caret at the end.
    void Refresh();
    void EditChange();
    CalcEngine calc_;
    // The fixed and scientific settings are off while the dialog is open.
    std::unique_ptr<SettingsScope> settings_;
    bool inEditChange_ = false;
};

// Registers the template "_POPUPCALC".
void RegisterPopupCalcTemplate();

}  // namespace lib
