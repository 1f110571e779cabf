// NEWDATADIALOG, NEWDATAWINDOW and NEWDIALOGWINDOW: windows that tell the
// control under the mouse when the mouse enters or leaves it, by sending it
// MOUSEENTER and MOUSEEXIT (late-bound, to whichever control class has
// them: the hyperlink text among others).
#pragma once

#include "platform/gui/datawindow.h"
#include "platform/gui/dialogwindow.h"

namespace lib {

// The tracking state of one window: the last control under the mouse and
// the flag that keeps a notice from starting another.
class MouseTracker {
public:
    // For mouse move, hit-test and set-cursor messages: finds the object
    // under the cursor and sends the notices when it changed.
    void Track(const gui::Event& event);
    // Mouse moves are reported without a button held too, for the surface
    // and every control of the window.
    static void EnableMoves(gui::Window& window);
    const rt::Usual& Last() const { return last_; }

private:
    rt::Usual last_;
    bool tracking_ = false;
};

class NewDataDialog : public gui::DataDialog {
    QZ_OBJECT(NewDataDialog)
public:
    NewDataDialog() = default;
    bool Dispatch(gui::Event& event) override;
    void Show(int64_t mode = 0) override;
    MouseTracker tracker;
};

class NewDataWindow : public gui::DataWindow {
    QZ_OBJECT(NewDataWindow)
public:
    NewDataWindow() = default;
    bool Dispatch(gui::Event& event) override;
    void Show(int64_t mode = 0) override;
    MouseTracker tracker;
};

class NewDialogWindow : public gui::DialogWindow {
    QZ_OBJECT(NewDialogWindow)
public:
    NewDialogWindow() = default;
    bool Dispatch(gui::Event& event) override;
    void Show(int64_t mode = 0) override;
    MouseTracker tracker;
};

}  // namespace lib
