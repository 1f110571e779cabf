#include "tools/qzgallery/timerspage.h"

#include <cstdio>

#include "lib/system/splash.h"
#include "platform/gui/messages.h"
#include "platform/gui/resource.h"

namespace gallery {
namespace {

using namespace gui;

void Button(TimersPage& page, int id, const char* name) {
    gui::MakeControl<gui::PushButton>(page, id)->SetName(rt::Symbol(name));
}

std::string Seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f s", s);
    return buf;
}

// A client's line: its frequency, the period it really runs at (a record
// fires on every frequency x 10 + 1 ticks of 100 ms), its calls so far and
// the time to its next one.
std::string ClientLine(const char* name, double frequency, int64_t calls, double countdown) {
    auto record = rt::New<lib::RyTimedMethod>();
    record->SetTimerFrequency(rt::Usual(frequency));
    return std::string(name) + ", frequency " + Seconds(frequency) + " (sent every " +
           Seconds(static_cast<double>(record->PeriodTicks()) / 10.0) + "): called " + std::to_string(calls) +
           " times, next in " + Seconds(countdown);
}

constexpr double kClientAFrequency = 1.0, kClientBFrequency = 0.5;

const char* MouseName(int64_t msg) {
    switch (msg) {
        case WM_MOUSEMOVE: return "pointer over the icon";
        case WM_LBUTTONDOWN: return "left button down";
        case WM_LBUTTONUP: return "click (left button up)";
        case WM_LBUTTONDBLCLK: return "double click";
        case WM_RBUTTONDOWN: return "right button down";
        case WM_RBUTTONUP: return "context click (right button up)";
        case WM_RBUTTONDBLCLK: return "right double click";
        case WM_MBUTTONDOWN: return "middle button down";
        case WM_MBUTTONUP: return "middle click";
        default: return "mouse message";
    }
}

}  // namespace

const rt::ClassDef& CountingClient::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<CountingClient>("GALLERYCOUNTINGCLIENT")
                                       .Method<&CountingClient::RYTIMEREVENT>("RYTIMEREVENT")
                                       .Done();
    return c;
}

const rt::ClassDef& TimersPage::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<TimersPage>("GALLERYTIMERSPAGE", &gui::Window::StaticClass())
            .Method<&TimersPage::ONVELLTIMER>("ONVELLTIMER")
            .Method<&TimersPage::PBSTART>("PBSTART")
            .Method<&TimersPage::PBSTOP>("PBSTOP")
            .Method<&TimersPage::PBTRAYSHOW>("PBTRAYSHOW")
            .Method<&TimersPage::PBTRAYHIDE>("PBTRAYHIDE")
            .Method<&TimersPage::PBSPLASH>("PBSPLASH")
            .Method<&TimersPage::PBQZSPLASH>("PBQZSPLASH")
            .RawMethod("DISPATCH",
                       [](rt::Object& o, rt::Args a) {
                           gui::Event* e = gui::EventArg(a);
                           return rt::Usual(e ? static_cast<TimersPage&>(o).DispatchMessage(*e) : int64_t{1});
                       })
            .Done();
    return c;
}

void RegisterTimersPage() {
    const uint32_t kEdit = kStyleBorder | kStyleTabStop | kStyleAutoHScroll | kStyleClientEdge;
    const uint32_t kButton = kStylePushButton | kStyleTabStop;
    DialogTemplate t;
    t.name = "GalleryTimers";
    t.cx = 300;
    t.cy = 196;
    t.childForm = true;
    t.items = {
        {100, "button", "VellTimerControl (100 ms)", 4, 4, 292, 40, kStyleGroupBox},
        {101, "static", "Ticks: 0", 10, 18, 130, 12, kStyleLeft},
        {102, "button", "Start", 170, 17, 50, 14, kButton},
        {103, "button", "Stop", 226, 17, 50, 14, kButton},
        {104, "static", "", 280, 18, 8, 8, kStyleLeft},
        {110, "button", "RyTimerContainer: two clients", 4, 48, 292, 44, kStyleGroupBox},
        {111, "static", "", 10, 60, 280, 12, kStyleLeft},
        {112, "static", "", 10, 74, 280, 12, kStyleLeft},
        {120, "button", "VellTrayObject", 4, 96, 292, 56, kStyleGroupBox},
        {121, "edit", "QZScan gallery tray icon", 10, 109, 170, 12, kEdit},
        {122, "button", "Show / update", 184, 108, 56, 14, kButton},
        {123, "button", "Hide", 244, 108, 46, 14, kButton},
        {124, "static", "Tray: hidden", 10, 130, 280, 12, kStyleLeft},
        {130, "button", "Splash screens", 4, 156, 292, 36, kStyleGroupBox},
        {131, "button", "SplashScreen", 10, 170, 80, 14, kButton},
        {132, "button", "QZSPLASH", 96, 170, 80, 14, kButton},
    };
    RegisterDialog(t);
    CountingClient::StaticClass();
    TimersPage::StaticClass();
}

const gui::DialogTemplate* TimersPage::Template() const { return FindDialog("GalleryTimers"); }

void TimersPage::Build(rt::Args args) {
    gui::Window::Build(args);
    const DialogTemplate* t = Template();
    if (t) {
        Widget()->setFont(DialogFont(*t));
        Widget()->setMinimumSize(DialogUnitsToPixels(*t, 0, 0, t->cx, t->cy).size());
    }
    SetCaption("Timers and tray");
    SetIcon(rt::Usual(rt::New<gui::Icon>("__AAAICON")));
    for (int id : {100, 110, 120, 130}) gui::MakeControl<gui::GroupBox>(*this, id);
    tickText_ = gui::MakeControl<gui::FixedText>(*this, 101);
    Button(*this, 102, "PBSTART");
    Button(*this, 103, "PBSTOP");
    timer_ = rt::New<lib::VellTimerControl>();
    const rt::Usual init[] = {rt::Usual(Self()), rt::Usual(int64_t{104})};
    timer_->Init(rt::Args(init, 2));
    clientAText_ = gui::MakeControl<gui::FixedText>(*this, 111);
    clientBText_ = gui::MakeControl<gui::FixedText>(*this, 112);
    tipEdit_ = gui::MakeControl<gui::SingleLineEdit>(*this, 121);
    Button(*this, 122, "PBTRAYSHOW");
    Button(*this, 123, "PBTRAYHIDE");
    trayText_ = gui::MakeControl<gui::FixedText>(*this, 124);
    Button(*this, 131, "PBSPLASH");
    Button(*this, 132, "PBQZSPLASH");

    // The dispatcher's receiver is the first container of the run.
    container_ = rt::New<lib::RyTimerContainer>();
    container_->Init();
    clientA_ = rt::New<CountingClient>();
    clientB_ = rt::New<CountingClient>();
    container_->RegisterClient(
        std::vector<rt::Usual>{rt::Usual(clientA_), rt::Usual(rt::Symbol("RYTIMEREVENT")), kClientAFrequency});
    container_->RegisterClient(
        std::vector<rt::Usual>{rt::Usual(clientB_), rt::Usual(rt::Symbol("RYTIMEREVENT")), kClientBFrequency});

    tray_ = rt::New<lib::VellTrayObject>();
    const rt::Usual trayArgs[] = {rt::Usual(Self()), rt::Usual(), rt::Usual(tipEdit_->TextValue())};
    tray_->Init(rt::Args(trayArgs, 3));
    timer_->Start();
    ShowCounts();
}

void TimersPage::ShowCounts(bool counting) {
    tickText_->SetCaption("Ticks: " + std::to_string(ticks_) + (counting ? "" : " (stopped)"));
    const rt::Symbol m("RYTIMEREVENT");
    clientAText_->SetCaption(ClientLine("Client A", kClientAFrequency, clientA_->calls,
                                        container_->GetCountdown(rt::Usual(clientA_), rt::Usual(m))));
    clientBText_->SetCaption(ClientLine("Client B", kClientBFrequency, clientB_->calls,
                                        container_->GetCountdown(rt::Usual(clientB_), rt::Usual(m))));
    std::string tray = tray_->IsVisible() ? "Tray: shown" : "Tray: hidden";
    if (!lastTray_.empty()) tray += "; last: " + lastTray_;
    trayText_->SetCaption(tray);
}

bool TimersPage::ONVELLTIMER(const rt::Usual&) {
    ++ticks_;
    ShowCounts(true);  // the control stops its timer while this runs
    return true;
}

void TimersPage::PBSTART() {
    timer_->Start();
    ShowCounts();
}

void TimersPage::PBSTOP() {
    timer_->Stop();
    ShowCounts();
}

void TimersPage::SetTip(const std::string& text) { tipEdit_->SetTextValue(text); }

void TimersPage::PBTRAYSHOW() {
    tray_->SetToolTip(rt::Usual(tipEdit_->TextValue()));
    tray_->Show();
    ShowCounts();
}

void TimersPage::PBTRAYHIDE() {
    tray_->Hide();
    ShowCounts();
}

void TimersPage::PBSPLASH() {
    auto s = rt::New<lib::SplashScreen>();
    s->Init({rt::Usual(Self()), rt::Usual()});
    s->Show(0);
}

void TimersPage::PBQZSPLASH() {
    auto s = rt::New<lib::QZSPLASH>();
    s->Init({rt::Usual(Self()), rt::Usual()});
    s->Show(0);
}

int64_t TimersPage::DispatchMessage(gui::Event& event) {
    if (tray_ && event.uMsg == static_cast<uint32_t>(tray_->Message())) {
        lastTray_ = MouseName(event.lParam);
        std::printf("tray callback 0x%X wParam %llu lParam 0x%llX\n", event.uMsg,
                    static_cast<unsigned long long>(event.wParam), static_cast<unsigned long long>(event.lParam));
        std::fflush(stdout);
        ShowCounts();
        return 0;
    }
    return gui::Window::Dispatch(event) ? 1 : 0;
}

}  // namespace gallery
