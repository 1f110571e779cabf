// The about box of the shell window ("&About", command HELPABOUTNEW): the
// badge, the maker's name and contact lines, the application title as its
// caption, and the path of the scan data file the program uses.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/control.h"
#include "platform/gui/dialogwindow.h"

namespace about {

// The maker's lines of the about text.
inline constexpr const char* kMakerName = "Quorvex Systems";
inline constexpr const char* kMakerLocation = "Kettering, Northamptonshire";
inline constexpr const char* kMakerTelephone = "Tel. 01632 960418";
inline constexpr const char* kMakerEmail = "info@quorvex.co.uk";

// A carriage return, then the three lines, each indented by three spaces
// and separated by carriage returns only: name, location, telephone and
// e-mail.
std::string AboutText();

// "Program Data Source", CR LF, then the scan data file's path.
std::string DataSourceText();

// A modal dialog from the template HelpAboutNew. INIT(owner, extra value)
// builds it, then POSTINIT fills its texts and shows it centred.
class HelpAboutNew : public gui::DialogWindow {
    QZ_OBJECT(HelpAboutNew)
public:
    HelpAboutNew() = default;
    void Build(rt::Args args) override;
    void PostInit(rt::Args args) override;

    // Closes the dialog (the OK button).
    void PBOKAY();
    // Opens the read-me viewer over the about box (the "Notes" button).
    void PBREADME();

    gui::FixedText* AboutTextControl() const { return aboutText_.get(); }
    gui::FixedText* DataSourceControl() const { return dataSource_.get(); }
    gui::FixedBitmap* Badge() const { return badge_.get(); }
    gui::PushButton* OkButton() const { return okButton_.get(); }

private:
    std::shared_ptr<gui::FixedText> aboutText_;
    std::shared_ptr<gui::PushButton> okButton_;
    std::shared_ptr<gui::FixedBitmap> badge_;
    std::shared_ptr<gui::FixedText> dataSource_;
    std::shared_ptr<gui::PushButton> notesButton_;
};

}  // namespace about
