// Message boxes with Win32 style type values and button identifiers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/runtime/object.h"

#include <QPointer>
#include <QWidget>

namespace gui {

// Gives the keyboard focus back after a box: the widget that had it when the
// box opened gets it again, and its window is activated again, so that the
// next key lands where it would have landed without the box (also without a
// window manager, which would otherwise leave the keyboard with no window).
// A caller that moves the focus after the box does so over this.
class FocusReturn {
public:
    FocusReturn();
    ~FocusReturn();
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    QPointer<QWidget> focus_;
};

enum BoxType : uint32_t {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONHAND = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONEXCLAMATION = 0x30,
    MB_ICONASTERISK = 0x40,
    MB_DEFBUTTON2 = 0x100,
    MB_DEFBUTTON3 = 0x200,
    MB_TASKMODAL = 0x2000,
    MB_TOPMOST = 0x40000,
};

enum ButtonId : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

// Shows a message box and returns the pressed button's identifier. Closing
// the box without a button gives Cancel where there is one, else the default.
int ShowMessageBox(QWidget* owner, const std::string& caption, const std::string& text, uint32_t type,
                   bool beep = false);

// The box classes: owner (a window object or nil), caption, text, type.
class TextBox : public rt::Object {
    QZ_OBJECT(TextBox)
public:
    TextBox() = default;
    TextBox(rt::Usual owner, std::string caption, std::string text, uint32_t type = MB_OK)
        : owner_(std::move(owner)), caption_(std::move(caption)), text_(std::move(text)), type_(type) {}
    void Init(rt::Usual owner, std::string caption, std::string text, rt::Usual type);
    int Show();
    bool Beep() const { return beep_; }
    bool SetBeep(bool on) { return beep_ = on; }
    uint32_t Type() const { return type_; }
    uint32_t SetType(uint32_t t) { return type_ = t; }

protected:
    virtual uint32_t DefaultIcon() const { return 0; }
    rt::Usual owner_;
    std::string caption_;
    std::string text_;
    uint32_t type_ = MB_OK;
    bool beep_ = false;
};

// A text box that carries the exclamation icon unless its type names another.
class WarningBox : public TextBox {
    QZ_OBJECT(WarningBox)
public:
    using TextBox::TextBox;
    WarningBox() = default;

protected:
    uint32_t DefaultIcon() const override { return MB_ICONEXCLAMATION; }
};

}  // namespace gui
