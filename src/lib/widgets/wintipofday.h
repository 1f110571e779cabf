// WinTipOfDay: the "Tip of the Day" dialog. It shows one tip (a heading and
// a text) at a time from an array of {heading, text, show-more flag} or from
// a data server (a table or an ArrayServer with the fields HEADING, TIPTEXT
// and SHOWMORE), pages forward and back, offers "More information" per tip
// and carries the "Show Tips on startup" check box whose state the caller
// keeps.
#pragma once

#include "platform/gui/control.h"
#include "platform/gui/dialogwindow.h"

class QCheckBox;

namespace lib {

// A check box control (the dialog's "Show Tips on startup").
class CheckBox : public gui::Control {
    QZ_OBJECT(CheckBox)
public:
    CheckBox() = default;
    QWidget* MakeWidget(QWidget* parent) override;
    QCheckBox* Box() const;
    bool Checked() const;
    bool SetChecked(bool on);
    std::string Caption() const override;
    std::string SetCaption(const std::string& text) override;
};

class WinTipOfDay : public gui::DialogWindow {
    QZ_OBJECT(WinTipOfDay)
public:
    WinTipOfDay() = default;
    void Build(rt::Args args) override;

    // Moves to the next tip, gives Close the focus, shows the dialog.
    void Show(int64_t mode = 0) override;
    void NEXTTIP();
    void PREVIOUSTIP();
    void LOADTIP();
    void PBNEXT() { NEXTTIP(); }
    void PBPREVIOUS() { PREVIOUSTIP(); }
    void PBMORE();
    // Nothing here; a subclass shows more about the current tip.
    virtual void MOREINFO() {}
    void PBCLOSE() { EndDialog(0); }
    void Close() override;

    bool ShowOnStartup() const;
    bool SetShowOnStartup(bool on);

    rt::Usual TIP;        // the tips: an array or a data server
    int64_t LASTTIP = 0;  // the tip shown last (array position or record number)
    bool CLOSESERVER = false;

    std::shared_ptr<gui::PushButton> pbPrevious, pbNext, pbClose, pbMore;
    std::shared_ptr<gui::FixedText> backdrop, heading;
    std::shared_ptr<gui::FixedBitmap> bulb;
    std::shared_ptr<gui::RichEdit> tipText;
    std::shared_ptr<CheckBox> showOnStartup;

private:
    bool IsServer() const;
    int64_t TipCount() const;
    // The heading, text and show-more flag of the current tip.
    void CurrentTip(std::string& head, std::string& text, bool& more) const;
};

// The dialog template "WinTipOfDay".
void RegisterTipOfDayTemplate();

}  // namespace lib
