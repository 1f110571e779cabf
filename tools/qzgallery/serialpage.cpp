#include "tools/qzgallery/serialpage.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cstdio>

#include "platform/gui/messages.h"
#include "platform/gui/resource.h"
#include "platform/runtime/numbers.h"

namespace gallery {
namespace {

using namespace gui;

void Button(SerialPage& page, int id, const char* name) {
    gui::MakeControl<gui::PushButton>(page, id)->SetName(rt::Symbol(name));
}

}  // namespace

std::string ShowBytes(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c == '\r') out += "<CR>";
        else if (c == '\n') out += "<LF>";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<%02X>", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

const rt::ClassDef& SerialPage::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<SerialPage>("GALLERYSERIALPAGE", &gui::Window::StaticClass())
            .Method<&SerialPage::PBMAKEPTY>("PBMAKEPTY")
            .Method<&SerialPage::PBOPEN>("PBOPEN")
            .Method<&SerialPage::PBCLOSE>("PBCLOSE")
            .Method<&SerialPage::PBSEND>("PBSEND")
            .Method<&SerialPage::PBDEVICESEND>("PBDEVICESEND")
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* e = gui::EventArg(a);
                           return rt::Usual(e ? static_cast<SerialPage&>(o).DispatchMessage(*e) : int64_t{1});
                       })
            .Done();
    return c;
}

void RegisterSerialPage() {
    const uint32_t kEdit = kStyleBorder | kStyleTabStop | kStyleAutoHScroll | kStyleClientEdge;
    const uint32_t kButton = kStylePushButton | kStyleTabStop;
    DialogTemplate t;
    t.name = "GallerySerial";
    t.cx = 300;
    t.cy = 196;
    t.childForm = true;
    t.items = {
        {100, "button", "Port", 4, 4, 292, 58, kStyleGroupBox},
        {101, "edit", "COM1", 10, 17, 120, 12, kEdit},
        {102, "button", "Make a pty", 136, 16, 60, 14, kButton},
        {103, "static", "Baud", 10, 35, 20, 12, kStyleLeft},
        {104, "edit", "9600", 32, 33, 50, 12, kEdit},
        {105, "button", "Open", 136, 32, 60, 14, kButton},
        {106, "button", "Close", 202, 32, 60, 14, kButton},
        {107, "static", "Closed", 10, 48, 280, 12, kStyleLeft},
        {110, "button", "Send (WRITE)", 4, 66, 292, 30, kStyleGroupBox},
        {111, "edit", "hello scanner", 10, 78, 190, 12, kEdit},
        {112, "button", "Send + CR", 206, 77, 56, 14, kButton},
        {120, "button", "Received (WM_COMMNOTIFY, then READ)", 4, 100, 292, 28, kStyleGroupBox},
        {121, "static", "", 10, 112, 280, 12, kStyleLeft},
        {130, "button", "The device's end of the pty", 4, 132, 292, 60, kStyleGroupBox},
        {131, "edit", "4006381333931", 10, 145, 190, 12, kEdit},
        {132, "button", "Device + CR", 206, 144, 56, 14, kButton},
        {133, "static", "", 10, 164, 280, 24, kStyleLeft},
    };
    RegisterDialog(t);
    SerialPage::StaticClass();
}

const gui::DialogTemplate* SerialPage::Template() const { return FindDialog("GallerySerial"); }

SerialPage::~SerialPage() {
    if (serial_) serial_->Close();
    delete farSide_;
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
}

void SerialPage::Build(rt::Args args) {
    gui::Window::Build(args);
    if (const DialogTemplate* t = Template()) {
        Widget()->setFont(DialogFont(*t));
        Widget()->setMinimumSize(DialogUnitsToPixels(*t, 0, 0, t->cx, t->cy).size());
    }
    SetCaption("Serial port");
    for (int id : {100, 110, 120, 130}) gui::MakeControl<gui::GroupBox>(*this, id);
    gui::MakeControl<gui::FixedText>(*this, 103);
    portEdit_ = gui::MakeControl<gui::SingleLineEdit>(*this, 101);
    baudEdit_ = gui::MakeControl<gui::SingleLineEdit>(*this, 104);
    statusText_ = gui::MakeControl<gui::FixedText>(*this, 107);
    sendEdit_ = gui::MakeControl<gui::SingleLineEdit>(*this, 111);
    receivedText_ = gui::MakeControl<gui::FixedText>(*this, 121);
    deviceEdit_ = gui::MakeControl<gui::SingleLineEdit>(*this, 131);
    deviceText_ = gui::MakeControl<gui::FixedText>(*this, 133);
    Button(*this, 102, "PBMAKEPTY");
    Button(*this, 105, "PBOPEN");
    Button(*this, 106, "PBCLOSE");
    Button(*this, 112, "PBSEND");
    Button(*this, 132, "PBDEVICESEND");
    serial_ = rt::New<lib::Serial>();
    const rt::Usual owner[] = {rt::Usual(Self())};
    serial_->Init(rt::Args(owner, 1));
    deviceText_->SetCaption("Device got: (no pty yet)");
}

void SerialPage::Status(const std::string& text) { statusText_->SetCaption(text); }

void SerialPage::PBMAKEPTY() {
    if (master_ < 0) {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            Status("openpty failed");
            return;
        }
        termios t{};
        ::tcgetattr(slave_, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave_, TCSANOW, &t);
        portEdit_->SetTextValue(name);
        farSide_ = new QSocketNotifier(master_, QSocketNotifier::Read);
        QObject::connect(farSide_, &QSocketNotifier::activated, [this] { FarSideReadable(); });
    }
    deviceText_->SetCaption("Device got: " + ShowBytes(deviceGot_));
}

void SerialPage::FarSideReadable() {
    char buf[512];
    const ssize_t n = ::read(master_, buf, sizeof buf);
    if (n > 0) deviceGot_.append(buf, static_cast<size_t>(n));
    if (deviceGot_.size() > 200) deviceGot_.erase(0, deviceGot_.size() - 200);
    deviceText_->SetCaption("Device got: " + ShowBytes(deviceGot_));
}

void SerialPage::PBOPEN() {
    if (!serial_->Open(portEdit_->TextValue())) {
        Status(serial_->ErrorDesc() + " (code " + serial_->ErrorCode() + ")");
        return;
    }
    const rt::Usual baud = serial_->SetBaud(std::atoll(baudEdit_->TextValue().c_str()));
    const bool set = serial_->SetProtocol();
    serial_->EnableEvents(os::EV_RXCHAR);
    Status("Open: " + rt::AsString(baud) + " baud, 8 data bits, no parity, 1 stop bit" +
           (set ? "" : "; " + serial_->ErrorDesc() + " (code " + serial_->ErrorCode() + ")"));
}

void SerialPage::PBCLOSE() { Status(serial_->Close() ? "Closed" : "Not open"); }

void SerialPage::PBSEND() {
    const std::string text = sendEdit_->TextValue() + "\r";
    const uint32_t n = serial_->Write(text);
    Status("WRITE: " + std::to_string(n) + " of " + std::to_string(text.size()) + " bytes" +
           (n == text.size() ? "" : "; " + serial_->ErrorDesc()));
}

void SerialPage::PBDEVICESEND() {
    if (master_ < 0) PBMAKEPTY();
    const std::string text = deviceEdit_->TextValue() + "\r";
    if (::write(master_, text.data(), text.size()) < 0) Status("the device end could not write");
}

int64_t SerialPage::DispatchMessage(gui::Event& event) {
    if (event.uMsg == gui::WM_COMMNOTIFY) {
        ++notifications_;
        const uint32_t pending = serial_->ReceiverPending();
        if (pending) received_ += serial_->Read(pending);
        if (received_.size() > 200) received_.erase(0, received_.size() - 200);
        receivedText_->SetCaption(std::to_string(notifications_) + " WM_COMMNOTIFY: " + ShowBytes(received_));
        return 0;
    }
    return gui::Window::Dispatch(event) ? 1 : 0;
}

}  // namespace gallery
