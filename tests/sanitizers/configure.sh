#!/usr/bin/env bash
# Configures a sanitizer build folder and prints its path.
#
#   tests/sanitizers/configure.sh address   # build-asan/: clang, AddressSanitizer
#                                           # + UBSan + the fuzzer's coverage hooks
#   tests/sanitizers/configure.sh thread    # build-tsan/: GCC, ThreadSanitizer
#
# build-asan/ instruments every library for libFuzzer's coverage guidance
# too (-fsanitize=fuzzer-no-link), so the one folder holds both the
# sanitized test programs and the fuzz targets (docs/sanitizers.md says why).
# Build type "Sanitize": one the project gives no flags of its own (with
# none, it would fall back to RelWithDebInfo's -O2 -DNDEBUG), so asserts
# stay on and -O1 holds (the test programs add -Og); no benchmarks; googletest lists its tests when ctest runs, under the
# sanitizer's options, not while building.
set -euo pipefail
kind=${1:-}
src=$(cd "$(dirname "$0")/../.." && pwd)
case "$kind" in
  address)
    dir="$src/build-asan"
    cc=clang cxx=clang++
    flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
    cxxflags="$flags -g -O1"
    # Warnings are the GCC build's concern (setup/test.sh); here they stay
    # warnings, so that a warning only clang gives does not stop the runs.
    werror=OFF
    ;;
  thread)
    dir="$src/build-tsan"
    cc=gcc cxx=g++
    flags="-fsanitize=thread"
    # GCC's flow analysis gives false "maybe uninitialized" warnings on
    # sanitized std::optional code; every other warning stays an error.
    cxxflags="$flags -g -O1 -Wno-maybe-uninitialized"
    werror=ON
    ;;
  *) echo "usage: $0 address|thread" >&2; exit 2 ;;
esac
generator="Unix Makefiles"
command -v ninja >/dev/null && generator=Ninja
launcher=""
command -v ccache >/dev/null && launcher=ccache
# A folder made for another compiler or generator is configured afresh.
if [ -f "$dir/CMakeCache.txt" ] &&
   ! { grep -qx "CMAKE_GENERATOR:INTERNAL=$generator" "$dir/CMakeCache.txt" &&
       grep -q "^CMAKE_CXX_COMPILER:[A-Z]*=.*/$cxx\$" "$dir/CMakeCache.txt"; }; then
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
CC=$cc CXX=$cxx cmake -S "$src" -B "$dir" -G "$generator" -DCMAKE_BUILD_TYPE=Sanitize -DQZ_WERROR=$werror -DQZ_BUILD_BENCH=OFF \
  -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
echo "$dir"
