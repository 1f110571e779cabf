#include "errors/deferror.h"

#include <algorithm>
#include <mutex>
#include <string_view>
#include <utility>

#include "errors/errorgen.h"
#include "errors/errorreport.h"
#include "platform/runtime/errorinfo.h"
#include "platform/runtime/errorservices.h"
#include "platform/runtime/files.h"
#include "platform/runtime/numbers.h"
#include "platform/runtime/settings.h"
#include "platform/runtime/text.h"

namespace errors {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr size_t kFileNameChars = 40;

std::mutex gReaderMutex;
StackReader gReader;

bool IsBlank(const std::string& s) { return rt::Empty(rt::Usual(s)); }

// The first n characters of a text. File names are UTF-8 here, so a
// character is a UTF-8 sequence: cutting inside one would leave a broken
// byte at the end of the line that the dialog shows as a replacement sign.
std::string FirstChars(const std::string& s, size_t n) {
    size_t chars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        bool continuation = (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80;
        if (!continuation && chars++ == n) return s.substr(0, i);
    }
    return s;
}

// The runtime functions through which errors are raised.
bool IsRaiseFrame(std::string_view name) {
    return name == "rt::RaiseError" || name == "rt::RaiseErrorInfo" || name == "rt::Error::THROW";
}

// The program's call stack from the caller that raised the error on. Left
// out are the handler's own frames and what carries the error to it: the
// error block, its evaluation, and the runtime's raise function (or, for a
// block evaluated directly, the evaluation). Only the frames just above the
// handler are searched, so an error raised while another is handled is
// cut at its own raise.
std::vector<rt::Activation> ReadCallers() {
    constexpr size_t kWindow = 12;
    std::vector<rt::Activation> stack = rt::CallStack();
    size_t handler = 0;
    for (size_t i = 0; i < stack.size() && i < 4; ++i)
        if (stack[i].name == "errors::DefError") handler = i;
    size_t end = std::min(stack.size(), handler + kWindow);
    size_t first = handler + 1;
    size_t raise = end, eval = end;
    for (size_t i = handler + 1; i < end && raise == end; ++i) {
        if (IsRaiseFrame(stack[i].name)) raise = i;
        if (eval == end && stack[i].name == "rt::Usual::Eval") eval = i;
    }
    if (raise != end) {
        first = raise;
        while (first < stack.size() && IsRaiseFrame(stack[first].name)) ++first;
    } else if (eval != end) {
        first = eval;
        while (first < stack.size() && stack[first].name == "rt::Usual::Eval") ++first;
    }
    first = std::min(first, stack.size());
    return std::vector<rt::Activation>(stack.begin() + static_cast<std::ptrdiff_t>(first), stack.end());
}

std::vector<rt::Activation> Callers() {
    StackReader reader;
    {
        std::lock_guard lock(gReaderMutex);
        reader = gReader;
    }
    return reader ? reader() : ReadCallers();
}

// Step 1: a value that is no Error becomes an error of general code 28
// about that value, built from the saved error information block.
rt::ErrorRef AsError(const rt::Usual& arg) {
    if (rt::IsInstanceOf(arg, rt::Symbol("ERROR")))
        if (auto e = std::dynamic_pointer_cast<rt::Error>(arg.AsObject())) return e;
    static std::string argText;  // the block points at it
    argText = rt::AsString(arg);
    rt::ErrorInfo& info = SavedErrorInfo();
    info = rt::ErrorInfo{};
    info.GenCode = rt::kGenWrongClass;
    info.Severity = 2;
    info.FuncSym = rt::Symbol("DEFERROR");
    info.Arg = argText.c_str();
    info.ArgNum = 1;
    info.CanDefault = 1;
    return rt::ErrorBuild(info);
}

void AppendReport(const std::string& message, const rt::Error& e) {
    int handle = OpenErrorLog();
    if (handle == -1) return;
    rt::FSeek3(handle, 0, 2);
    WriteErrorReport(handle, message, e);
    rt::FClose(handle);
}

}  // namespace

std::string ErrorMessageText(const rt::Error& e) {
    std::string m = e.Severity == 1 ? "WARNING : " : "Error Code: ";
    m += ' ';
    if (e.GenCode == 0) m += e.Description;
    else m += std::to_string(e.GenCode) + " [ " + rt::Upper(rt::ErrString(e.GenCode)) + " ]";
    m += kCrLf;
    if (!e.SubSystem.empty()) m += "Subsystem: " + e.SubSystem + kCrLf;
    if (e.SubCode != 0) {
        m += "Error Subcode: " + std::to_string(e.SubCode);
        if (!IsBlank(e.SubCodeText)) m += " (" + e.SubCodeText + ")";
        m += kCrLf;
    }
    if (!IsBlank(e.Operation)) m += "Operation: " + e.Operation + kCrLf;
    if (!e.FuncSym.IsNull()) m += "Function: " + rt::Symbol2String(e.FuncSym) + kCrLf;
    if (!IsBlank(e.FileName)) m += "Filename: " + FirstChars(e.FileName, kFileNameChars) + kCrLf;
    if (!IsBlank(e.Arg)) {
        m += "Argument: " + e.Arg + kCrLf;
        if (e.ArgType != 0) m += "Type: " + rt::TypeString(e.ArgType) + kCrLf;
    }
    if (e.ArgNum != 0) m += "Argument Number: " + std::to_string(e.ArgNum) + kCrLf;
    if (e.ArgTypeReq != 0 && e.ArgTypeReq != e.ArgType) m += "Requested type: " + rt::TypeString(e.ArgTypeReq) + kCrLf;
    if (!IsBlank(e.Description)) m += "Description: " + e.Description + kCrLf;
    return m;
}

std::string CallStackText(const std::vector<rt::Activation>& callers) {
    if (callers.empty() || callers.front().name.empty()) return {};
    std::string text = std::string("CallStack: ") + kCrLf;
    for (size_t i = 0; i < callers.size() && i < kCallStackLines; ++i) {
        if (callers[i].name.empty()) break;
        text += callers[i].name + " (Line: " + rt::NTrim(rt::Usual(callers[i].line)) + ")" + kCrLf;
    }
    return text;
}

StackReader SetStackReader(StackReader reader) {
    std::lock_guard lock(gReaderMutex);
    return std::exchange(gReader, std::move(reader));
}

int ExitCodeFor(uint32_t genCode) {
    if (genCode == 0) return 1;
    return genCode > 255 ? 255 : static_cast<int>(genCode);
}

rt::Usual DefError(const rt::Usual& arg) {
    // 1. The error object.
    rt::ErrorRef e = AsError(arg);

    // 2. A sharing or lock conflict on open that allows a default is
    // answered quietly: the caller tests NetErr.
    if (e->CanDefault && e->GenCode == rt::kGenOpen && (e->OsCode == 32 || e->OsCode == 33)) {
        rt::NetErr(true);
        return rt::Usual(false);
    }

    // 3.-4. The caption follows the severity the error came with; a pointer
    // substitute then raises the severity.
    std::string caption = e->Severity == 1 ? "WARNING" : "ERROR";
    if (e->SubstituteType == rt::kPtr) e->Severity = 3;

    // 5.-6. Message and callers.
    std::string message = ErrorMessageText(*e) + CallStackText(Callers());

    // 7. Tones.
    if (rt::SetBeep() && !rt::Quitting()) {
        rt::Tone(440, 1);
        rt::Tone(494, 1);
        rt::Tone(523, 1);
    }

    // 8. Button values.
    uint32_t defaultValue = e->CanDefault || e->CanSubstitute ? rt::kErrorBoxDefault : 0;
    uint32_t retryValue = 0;
    if (e->CanRetry) {
        // A missing variable does not appear by trying again.
        if (e->GenCode == rt::kGenNoVar) e->CanRetry = false;
        else retryValue = rt::kErrorBoxRetry;
    }
    uint32_t abortValue = rt::CanBreak() ? rt::kErrorBoxBreak : rt::kErrorBoxQuit;

    // 9. The report.
    if (rt::SetErrorLog()) AppendReport(message, *e);

    // The operator has answered Quit already: what fails while the process
    // ends (a table that cannot be written as it closes) is reported, not
    // asked again; the close gives up and the exit code stays the one of
    // the error that was answered.
    if (rt::Quitting()) {
        if (defaultValue) return e->CanSubstitute ? rt::EmptyUsual(e->SubstituteType) : rt::Usual(false);
        rt::_Quit();
    }

    // 10.-12. The operator's choice.
    uint32_t choice = rt::ErrorMessageBox(message, caption, defaultValue, retryValue, abortValue);
    if (choice == rt::kErrorBoxDefault) return e->CanSubstitute ? rt::EmptyUsual(e->SubstituteType) : rt::Usual(false);
    if (choice == rt::kErrorBoxRetry) return rt::Usual(true);

    // 13. Break to the innermost recovery scope, or end the process; the
    // quit handlers close every open table first.
    rt::MathInit();
    if (rt::CanBreak()) rt::LabelJump(rt::Usual(e));
    rt::ErrorLevel(ExitCodeFor(e->GenCode));
    rt::_Quit();
}

}  // namespace errors
