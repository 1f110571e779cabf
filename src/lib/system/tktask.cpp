#include "lib/system/tktask.h"

#include <vector>

#include "platform/os/message.h"
#include "platform/runtime/text.h"

namespace lib {

const rt::ClassDef& TKTask::StaticClass() {
    static const rt::ClassDef& c = rt::ClassBuilder<TKTask>("TKTASK")
                                       .Method<&TKTask::INIT>("INIT")
                                       .Method<&TKTask::CREATE>("CREATE")
                                       .Method<&TKTask::LAUNCH>("LAUNCH")
                                       .Method<&TKTask::LAUNCH1>("LAUNCH1")
                                       .Method<&TKTask::AXIT>("AXIT")
                                       .Method<&TKTask::ISTASK>("ISTASK")
                                       .Access<&TKTask::ISTASK>("ISTASK")
                                       .Access<&TKTask::ISTASK>("STILLRUNNING")
                                       .Access<&TKTask::ISTASK>("RUNNING")
                                       .Access<&TKTask::RETURNCODE>("RETURNCODE")
                                       .Access<&TKTask::TASKID>("TASKID")
                                       .Access<&TKTask::TASKID>("PROCESSID")
                                       .Access<&TKTask::THREADID>("THREADID")
                                       .Access<&TKTask::HANDLE>("HANDLE")
                                       .Access<&TKTask::COMMANDLINE>("COMMANDLINE")
                                       .Assign<&TKTask::SetCommandLine>("COMMANDLINE")
                                       .Access<&TKTask::TASKNAME>("TASKNAME")
                                       .Assign<&TKTask::SetTaskName>("TASKNAME")
                                       .Assign<&TKTask::SetTitle>("TITLE")
                                       .Done();
    return c;
}

TKTask::~TKTask() { CloseHandles(); }

rt::Usual TKTask::INIT() {
    RegisterAxit();
    si_ = os::STARTUPINFOA{};
    si_.cb = kStartupInfoSize;
    return rt::Usual(Self());
}

void TKTask::Axit() { CloseHandles(); }

void TKTask::CloseHandles() {
    if (pi_.hProcess != 0) os::CloseHandle(pi_.hProcess);
    if (pi_.hThread != 0) os::CloseHandle(pi_.hThread);
    // The ids and the handle values stay readable; the handles no longer work.
}

void TKTask::Started(const os::PROCESS_INFORMATION& pi) {
    CloseHandles();
    pi_ = pi;
}

rt::Usual TKTask::LAUNCH() {
    if (commandToStart_.empty()) return rt::Usual(Self());
    std::vector<char> copy(commandToStart_.begin(), commandToStart_.end());
    copy.push_back('\0');
    os::PROCESS_INFORMATION pi;
    if (os::CreateProcessA(nullptr, copy.data(), nullptr, nullptr, os::FALSE_, 0, nullptr, nullptr, &si_, &pi))
        Started(pi);
    else errorText_ = LASTPROCERRORASTEXT();
    return rt::Usual(Self());
}

rt::Usual TKTask::LAUNCH1() {
    if (!taskName_) return rt::Usual(Self());
    os::PROCESS_INFORMATION pi;
    if (os::CreateProcessA(taskToStart_.c_str(), nullptr, nullptr, nullptr, os::FALSE_, 0, nullptr, nullptr, &si_, &pi))
        Started(pi);
    else errorText_ = LASTPROCERRORASTEXT();
    return rt::Usual(Self());
}

bool TKTask::ISTASK() {
    os::DWORD code = 0;
    bool ok = os::GetExitCodeProcess(pi_.hProcess, &code) != 0;
    exitCode_ = code;
    return ok && code != 0;
}

rt::Usual TKTask::SetCommandLine(rt::Usual text) {
    if (text.IsString() && !text.AsStr().empty()) {
        commandLine_ = rt::Upper(text.AsStr());
        taskName_ = commandLine_;
        commandToStart_ = text.AsStr();
        taskToStart_ = text.AsStr();
    }
    return text;
}

rt::Usual TKTask::SetTaskName(rt::Usual text) {
    if (text.IsString() && !text.AsStr().empty()) {
        taskName_ = text.AsStr();
        taskToStart_ = text.AsStr();
    }
    return text;
}

rt::Usual TKTask::SetTitle(rt::Usual text) {
    title_ = text.IsString() ? text.AsStr() : std::string();
    si_.lpTitle = title_.data();
    return text;
}

std::string LASTPROCERRORASTEXT() {
    std::vector<char> buffer(255, '\0');
    os::DWORD n = os::FormatMessageA(os::FORMAT_MESSAGE_FROM_SYSTEM, nullptr, os::GetLastError(),
                                     os::MakeLangId(os::LANG_NEUTRAL, os::SUBLANG_DEFAULT), buffer.data(), 255,
                                     nullptr);
    std::string text(buffer.data(), n);
    if (!text.empty()) text.pop_back();
    return text;
}

int64_t MAKELANGID(int64_t primary, int64_t sub) {
    return os::MakeLangId(static_cast<unsigned>(primary), static_cast<unsigned>(sub));
}

}  // namespace lib
