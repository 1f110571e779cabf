#include "platform/runtime/error.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/runtime/macro.h"

namespace rt {
namespace {

struct BreakSignal {
    Usual value;
};

thread_local int tScopeDepth = 0;
thread_local std::exception_ptr tParked;
thread_local int tParkedDepth = 0;  // scopes active when it was parked

std::mutex gMutex;
Usual gErrorBlock;
bool gNetErr = false;
int gErrorLevel = 0;
std::vector<std::function<void()>> gQuitHandlers;
std::function<void(int)> gExit;
bool gQuitting = false;                           // a _Quit has begun
std::vector<std::function<void()>> gQuitPending;  // its handlers not yet started, last first

}  // namespace

std::string_view ErrString(uint32_t genCode) {
    switch (genCode) {
        case kGenArg: return "Argument error";
        case kGenBound: return "Bound error";
        case kGenStrOverflow: return "String overflow";
        case kGenNumOverflow: return "Numeric overflow";
        case kGenZeroDiv: return "Zero divisor";
        case kGenNumErr: return "Numeric error";
        case kGenSyntax: return "Syntax error";
        case kGenComplexity: return "Operation too complex";
        case kGenMem: return "Memory low";
        case kGenNoFunc: return "Undefined function";
        case kGenNoMethod: return "No exported method";
        case kGenNoVar: return "Variable does not exist";
        case kGenNoAlias: return "Alias does not exist";
        case kGenNoVarMethod: return "No exported variable";
        case kGenCreate: return "Create error";
        case kGenOpen: return "Open error";
        case kGenClose: return "Close error";
        case kGenRead: return "Read error";
        case kGenWrite: return "Write error";
        case kGenPrint: return "Print error";
        case kGenNoClass: return "Class does not exist";
        case kGenWrongClass: return "Wrong class";
        case kGenUnsupported: return "Operation not supported";
        case kGenLimit: return "Limit exceeded";
        case kGenCorruption: return "Corruption detected";
        case kGenDataType: return "Data type error";
        case kGenDataWidth: return "Data width error";
        case kGenNoTable: return "Workarea not in use";
        case kGenShared: return "Exclusive required";
        case kGenUnlocked: return "Lock required";
        case kGenReadOnly: return "Write not allowed";
        case kGenAppendLock: return "Append lock failed";
        case kGenLock: return "Lock failure";
        default: return "Unknown error";
    }
}

const ClassDef& Error::StaticClass() {
    static const ClassDef& c = ClassBuilder<Error>("ERROR")
                                   .IVar<&Error::SubSystem>("SUBSYSTEM")
                                   .IVar<&Error::SubCode>("SUBCODE")
                                   .IVar<&Error::GenCode>("GENCODE")
                                   .IVar<&Error::OsCode>("OSCODE")
                                   .IVar<&Error::Severity>("SEVERITY")
                                   .IVar<&Error::CanDefault>("CANDEFAULT")
                                   .IVar<&Error::CanRetry>("CANRETRY")
                                   .IVar<&Error::CanSubstitute>("CANSUBSTITUTE")
                                   .IVar<&Error::Operation>("OPERATION")
                                   .IVar<&Error::Description>("DESCRIPTION")
                                   .IVar<&Error::FileName>("FILENAME")
                                   .IVar<&Error::ARGS>("ARGS")
                                   .IVar<&Error::Tries>("TRIES")
                                   .IVar<&Error::FuncSym>("FUNCSYM")
                                   .IVar<&Error::FileHandle>("FILEHANDLE")
                                   .IVar<&Error::ArgNum>("ARGNUM")
                                   .IVar<&Error::FuncPtr>("FUNCPTR")
                                   .IVar<&Error::SubCodeText>("SUBCODETEXT")
                                   .IVar<&Error::Arg>("ARG")
                                   .IVar<&Error::ArgType>("ARGTYPE")
                                   .IVar<&Error::ArgTypeReq>("ARGTYPEREQ")
                                   .IVar<&Error::MaxSize>("MAXSIZE")
                                   .IVar<&Error::SubstituteType>("SUBSTITUTETYPE")
                                   .IVar<&Error::CHOICE>("CHOICE")
                                   .IVar<&Error::CallFuncSym>("CALLFUNCSYM")
                                   .IVar<&Error::CARGO>("CARGO")
                                   .IVar<&Error::METHODSELF>("METHODSELF")
                                   .Method<&Error::THROW>("THROW")
                                   .Done();
    return c;
}

// Registered at start so that CreateInstance(#ERROR) finds the class.
[[maybe_unused]] const ClassDef& kErrorClass = Error::StaticClass();

Usual Error::THROW() {
    Usual self(Self());
    Usual block = ErrorBlock();
    if (block.IsCodeBlock()) return block.Eval({self});
    return RaiseError(std::static_pointer_cast<Error>(Self()));
}

ErrorRef MakeError(uint32_t genCode, std::string_view operation) {
    Error::StaticClass();  // registers the class for CreateInstance by name
    auto e = New<Error>();
    e->SubSystem = "BASE";
    e->GenCode = genCode;
    e->Severity = 2;
    e->Operation = std::string(operation);
    return e;
}

Usual RaiseError(const ErrorRef& e) {
    ChargeRaisedError();
    Usual block = ErrorBlock();
    if (block.IsCodeBlock()) return block.Eval({Usual(ObjectRef(e))});
    std::fprintf(stderr, "runtime error %u [%s] %s %s %s (%s)\n", e->GenCode,
                 std::string(ErrString(e->GenCode)).c_str(), e->Operation.c_str(), e->Description.c_str(),
                 e->FileName.c_str(), e->Arg.c_str());
    return Usual(false);
}

bool WantsRetry(const Error& e, const Usual& answer) { return e.CanRetry && answer.IsLogic() && answer.AsLogic(); }

Usual ErrorBlock() {
    std::lock_guard lock(gMutex);
    return gErrorBlock;
}

Usual ErrorBlock(const Usual& block) {
    std::lock_guard lock(gMutex);
    Usual old = gErrorBlock;
    gErrorBlock = block;
    return old;
}

bool BeginSequence(const std::function<void()>& body, const std::function<void(const Usual&)>& recover) {
    const int depth = ++tScopeDepth;
    try {
        body();
        // Parked inside this scope: it is this scope's to take. One parked
        // outside it (a handler that runs while an outer loop winds down)
        // goes on to where that loop returns.
        if (tParked && tParkedDepth >= depth) ThrowParked();
    } catch (BreakSignal& signal) {
        --tScopeDepth;
        if (recover) recover(signal.value);
        return false;
    } catch (...) {
        --tScopeDepth;
        throw;
    }
    --tScopeDepth;
    return true;
}

bool CanBreak() { return tScopeDepth > 0; }
int ScopeDepth() { return tScopeDepth; }

void ParkException(std::exception_ptr e) {
    if (tParked) return;
    tParked = std::move(e);
    tParkedDepth = tScopeDepth;
}

bool ExceptionParked() { return static_cast<bool>(tParked); }

void ThrowParked() {
    if (tParked) std::rethrow_exception(std::exchange(tParked, nullptr));
}

void LabelJump(const Usual& value) {
    if (tScopeDepth > 0) throw BreakSignal{value};
    std::fprintf(stderr, "break outside of a recovery scope\n");
    ErrorLevel(1);
    _Quit();
}

bool NetErr() {
    std::lock_guard lock(gMutex);
    return gNetErr;
}

bool NetErr(bool on) {
    std::lock_guard lock(gMutex);
    return std::exchange(gNetErr, on);
}

int ErrorLevel() {
    std::lock_guard lock(gMutex);
    return gErrorLevel;
}

int ErrorLevel(int code) {
    std::lock_guard lock(gMutex);
    return std::exchange(gErrorLevel, code);
}

void AddQuitHandler(std::function<void()> handler) {
    std::lock_guard lock(gMutex);
    gQuitHandlers.push_back(std::move(handler));
}

bool Quitting() {
    std::lock_guard lock(gMutex);
    return gQuitting;
}

void SetProcessExit(std::function<void(int)> exitFn) {
    std::lock_guard lock(gMutex);
    gExit = std::move(exitFn);
}

void _Quit() {
    // A quit runs each handler once. A handler that ends up here again (a
    // table that fails to close, answered with "Quit") carries on with the
    // handlers not yet started instead of beginning the round anew, which
    // would repeat without end.
    std::function<void(int)> exitFn;
    {
        std::lock_guard lock(gMutex);
        if (!std::exchange(gQuitting, true)) gQuitPending = gQuitHandlers;
        exitFn = gExit;
    }
    for (;;) {
        std::function<void()> handler;
        {
            std::lock_guard lock(gMutex);
            if (gQuitPending.empty()) break;
            handler = std::move(gQuitPending.back());
            gQuitPending.pop_back();
        }
        handler();
    }
    std::fflush(nullptr);
    int code = ErrorLevel();
    if (exitFn) exitFn(code);
    std::exit(code);
}

}  // namespace rt
