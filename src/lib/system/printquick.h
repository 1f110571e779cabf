// PrintQuick: plain text to a printer port without a driver. Output is
// spooled, with a left margin, into a buffer file "Printer.Buf" of the
// object's own (a private directory in the temporary directory, so two
// objects never share one), and PRINTIT copies it byte for byte to a port
// ("LPT1".."LPT9", "PRN", a device path; the port map may send it to a CUPS
// queue as a raw job, a regular file replaced) and deletes it. Text goes in
// the printer's code page; a slow port gets the job from a background
// sender, so PRINTIT never holds its caller for more than a second.
// docs/printing.md.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "lib/system/printjob.h"
#include "platform/runtime/object.h"

namespace lib {

class PrintQuick : public rt::Object {
    QZ_OBJECT(PrintQuick)
public:
    PrintQuick();
    ~PrintQuick() override;

    void Init();
    // QQOUT(value, new line = false): margin blanks, the value as text, CR LF
    // if asked.
    void QQOut(const rt::Usual& value, bool newLine);
    void QOut(const rt::Usual& value) { QQOut(value, true); }
    void SkipLines(int64_t count);
    // EJECTPAGE(with carriage return = true): form feed, then CR.
    void EjectPage(bool withCr = true);
    // Escape "E": the PCL printer reset.
    void ResetPrinter();
    // PRINTIT(port = "LPT1", eject = true).
    void PrintIt(const std::string& port = "LPT1", bool eject = true);
    rt::Usual SetMargin(const rt::Usual& margin);
    void Axit() override;

    // The buffer file spooled into now ("" when none is open).
    std::string BufferPath() const { return handle_ >= 0 ? path_ : std::string(); }
    // The outcome of the last PRINTIT (late-bound PRINTERROR and
    // PRINTERRORDESC): the Win32 code, 0 when the port took every byte,
    // ERROR_IO_PENDING (997) while a slow port's job is still being sent;
    // and the text of a failure.
    uint32_t LastPrintError() const;
    std::string LastPrintErrorText() const;
    // Waits up to ms for the last job's outcome; whether it is there.
    bool WaitPrinted(int ms) const;
    uint16_t Margin() const { return margin_; }

private:
    void Spool(const std::string& bytes);
    void OpenBuffer();
    void DropBuffer();

    int handle_ = -1;
    uint16_t margin_ = 5;
    std::string dir_;
    std::string path_;
    uint32_t printError_ = 0;            // a job that never went out (no buffer)
    std::shared_ptr<PrintJob> lastJob_;  // the job of the last PRINTIT that sent one
};

}  // namespace lib
