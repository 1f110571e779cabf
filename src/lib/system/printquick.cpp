#include "lib/system/printquick.h"

#include <unistd.h>

#include <filesystem>

#include "lib/system/selfmethod.h"
#include "platform/os/portmap.h"
#include "platform/runtime/files.h"
#include "platform/runtime/numbers.h"

namespace lib {

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
    if (path_.empty() || !os::CopyFileToPort(path_, port))
        printError_ = path_.empty() ? os::DWORD{os::ERROR_FILE_NOT_FOUND} : os::GetLastError();
    DropBuffer();
}

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
