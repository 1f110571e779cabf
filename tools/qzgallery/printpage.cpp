#include "tools/qzgallery/printpage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "platform/gui/resource.h"
#include "platform/os/win32.h"
#include "tools/qzgallery/serialpage.h"

namespace gallery {
namespace {

using namespace gui;

}  // namespace

const rt::ClassDef& PrintPage::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<PrintPage>("GALLERYPRINTPAGE", &gui::Window::StaticClass())
                                       .Method<&PrintPage::PBPRINT>("PBPRINT")
                                       .Method<&PrintPage::PBPRINTNOEJECT>("PBPRINTNOEJECT")
                                       .Method<&PrintPage::PBRESET>("PBRESET")
                                       .Done();
    return c;
}

void RegisterPrintPage() {
    const uint32_t kEdit = kStyleBorder | kStyleTabStop | kStyleAutoHScroll | kStyleClientEdge;
    const uint32_t kButton = kStylePushButton | kStyleTabStop;
    DialogTemplate t;
    t.name = "GalleryPrint";
    t.cx = 300;
    t.cy = 196;
    t.childForm = true;
    t.items = {
        {100, "button", "Text (QOUT per line)", 4, 4, 292, 76, kStyleGroupBox},
        {101, "richedit", "", 10, 16, 280, 58, kStyleBorder | kStyleMultiLine | kStyleVScroll | kStyleTabStop},
        {110, "static", "Margin", 10, 88, 30, 12, kStyleLeft},
        {111, "edit", "5", 42, 86, 24, 12, kEdit},
        {112, "static", "Port", 76, 88, 20, 12, kStyleLeft},
        {113, "edit", "", 98, 86, 192, 12, kEdit},
        {120, "button", "PRINTIT", 10, 104, 60, 14, kButton},
        {121, "button", "PRINTIT, no eject", 76, 104, 80, 14, kButton},
        {122, "button", "Reset printer first", 162, 104, 80, 14, kButton},
        {130, "static", "", 10, 124, 280, 12, kStyleLeft},
        {131, "static", "", 10, 138, 280, 52, kStyleLeft},
    };
    RegisterDialog(t);
    PrintPage::StaticClass();
}

const gui::DialogTemplate* PrintPage::Template() const { return FindDialog("GalleryPrint"); }

PrintPage::~PrintPage() {
    std::error_code ec;
    if (!fifoDir_.empty()) std::filesystem::remove_all(fifoDir_, ec);
}

void PrintPage::Build(rt::Args args) {
    gui::Window::Build(args);
    if (const DialogTemplate* t = Template()) {
        Widget()->setFont(DialogFont(*t));
        Widget()->setMinimumSize(DialogUnitsToPixels(*t, 0, 0, t->cx, t->cy).size());
    }
    SetCaption("Quick printer output");
    gui::MakeControl<gui::GroupBox>(*this, 100);
    for (int id : {110, 112}) gui::MakeControl<gui::FixedText>(*this, id);
    textEdit_ = gui::MakeControl<gui::RichEdit>(*this, 101);
    marginEdit_ = gui::MakeControl<gui::SingleLineEdit>(*this, 111);
    portEdit_ = gui::MakeControl<gui::SingleLineEdit>(*this, 113);
    statusText_ = gui::MakeControl<gui::FixedText>(*this, 130);
    bytesText_ = gui::MakeControl<gui::FixedText>(*this, 131);
    for (auto [id, name] : {std::pair{120, "PBPRINT"}, {121, "PBPRINTNOEJECT"}, {122, "PBRESET"}})
        gui::MakeControl<gui::PushButton>(*this, id)->SetName(rt::Symbol(name));
    // The page's own FIFO stands for the printer until another port is typed.
    std::string tmpl = (std::filesystem::temp_directory_path() / "qzgallery-lp-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) {
        fifoDir_ = tmpl;
        fifo_ = fifoDir_ + "/lp0";
        ::mkfifo(fifo_.c_str(), 0600);
    }
    portEdit_->SetTextValue(fifo_);
    textEdit_->SetTextValue("STOCKTAKE 09/12/2026\nBAY 4  shelf 2\n4006381333931   12");
    statusText_->SetCaption("Port: LPT1..LPT9, PRN (port map), a device path or the FIFO above");
}

void PrintPage::PBRESET() {
    reset_ = !reset_;
    statusText_->SetCaption(reset_ ? "The next job starts with the printer reset (ESC E)" : "No reset");
}

void PrintPage::Print(bool eject) {
    auto pq = rt::New<lib::PrintQuick>();
    pq->SetMargin(std::atoll(marginEdit_->TextValue().c_str()));
    if (reset_) pq->ResetPrinter();
    std::istringstream lines(textEdit_->TextValue());
    for (std::string line; std::getline(lines, line);) pq->QOut(line);
    const std::string port = portEdit_->TextValue();
    // The FIFO needs a reader while the job goes in.
    std::future<std::string> sent;
    if (port == fifo_ && !fifo_.empty())
        sent = std::async(std::launch::async, [p = fifo_] {
            std::ifstream in(p, std::ios::binary);
            std::stringstream all;
            all << in.rdbuf();
            return all.str();
        });
    pq->PrintIt(port, eject);
    if (sent.valid()) {
        if (pq->LastPrintError() != 0) {  // nothing opened the FIFO: release the reader
            std::ofstream(fifo_).flush();
        }
        bytesText_->SetCaption("Sent: " + ShowBytes(sent.get()));
    } else {
        bytesText_->SetCaption("");
    }
    const uint32_t code = pq->LastPrintError();
    statusText_->SetCaption(code == 0                      ? "PRINTIT sent the job to " + port
                            : code == os::ERROR_IO_PENDING ? "PRINTIT is still sending the job to " + port
                                                           : "PRINTIT failed, Win32 code " + std::to_string(code));
}

}  // namespace gallery
