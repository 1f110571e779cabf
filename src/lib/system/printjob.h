// Print jobs on their way to a port: text put into the printer's code
// page, one sender thread that takes the jobs in the order given (so that
// PRINTIT never has to wait for a slow port), and every failed job's
// report on the error log. docs/printing.md.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/os/portmap.h"

namespace lib {

// Text for a printer of codePage: 437 or 850 (0 is the OEM code page of the
// regional settings), os::kCodePageUtf8 for one that takes UTF-8. Every
// well-formed UTF-8 character past ASCII becomes its byte in the code page,
// else its nearest spelling there ("–" becomes "-"), else "?"; bytes that
// are no UTF-8 (text already in a code page, control codes) and ASCII go
// unchanged.
std::string ToPrinterCodePage(std::string_view text, int codePage);

// One job's outcome: pending until the sender has tried it, then the Win32
// code (0 when the port took every byte) and, for a failure, the text that
// describes it.
class PrintJob {
public:
    bool Done() const;
    // Waits up to ms for the outcome; whether it is there.
    bool WaitDone(int ms) const;
    uint32_t Code() const;  // ERROR_IO_PENDING (997) while pending
    std::string Text() const;
    void Finish(uint32_t code, std::string text);

private:
    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    bool done_ = false;
    uint32_t code_ = 0;
    std::string text_;
};

// Hands the bytes for port (its name, for the report) to the sender; jobs
// are sent one after the other in the order given, each within the port's
// bounded waits (os::SendToPort). Jobs still queued when the program ends
// are sent before it ends.
std::shared_ptr<PrintJob> SendPrintJob(const std::string& port, const os::PortTarget& target, std::string bytes);

}  // namespace lib
