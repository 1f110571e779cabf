// The function table of the expression language: compiled blocks call
// functions by name through it. The runtime registers its own functions
// here (Upper, SubStr, Str, CToD, ...); other layers add theirs (the table
// layer registers Deleted and RecNo).
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>

#include "platform/runtime/usual.h"

namespace rt {

// A function takes its arguments as passed (missing ones are not there).
using Function = std::function<Usual(Args args)>;

// Registers or replaces a function under its upper-case name.
void RegisterFunction(std::string_view name, Function fn);
// The function of that name (letter case ignored), nullptr when none. The
// pointer stays valid for the life of the process (a replaced function
// keeps its slot).
const Function* FindFunction(std::string_view name);

// Helpers for function bodies: raise an argument error (general code 1)
// naming the function and the argument, answering the error block's
// substitute or NIL.
Usual ArgFault(std::string_view function, size_t argNum, const Usual& got, std::string_view wanted);

// While one lives, argument faults name this 1-based position of the text
// being evaluated (the compiled call sets it around the function).
class CallSite {
public:
    explicit CallSite(size_t pos);
    ~CallSite();
    CallSite(const CallSite&) = delete;
    CallSite& operator=(const CallSite&) = delete;

private:
    size_t saved_;
};

}  // namespace rt
