#include "lib/system/printquick.h"

#include <unistd.h>

#include <filesystem>

#include "lib/system/selfmethod.h"
#include "platform/os/portmap.h"
#include "platform/runtime/files.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/posixfile.h"

namespace lib {
namespace {

// How long PRINTIT waits for its job before leaving it to the sender.
constexpr int kPrintWaitMs = 1000;

}  // namespace

const rt::ClassDef& PrintQuick::StaticClass() {
    static const rt::ClassDef& c =
        rt::ClassBuilder<PrintQuick>("PRINTQUICK")
            .RawMethod("INIT", AnswerSelf<&PrintQuick::Init>())
            .RawMethod("QQOUT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<PrintQuick&>(o).QQOut(a.empty() ? rt::Usual() : a[0],
                                                             a.size() > 1 && a[1].AsLogic());
                           return rt::Usual(o.Self());
                       })
            .RawMethod("QOUT",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<PrintQuick&>(o).QOut(a.empty() ? rt::Usual() : a[0]);
                           return rt::Usual(o.Self());
                       })
            .RawMethod("SKIPLINES",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<PrintQuick&>(o).SkipLines(a.empty() ? 0 : a[0].AsLong());
                           return rt::Usual(o.Self());
                       })
            .RawMethod("EJECTPAGE",
                       [](rt::Object& o, rt::Args a) {
                           static_cast<PrintQuick&>(o).EjectPage(a.empty() || !a[0].IsLogic() || a[0].AsLogic());
                           return rt::Usual(o.Self());
                       })
            .RawMethod("RESETPRINTER", AnswerSelf<&PrintQuick::ResetPrinter>())
            .RawMethod("PRINTIT",
                       [](rt::Object& o, rt::Args a) {
                           const std::string port = !a.empty() && a[0].IsString() ? a[0].AsStr() : "LPT1";
                           const bool eject = a.size() < 2 || !a[1].IsLogic() || a[1].AsLogic();
                           static_cast<PrintQuick&>(o).PrintIt(port, eject);
                           return rt::Usual(o.Self());
                       })
            .Assign<&PrintQuick::SetMargin>("MARGIN")
            .Access<&PrintQuick::LastPrintError>("PRINTERROR")
            .Access<&PrintQuick::LastPrintErrorText>("PRINTERRORDESC")
            .RawMethod("AXIT", AnswerSelf<&PrintQuick::Axit>())
            .Done();
    return c;
}

PrintQuick::PrintQuick() { Init(); }

PrintQuick::~PrintQuick() { DropBuffer(); }

void PrintQuick::Init() {
    if (handle_ < 0) OpenBuffer();
    margin_ = 5;
    RegisterAxit();
}

void PrintQuick::OpenBuffer() {
    // The object's own directory in the temporary directory (TMPDIR, else
    // /tmp), so that the buffer keeps its name and still belongs to this
    // object alone, also against other programs.
    std::error_code ec;
    std::string tmpl = (std::filesystem::temp_directory_path(ec) / "qzprint-XXXXXX").string();
    if (ec || !::mkdtemp(tmpl.data())) return;
    dir_ = tmpl;
    path_ = dir_ + "/Printer.Buf";
    handle_ = rt::FCreate(path_, rt::kFcNormal);
}

void PrintQuick::DropBuffer() {
    if (handle_ >= 0) rt::FClose(handle_);
    handle_ = -1;
    if (!path_.empty()) ::unlink(path_.c_str());
    if (!dir_.empty()) ::rmdir(dir_.c_str());
    path_.clear();
    dir_.clear();
}

void PrintQuick::Spool(const std::string& bytes) {
    // Output after PRINTIT starts the next job's buffer.
    if (handle_ < 0) OpenBuffer();
    if (handle_ >= 0) rt::FWrite(handle_, bytes);  // the whole piece, however long
}

void PrintQuick::QQOut(const rt::Usual& value, bool newLine) {
    std::string text = value.IsString() ? value.AsStr() : rt::AsString(value);
    if (margin_ > 0) text.insert(0, margin_, ' ');
    if (newLine) text += "\r\n";
    Spool(text);
}

void PrintQuick::SkipLines(int64_t count) {
    std::string lines;
    for (int64_t i = 0; i < count && i < 100000; ++i) lines += "\r\n";
    QQOut(rt::Usual(lines), false);
}

void PrintQuick::EjectPage(bool withCr) { Spool(withCr ? "\f\r" : "\f"); }

void PrintQuick::ResetPrinter() {
    Spool(
        "\x1b"
        "E");
}

void PrintQuick::PrintIt(const std::string& port, bool eject) {
    if (eject) EjectPage(true);
    if (handle_ >= 0) rt::FClose(handle_);
    handle_ = -1;
    printError_ = 0;
    lastJob_.reset();
    std::string spooled;
    if (path_.empty() || rt::ReadFileAt(path_, &spooled) != 0) {
        printError_ = os::ERROR_FILE_NOT_FOUND;
    } else {
        const os::PortTarget target = os::ResolvePort(port);
        lastJob_ = SendPrintJob(port, target, ToPrinterCodePage(spooled, target.codePage));
        // A port that takes the job at once has its outcome here; a slow
        // one goes on in the background.
        lastJob_->WaitDone(kPrintWaitMs);
    }
    DropBuffer();
}

uint32_t PrintQuick::LastPrintError() const { return lastJob_ ? lastJob_->Code() : printError_; }

std::string PrintQuick::LastPrintErrorText() const {
    if (lastJob_) return lastJob_->Text();
    return printError_ ? "Nothing was spooled to print" : "";
}

bool PrintQuick::WaitPrinted(int ms) const { return !lastJob_ || lastJob_->WaitDone(ms); }

rt::Usual PrintQuick::SetMargin(const rt::Usual& margin) {
    margin_ = static_cast<uint16_t>(margin.AsLong());
    return margin;
}

void PrintQuick::Axit() {
    // The buffer of a job never printed is closed and removed rather than
    // left open (and on disk) until the program ends.
    DropBuffer();
}

}  // namespace lib
