#include "platform/runtime/errorinfo.h"

#include <algorithm>
#include <atomic>

namespace rt {
namespace {

std::atomic<ErrorFuncFn> gErrorFunc{nullptr};

std::string Text(const char* p) { return p ? std::string(p) : std::string(); }

}  // namespace

void FillError(Error& e, const ErrorInfo& info) {
    e.SubSystem = Text(info.SubSystem);
    e.SubCode = info.SubCode;
    e.GenCode = info.GenCode;
    e.OsCode = info.OsCode;
    e.Severity = info.Severity;
    e.CanDefault = info.CanDefault != 0;
    e.CanRetry = info.CanRetry != 0;
    e.CanSubstitute = info.CanSubstitute != 0;
    e.Operation = Text(info.Operation);
    e.Description = Text(info.Description);
    e.FileName = Text(info.FileName);
    std::vector<Usual> args;
    if (const ErrorArgList* list = info.Args) {
        size_t n = std::max(list->count, list->declared);
        if (list->values) args.assign(list->values, list->values + n);
    }
    e.ARGS = Usual::Array(std::move(args));
    e.Tries = info.Tries;
    e.FuncSym = info.FuncSym;
    e.FileHandle = info.FileHandle;
    e.ArgNum = info.ArgNum;
    e.FuncPtr = Pointer{info.FuncPtr};
    e.SubCodeText = Text(info.SubCodeText);
    e.Arg = Text(info.Arg);
    e.ArgType = info.ArgType;
    e.ArgTypeReq = info.ArgTypeReq;
    e.MaxSize = info.MaxSize;
    e.SubstituteType = info.SubstituteType;
    if (e.CHOICE == 0) e.CHOICE = info.CHOICE;
    e.CallFuncSym = info.CallFuncSym;
}

ErrorRef ErrorBuild(const ErrorInfo& info) {
    Error::StaticClass();
    ErrorRef e = New<Error>();
    FillError(*e, info);
    return e;
}

ErrorFuncFn ErrorFunc() { return gErrorFunc.load(); }
ErrorFuncFn ErrorFunc(ErrorFuncFn fn) { return gErrorFunc.exchange(fn); }

int _GetRTCount() { return 1; }

Usual RaiseErrorInfo(const ErrorInfo& info) {
    ErrorRef e;
    if (ErrorFuncFn fn = ErrorFunc()) e = std::dynamic_pointer_cast<Error>(fn(Usual(Pointer{&info})).AsObject());
    if (!e) e = ErrorBuild(info);
    return RaiseError(e);
}

}  // namespace rt
