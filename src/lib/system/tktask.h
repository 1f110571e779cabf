// TKTask: starts a program as a separate process and polls it; and the
// functions LASTPROCERRORASTEXT and MAKELANGID.
//
// COMMANDLINE reads back upper-cased, and sets the task name to the same
// upper-cased text, but the start uses the text as it was given: on this
// platform names and arguments keep their case, and an upper-cased command
// line would name another program. The process and thread handles of a
// start are closed before the next start and when the object ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/os/process.h"
#include "platform/runtime/object.h"

namespace lib {

class TKTask : public rt::Object {
    QZ_OBJECT(TKTask)
public:
    // The Win32 STARTUPINFOA size the object records in its cb field.
    static constexpr os::DWORD kStartupInfoSize = 68;

    TKTask() = default;
    ~TKTask() override;
    rt::Usual INIT();
    rt::Usual CREATE() { return LAUNCH(); }
    rt::Usual LAUNCH();
    rt::Usual LAUNCH1();
    void Axit() override;
    rt::Usual AXIT() {
        Axit();
        return rt::Usual();
    }

    bool ISTASK();
    uint32_t RETURNCODE() {
        ISTASK();
        return exitCode_;
    }
    uint32_t TASKID() const { return pi_.dwProcessId; }
    uint32_t THREADID() const { return pi_.dwThreadId; }
    rt::Pointer HANDLE() const { return rt::Pointer{reinterpret_cast<const void*>(pi_.hProcess)}; }
    const std::string& COMMANDLINE() const { return commandLine_; }
    rt::Usual SetCommandLine(rt::Usual text);
    std::string TASKNAME() const { return taskName_.value_or(""); }
    rt::Usual SetTaskName(rt::Usual text);
    rt::Usual SetTitle(rt::Usual text);

    // The system text of the last failed start (no member returns it in
    // the class's own interface).
    const std::string& ErrorText() const { return errorText_; }
    const os::STARTUPINFOA& StartupInfo() const { return si_; }

private:
    void Started(const os::PROCESS_INFORMATION& pi);
    void CloseHandles();

    uint32_t exitCode_ = 0;
    std::optional<std::string> taskName_;  // as it reads back
    std::string taskToStart_;              // as given
    std::string errorText_;
    os::PROCESS_INFORMATION pi_;
    os::STARTUPINFOA si_;
    std::string commandLine_;     // as it reads back (upper case)
    std::string commandToStart_;  // as given
    std::string title_;
};

// The calling thread's last Win32 error as the system's message text,
// without its final line feed; "" when the system has no text for it.
std::string LASTPROCERRORASTEXT();
// Sub-language shifted left by 10, OR-ed with the primary language (as a
// 16-bit word).
int64_t MAKELANGID(int64_t primary, int64_t sub);

}  // namespace lib
