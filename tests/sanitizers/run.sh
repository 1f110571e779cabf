#!/usr/bin/env bash
# Runs the tests under a sanitizer, in a build folder of its own
# (tests/sanitizers/configure.sh), offscreen. docs/sanitizers.md says
# which of its runs CI makes.
#
#   tests/sanitizers/run.sh address            # build-asan/: every test but the
#                                              # e2e ones, AddressSanitizer + UBSan
#   tests/sanitizers/run.sh thread             # build-tsan/: the threaded parts
#   tests/sanitizers/run.sh KIND target...     # those test programs only
#
# Every report is written to BUILD/sanitizer-logs/ and printed at the end;
# a failed test or any report fails the run. docs/sanitizers.md.
set -u
kind=${1:-}
shift || true
src=$(cd "$(dirname "$0")/../.." && pwd)
supp="$src/tests/sanitizers"
case "$kind" in
  thread | address) ;;
  *) echo "usage: $0 thread|address [target...]" >&2; exit 2 ;;
esac
dir=$(bash "$supp/configure.sh" "$kind") || exit 1
targets=("$@")
# The threaded parts: the OS services and the handle table, processes and
# their reaper, the communications layer and Serial, the timers, the
# registry store, messages posted and sent from other threads, the
# boundary that keeps exceptions out of Qt's frames, and the export's
# writer thread and the totals' reader threads.
[ ${#targets[@]} -gt 0 ] || [ "$kind" = address ] ||
  targets=(os_tests libsystem_tests libtimers_tests libserial_tests message_tests libwindowside_tests gui_tests
           export_tests)
cmake --build "$dir" -j2 ${targets[@]:+--target "${targets[@]}"} || exit 1

logs="$dir/sanitizer-logs"
rm -rf "$logs"
mkdir -p "$logs"
export QT_QPA_PLATFORM=offscreen
export TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 log_path=$logs/tsan log_exe_name=1"
export ASAN_OPTIONS="detect_leaks=1:log_path=$logs/asan:log_exe_name=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$logs/ubsan:log_exe_name=1"
bad=0
if [ ${#targets[@]} -eq 0 ]; then
  # The e2e tests drive the real program on an X server of its own; the
  # normal build runs them (docs/sanitizers.md).
  (cd "$dir" && ctest -LE e2e -j2 --timeout 900 --output-on-failure) >"$logs/ctest.out" 2>&1 || bad=1
  grep -E '^[0-9]+% tests passed|^Total Test time|\(Failed\)|\(Timeout\)|\(SEGFAULT\)|\*\*\*' "$logs/ctest.out"
else
  for t in "${targets[@]}"; do
    bin=$(find "$dir/tests" -type f -name "$t" -perm -u+x | head -1)
    [ -n "$bin" ] || { echo "$t: not built"; bad=1; continue; }
    timeout 900 "$bin" >"$logs/$t.out" 2>&1
    rc=$?
    echo "$t: exit $rc, $(grep -E '^\[  (PASSED|FAILED)' "$logs/$t.out" | tr '\n' ' ')"
    [ "$rc" -eq 0 ] || bad=1
  done
fi
reports=$(find "$logs" -type f -name '*san.*' | sort)
for r in $reports; do
  echo "=== $r"
  head -n 60 "$r"
done
echo "$kind sanitizer: $(echo "$reports" | grep -c .) report file(s) in $logs"
[ "$bad" -eq 0 ] && [ -z "$reports" ]
