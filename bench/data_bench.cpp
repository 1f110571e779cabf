// data_bench: figures of the library's data classes, each side by side
// with a baseline measured in the same run.
#include "lib/data/dataclasses.h"

void RunArrayBench();
void RunIndexBench();

int main() {
    lib::RegisterDataClasses();
    RunIndexBench();
    RunArrayBench();
    return 0;
}
