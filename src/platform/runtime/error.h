// Error objects, the error block, recovery scopes and process end.
//
// Every runtime fault becomes an Error object that is handed to the error
// block (a code block). The block's answer tells the raiser what to do:
// FALSE use the default, TRUE retry, another value substitute it. A block may
// also leave through LabelJump to the innermost recovery scope.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/runtime/object.h"

namespace rt {

// General error codes.
enum GenCode : uint32_t {
    kGenArg = 1,
    kGenBound = 2,
    kGenStrOverflow = 3,
    kGenNumOverflow = 4,
    kGenZeroDiv = 5,
    kGenNumErr = 6,
    kGenSyntax = 7,
    kGenComplexity = 8,
    kGenMem = 11,
    kGenNoFunc = 12,
    kGenNoMethod = 13,
    kGenNoVar = 14,
    kGenNoAlias = 15,
    kGenNoVarMethod = 16,
    kGenCreate = 20,
    kGenOpen = 21,
    kGenClose = 22,
    kGenRead = 23,
    kGenWrite = 24,
    kGenPrint = 25,
    kGenNoClass = 26,
    kGenWrongClass = 28,
    kGenUnsupported = 30,
    kGenLimit = 31,
    kGenCorruption = 32,
    kGenDataType = 33,
    kGenDataWidth = 34,
    kGenNoTable = 35,
    kGenShared = 37,
    kGenUnlocked = 38,
    kGenReadOnly = 39,
    kGenAppendLock = 40,
    kGenLock = 41,
};

// The runtime's text for a general code ("Open error"); "Unknown error" for
// codes without one.
std::string_view ErrString(uint32_t genCode);

class Error : public Object {
    QZ_OBJECT(Error)
public:
    // The 27 fields, in their declared order.
    std::string SubSystem;
    uint32_t SubCode = 0;
    uint32_t GenCode = 0;
    uint32_t OsCode = 0;
    uint32_t Severity = 0;
    bool CanDefault = false;
    bool CanRetry = false;
    bool CanSubstitute = false;
    std::string Operation;
    std::string Description;
    std::string FileName;
    Usual ARGS = Usual::Array();
    uint32_t Tries = 0;
    Symbol FuncSym;
    uint32_t FileHandle = 0;
    uint32_t ArgNum = 0;
    Pointer FuncPtr;
    std::string SubCodeText;
    std::string Arg;
    uint32_t ArgType = 0;
    uint32_t ArgTypeReq = 0;
    uint32_t MaxSize = 0;
    uint32_t SubstituteType = 0;
    uint32_t CHOICE = 0;
    Symbol CallFuncSym;
    Usual CARGO;
    Usual METHODSELF;

    // Evaluates the current error block with this error; returns its answer.
    Usual THROW();

    void HeldValues(const std::function<void(const Usual&)>& visit) const override {
        visit(ARGS);
        visit(CARGO);
        visit(METHODSELF);
    }
    void DropValues() override { ARGS = CARGO = METHODSELF = Usual(); }
};

using ErrorRef = std::shared_ptr<Error>;

// A new error of the runtime's own subsystem with severity 2 (error).
ErrorRef MakeError(uint32_t genCode, std::string_view operation = {});

// Hands the error to the current error block and returns its answer. Without
// a block the error is written to stderr and FALSE is returned.
Usual RaiseError(const ErrorRef& e);

// True when the handler answered "retry" to an error that allows it.
bool WantsRetry(const Error& e, const Usual& answer);

// The error block: read, or replace (returns the previous block).
Usual ErrorBlock();
Usual ErrorBlock(const Usual& block);

// Recovery scopes ("begin sequence ... recover ... end sequence").
// Runs body; a LabelJump from anywhere inside it (however deep) leaves the
// body and passes the value to recover. Returns true when body ended normally.
// An exception parked on the thread (below) while the scope was active is
// taken, when body returns, as thrown from its end.
bool BeginSequence(const std::function<void()>& body, const std::function<void(const Usual&)>& recover = {});
// Whether a recovery scope is active on this thread; how many are.
bool CanBreak();
int ScopeDepth();
// Leaves the innermost recovery scope with a value; does not return. With no
// scope active the value is raised as an error of its own and the process ends.
[[noreturn]] void LabelJump(const Usual& value);

// Exceptions held back from an event loop's frames. Where the GUI loop
// calls into our code, whatever leaves the handler (a break included) is
// caught and parked on the thread instead of unwinding the loop; the loop
// that ran the handler is ended, and the exception is thrown on once
// control is back in our own frames (where that loop returns, or at the end
// of the recovery scope's body). The first parked exception wins: a later
// one, parked while it is still on its way out, is dropped.
void ParkException(std::exception_ptr e);
bool ExceptionParked();
// Throws the parked exception, if there is one, and clears it.
void ThrowParked();

// The network-error flag: set by a quiet sharing conflict.
bool NetErr();
bool NetErr(bool on);

// The process exit code used by _Quit.
int ErrorLevel();
int ErrorLevel(int code);

// Runs the registered quit handlers (last registered first), then ends the
// process with ErrorLevel as exit code.
[[noreturn]] void _Quit();
// Whether a _Quit has begun: the process is ending and asks nobody again.
bool Quitting();
void AddQuitHandler(std::function<void()> handler);
// Replaces the final exit (the GUI layer ends its loop first; tests record).
void SetProcessExit(std::function<void(int)> exitFn);

}  // namespace rt
