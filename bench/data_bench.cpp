// data_bench: figures of the library's data classes, each side by side
// with a baseline measured in the same run.
#include "lib/data/dataclasses.h"

void RunArrayBench();

int main() {
    lib::RegisterDataClasses();
    RunArrayBench();
    return 0;
}
