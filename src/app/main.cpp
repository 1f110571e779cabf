// Program entry. Until the windows exist the program only names itself.
#include <cstdio>

#include "platform/runtime/version.h"

int main() {
    std::printf("%s\n", rt::Version().c_str());
    return 0;
}
