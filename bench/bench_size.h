// The sizes a benchmark works on. With QZ_BENCH_SMOKE set (and not "0") each
// takes its tiny size: the test suite runs every benchmark once that way, so
// that none stops building or running unnoticed; its figures then mean
// nothing.
#pragma once

#include <cstdlib>
#include <cstring>

inline bool BenchSmoke() {
    static const bool smoke = [] {
        const char* v = std::getenv("QZ_BENCH_SMOKE");
        return v != nullptr && *v != '\0' && std::strcmp(v, "0") != 0;
    }();
    return smoke;
}

// full, or tiny when the run is a smoke test.
template <class T>
T BenchSize(T full, T tiny) {
    return BenchSmoke() ? tiny : full;
}
