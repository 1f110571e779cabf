// The gallery's serial terminal: a port (a name, a device path, or a
// pseudo-terminal the page makes, whose far side it plays itself), the line
// settings, text to send, and the bytes received as WM_COMMNOTIFY arrives.
#pragma once

#include <memory>
#include <string>

#include "lib/system/serial.h"
#include "platform/gui/control.h"
#include "platform/gui/window.h"

class QSocketNotifier;

namespace gallery {

class SerialPage : public gui::Window {
    QZ_OBJECT(SerialPage)
public:
    SerialPage() = default;
    ~SerialPage() override;
    void Build(rt::Args args) override;
    const gui::DialogTemplate* Template() const override;

    void PBMAKEPTY();
    void PBOPEN();
    void PBCLOSE();
    void PBSEND();
    void PBDEVICESEND();
    int64_t DispatchMessage(gui::Event& event);

    lib::Serial* Port() const { return serial_.get(); }
    const std::string& Received() const { return received_; }
    int64_t Notifications() const { return notifications_; }

private:
    void Status(const std::string& text);
    void FarSideReadable();

    std::shared_ptr<lib::Serial> serial_;
    std::shared_ptr<gui::SingleLineEdit> portEdit_, baudEdit_, sendEdit_, deviceEdit_;
    std::shared_ptr<gui::FixedText> statusText_, receivedText_, deviceText_;
    std::string received_, deviceGot_;
    int64_t notifications_ = 0;
    int master_ = -1, slave_ = -1;
    QSocketNotifier* farSide_ = nullptr;
};

// Shows bytes as text, control bytes as <CR>, <LF>, <1B> ...
std::string ShowBytes(const std::string& bytes);

void RegisterSerialPage();

}  // namespace gallery
