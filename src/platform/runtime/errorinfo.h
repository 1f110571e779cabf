// The error information block: the raw record in which the runtime
// describes a fault to its error hook, and from which an Error object is
// built.
//
// The fields keep the runtime's order. On this 64-bit system every pointer
// takes 8 bytes and every field sits at a multiple of its own size, so the
// block is 136 bytes (the offsets are checked below and listed in
// docs/errors.md). Texts are zero-terminated; a null pointer is an empty
// text. Symbols are the runtime's 4-byte symbol values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/runtime/error.h"
#include "platform/runtime/usual.h"

namespace rt {

// The argument list of the failed call. Both counts are kept: the number
// of arguments passed and the number of parameters declared. The values
// array always holds the larger of the two (missing arguments are nil), so
// reading that many values is safe.
struct ErrorArgList {
    uint16_t count = 0;             // +0  arguments passed
    uint16_t declared = 0;          // +2  parameters declared
    uint32_t reserved = 0;          // +4
    const Usual* values = nullptr;  // +8  max(count, declared) values
};

struct ErrorInfo {
    const char* SubSystem = nullptr;     //   0
    uint32_t SubCode = 0;                //   8
    uint32_t GenCode = 0;                //  12
    uint32_t OsCode = 0;                 //  16
    uint32_t Severity = 0;               //  20
    int32_t CanDefault = 0;              //  24  logical, 0 false
    int32_t CanRetry = 0;                //  28
    int32_t CanSubstitute = 0;           //  32
    uint32_t reserved1 = 0;              //  36  alignment
    const char* Operation = nullptr;     //  40
    const char* Description = nullptr;   //  48
    const char* FileName = nullptr;      //  56
    const ErrorArgList* Args = nullptr;  //  64  may be null
    uint32_t Tries = 0;                  //  72
    Symbol FuncSym;                      //  76
    uint32_t FileHandle = 0;             //  80
    uint32_t ArgNum = 0;                 //  84
    const void* FuncPtr = nullptr;       //  88
    const char* SubCodeText = nullptr;   //  96
    const char* Arg = nullptr;           // 104
    uint32_t ArgType = 0;                // 112
    uint32_t ArgTypeReq = 0;             // 116
    uint32_t MaxSize = 0;                // 120
    uint32_t SubstituteType = 0;         // 124
    uint32_t CHOICE = 0;                 // 128
    Symbol CallFuncSym;                  // 132
};

static_assert(sizeof(void*) == 8, "the error information block is laid out for 64-bit pointers");
static_assert(sizeof(Symbol) == 4);
static_assert(offsetof(ErrorInfo, OsCode) == 16 && offsetof(ErrorInfo, CanSubstitute) == 32);
static_assert(offsetof(ErrorInfo, Operation) == 40 && offsetof(ErrorInfo, Args) == 64);
static_assert(offsetof(ErrorInfo, FuncSym) == 76 && offsetof(ErrorInfo, FuncPtr) == 88);
static_assert(offsetof(ErrorInfo, Arg) == 104 && offsetof(ErrorInfo, CHOICE) == 128);
static_assert(offsetof(ErrorInfo, CallFuncSym) == 132 && sizeof(ErrorInfo) == 136);
static_assert(offsetof(ErrorArgList, values) == 8 && sizeof(ErrorArgList) == 16);

// Fills an error's fields from a block: texts as strings (null: ""), the
// numbers, logicals, symbols and the pointer as they are, ARGS as an array
// of the argument list's values (empty without a list), and CHOICE only
// while the error's own CHOICE is still 0.
void FillError(Error& e, const ErrorInfo& info);

// A new Error object filled from a block.
ErrorRef ErrorBuild(const ErrorInfo& info);

// The runtime's error function: turns a value holding a pointer to an
// error information block into an Error object. nullptr: none installed.
using ErrorFuncFn = Usual (*)(const Usual& block);
ErrorFuncFn ErrorFunc();
ErrorFuncFn ErrorFunc(ErrorFuncFn fn);  // returns the previous function

// How many runtime instances this process holds: always 1 here (the
// runtime is linked into the program, not loaded per module).
int _GetRTCount();

// Raises a fault described by a block: the error function (ErrorBuild when
// none is installed) makes the Error object, which then goes to the error
// block like any other error. Returns the error block's answer.
Usual RaiseErrorInfo(const ErrorInfo& info);

}  // namespace rt
