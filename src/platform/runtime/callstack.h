// The call stack of the running program, read from its debug information.
#pragma once

#include <string>
#include <vector>

namespace rt {

struct Activation {
    std::string name;  // qualified function name without parameter list
    std::string file;
    int line = 0;
};

// The activations of the calling thread, nearest first: element 0 is the
// function that called CallStack. Frames of the standard library and frames
// without debug information are left out.
std::vector<Activation> CallStack();

// Name and line of activation n: 0 is the function calling ProcName, 1 its
// caller, and so on. Past the end of the stack the name is empty and the
// line 0.
std::string ProcName(int n = 0);
int ProcLine(int n = 0);

}  // namespace rt
