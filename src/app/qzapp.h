// The application object: start-up, the application title, and the key
// routing that hands every key press to the scanning screen first.
#pragma once

#include "platform/gui/app.h"

namespace app {

class QZApp : public gui::App {
    QZ_OBJECT(QZApp)
public:
    QZApp() = default;

    // Makes the process-wide settings and directories, makes sure the scan
    // data file exists, shows the shell window and runs the message loop;
    // then ends the process.
    [[noreturn]] void START();
    // Everything START does before the message loop; returns the shell
    // window (tests drive it from here).
    rt::Usual Startup();
    // Appends the application title to the settings list.
    void INITIALIZE();
    // Hands a key press to the ONFUNCTIONKEY method of the window that holds
    // the focused control, when it has one; its answer decides.
    bool BeforeDispatch(uintptr_t hWnd, uint32_t message, uint64_t wParam, int64_t lParam) override;
};

}  // namespace app
