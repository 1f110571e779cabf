// The application object: the message loop and the hook that sees every
// key press before it is dispatched.
#pragma once

#include <cstdint>

#include "platform/runtime/object.h"

class QApplication;
class QObject;

namespace gui {

class App : public rt::Object {
    QZ_OBJECT(App)
public:
    App();
    ~App() override;

    // Mode 0 runs the message loop until the window that quits on close has
    // closed (or QCoreApplication::exit is called) and returns the loop's
    // exit code. Mode 1 handles the messages and events pending now
    // (painting included) and returns 0.
    int64_t Exec(int64_t mode = 0);

    // Consulted for every key press before it is dispatched, with the handle
    // of the widget that has the key, the message (WM_KEYDOWN), the
    // virtual-key code and the long parameter. False swallows the key.
    virtual bool BeforeDispatch(uintptr_t hWnd, uint32_t message, uint64_t wParam, int64_t lParam);

    // The application object in charge now (the last one made), or nullptr.
    static App* Current();

private:
    QObject* filter_ = nullptr;
};

// Makes the QApplication for the process when there is none (arguments are
// kept for the life of the process).
QApplication& EnsureQtApplication(int argc = 0, char** argv = nullptr);

}  // namespace gui
