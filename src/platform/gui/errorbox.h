// The runtime's error message box as a Qt dialog, and the hooks that put it
// (and the tones) in place of the runtime's stderr defaults.
//
// The dialog offers one button per non-zero value it is given:
//   default value -> "Ignore" (go on with the default or an empty result;
//                    "OK" when it is the only button)
//   retry value   -> "Retry"
//   abort value   -> "Abort" when the value is the break value (a recovery
//                    scope takes over), "Quit" otherwise (the program ends)
// and returns the value of the button pressed. Closing the dialog without a
// button (Escape, the window's close button) answers the default value when
// there is one, else the abort value.
//
// With the test hooks on, no dialog is shown: the box is recorded among the
// message boxes (caption, text, and a type made of the icon, MB_ICONHAND
// for "ERROR" and MB_ICONEXCLAMATION otherwise, and the Win32 button set
// closest to the buttons offered: MB_ABORTRETRYIGNORE, MB_RETRYCANCEL,
// MB_OKCANCEL or MB_OK), and the next scripted answer is taken as a Win32
// button id: IDIGNORE or IDOK for the default, IDRETRY for retry, IDABORT or
// IDCANCEL for abort. Without a script, or with an answer naming a button
// that is not offered, the box answers as if closed.
#pragma once

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QPushButton;

namespace gui {

struct ErrorBoxButton {
    int id;             // IDIGNORE, IDRETRY or IDABORT
    std::string label;  // with its "&" accelerator
    uint32_t value;
};

// The buttons offered for the three values, left to right.
std::vector<ErrorBoxButton> ErrorBoxButtons(uint32_t defaultValue, uint32_t retryValue, uint32_t abortValue);

class ErrorDialog : public QDialog {
public:
    ErrorDialog(const std::string& text, const std::string& caption, uint32_t defaultValue, uint32_t retryValue,
                uint32_t abortValue, QWidget* parent = nullptr);

    // The value of the button pressed, or the closing answer.
    uint32_t Choice() const { return choice_; }
    // The button of a Win32 id (IDIGNORE, IDRETRY, IDABORT); nullptr when
    // it is not offered.
    QPushButton* Button(int id) const;
    // The message as shown (line ends made plain).
    QString Message() const;

    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::vector<std::pair<int, QPushButton*>> buttons_;
    uint32_t choice_ = 0;
    uint32_t closeValue_ = 0;
    QString message_;
};

// The runtime's error message box (rt::ErrorMessageBox) on the GUI.
uint32_t ShowErrorBox(const std::string& text, const std::string& caption, uint32_t defaultValue, uint32_t retryValue,
                      uint32_t abortValue);

// Makes rt::ErrorMessageBox show ShowErrorBox and rt::Tone sound the
// desktop's bell. Called when the Qt application is made.
void InstallErrorBoxHooks();

}  // namespace gui
