#!/usr/bin/env bash
# Builds the threaded parts' tests (and the library's control and widget
# tests) with ThreadSanitizer or AddressSanitizer + UndefinedBehaviorSanitizer
# in a build directory of their own, and runs them offscreen. Not part of CI:
# a sanitizer build of these targets takes several minutes on two cores.
#
#   tests/sanitizers/run.sh thread  [target...]   # build-tsan/
#   tests/sanitizers/run.sh address [target...]   # build-asan/
#
# Reports go to build-*/sanitizer-logs/<test>.<pid>; the script ends with
# the count of tests that failed or left a report. docs/sanitizers.md.
set -u
kind=${1:-}
shift || true
src=$(cd "$(dirname "$0")/../.." && pwd)
supp="$src/tests/sanitizers"
case "$kind" in
  thread)  dir=build-tsan; flags="-fsanitize=thread" ;;
  address) dir=build-asan; flags="-fsanitize=address,undefined -fno-omit-frame-pointer" ;;
  *) echo "usage: $0 thread|address [target...]" >&2; exit 2 ;;
esac
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(os_tests libsystem_tests libtimers_tests libserial_tests message_tests
                                     libwindowside_tests libcontrols_tests libwidgets_tests)
# GCC's flow analysis gives false "maybe uninitialized" warnings on
# sanitized std::optional code; every other warning stays an error.
cxx="$flags -g -O1 -Wno-maybe-uninitialized"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$src" -B "$src/$dir" -DCMAKE_BUILD_TYPE= -DQZ_WERROR=ON -DQZ_BUILD_BENCH=OFF "${launcher[@]}" \
      -DCMAKE_CXX_FLAGS="$cxx" -DCMAKE_C_FLAGS="$flags -g -O1" \
      -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null || exit 1
cmake --build "$src/$dir" -j2 --target "${targets[@]}" || exit 1

logs="$src/$dir/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen
bad=0
for t in "${targets[@]}"; do
  bin=$(find "$src/$dir/tests" -type f -name "$t" -perm -u+x | head -1)
  [ -n "$bin" ] || { echo "$t: not built"; bad=$((bad + 1)); continue; }
  TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 log_path=$logs/$t" \
  ASAN_OPTIONS="detect_leaks=1:log_path=$logs/$t" \
  LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0" \
  UBSAN_OPTIONS="print_stacktrace=1:log_path=$logs/$t" \
    timeout 600 "$bin" >"$logs/$t.out" 2>&1
  rc=$?
  reports=$(find "$logs" -name "$t.[0-9]*" | wc -l)
  echo "$t: exit $rc, $reports report file(s), $(grep -E '^\[  (PASSED|FAILED)' "$logs/$t.out" | tr '\n' ' ')"
  [ "$rc" -eq 0 ] && [ "$reports" -eq 0 ] || bad=$((bad + 1))
done
echo "$bad of ${#targets[@]} test programs failed or left a report (in $logs)"
[ "$bad" -eq 0 ]
