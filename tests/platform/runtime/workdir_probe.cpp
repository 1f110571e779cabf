// Prints the work folder as the runtime chooses it for this executable:
// the tests copy it into writable and read-only folders and run the copy.
#include <cstdio>

#include "platform/runtime/paths.h"

int main() { std::fputs(rt::WorkDir().c_str(), stdout); }
