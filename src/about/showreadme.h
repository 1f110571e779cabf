// The read-me viewer: the text of "Ostrello.txt" in one large rich-text
// field, opened at its end. Read-only, unless the workstation carries the
// marker file C:\QUORVEX.TXT; then the text can be edited and OK saves it
// back.
#pragma once

#include <memory>
#include <string>

#include "platform/gui/control.h"
#include "platform/gui/datawindow.h"

namespace about {

inline constexpr const char* kReadmeFile = "Ostrello.txt";
inline constexpr const char* kMarkerFile = "c:\\QUORVEX.TXT";
// Shown in place of a missing read-me, after an empty first line.
inline constexpr const char* kNoNotes = "There are no additional notes for the version of Ostrello that you are using.";

// A data dialog from the template ShowReadMe. INIT(owner, control id, data
// server, extra value).
class ShowReadme : public gui::DataDialog {
    QZ_OBJECT(ShowReadme)
public:
    ShowReadme() = default;
    void Build(rt::Args args) override;
    void PostInit(rt::Args args) override;

    // Moves the caret to the end of the text and scrolls it into view, once
    // the window has processed its pending events (it is posted).
    void POS2ENDOFMEMO();
    // Saves the text back when allowed, then closes the window.
    void PBOKAY();

    bool SaveAllowed() const { return save_; }
    gui::RichEdit* Editor() const { return richEdit_.get(); }
    gui::PushButton* OkButton() const { return okButton_.get(); }

private:
    std::shared_ptr<gui::RichEdit> richEdit_;
    std::shared_ptr<gui::PushButton> okButton_;
    bool save_ = false;
    // How the text was read, so that a save writes it back the same way.
    bool crlf_ = true;
    bool latin1_ = false;
};

}  // namespace about
