#!/usr/bin/env bash
# Builds libFuzzer targets in build-asan/ (clang; every library instrumented
# for coverage, AddressSanitizer and UBSan: tests/sanitizers/configure.sh)
# and runs them on their corpus. docs/testing.md.
#
#   tests/fuzz/run.sh build TARGET              # build only
#   tests/fuzz/run.sh run TARGET [SECONDS]      # build, then fuzz (default 60 s)
#   tests/fuzz/run.sh merge TARGET              # minimise the found corpus into the seeds
#   tests/fuzz/run.sh ci [SECONDS]              # every target: its seeds, then SECONDS
#                                               # (default 20) of new inputs; CI runs this
#
# tests/fuzz/NAME.dict, where it exists, is passed as the -dict= of keywords.
#
# New inputs go to build-asan/corpus-TARGET/ (the committed seeds in
# tests/fuzz/corpus/NAME/ are read, never written); crashes, leaks and
# timeouts land in build-asan/findings-TARGET/.
set -u
action=${1:-}
target=${2:-}
seconds=${3:-60}
src=$(cd "$(dirname "$0")/../.." && pwd)
usage="usage: $0 build|run|merge TARGET [SECONDS] | ci [SECONDS]"
case "$action" in
  build|run|merge) [ -n "$target" ] || { echo "$usage" >&2; exit 2; } ;;
  ci) seconds=${2:-20} ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
dir=$(bash "$src/tests/sanitizers/configure.sh" address) || exit 1
export ASAN_OPTIONS="detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

if [ "$action" = ci ]; then
  # The targets are the ones tests/fuzz/CMakeLists.txt declares.
  mapfile -t targets < <(sed -nE 's/^[[:space:]]*qz_fuzz_target\(([A-Za-z0-9_]+).*/\1/p' "$src/tests/fuzz/CMakeLists.txt")
  [ ${#targets[@]} -gt 0 ] || { echo "no qz_fuzz_target in tests/fuzz/CMakeLists.txt" >&2; exit 1; }
  cmake --build "$dir" -j2 --target "${targets[@]}" || exit 1
  exec bash "$src/tests/fuzz/ci.sh" "$dir" "$seconds" "${targets[@]}"
fi

cmake --build "$dir" -j2 --target "$target" || exit 1
[ "$action" = build ] && exit 0

seeds="$src/tests/fuzz/corpus/${target%_fuzz}"
work="$dir/corpus-$target"
findings="$dir/findings-$target"
mkdir -p "$work" "$findings"
if [ "$action" = merge ]; then
  # The seeds are rewritten as the smallest set with the coverage of both.
  fresh=$(mktemp -d)
  # Edges only (no hit counts), which keeps the seeds few and small.
  "$dir/tests/fuzz/$target" -merge=1 -use_counters=0 "$fresh" "$seeds" "$work" >"$findings/merge.log" 2>&1 || exit 1
  rm -rf "$seeds" && mv "$fresh" "$seeds" && chmod 755 "$seeds"
  exit 0
fi
[ -d "$seeds" ] || seeds=
# A dictionary of the format's keywords, where there is one.
dict="$src/tests/fuzz/${target%_fuzz}.dict"
[ -f "$dict" ] || dict=
# One child process at a time (fork mode): a crash, leak or timeout is saved
# in findings-TARGET/ and fuzzing goes on with a fresh child, so one run
# collects every kind of finding; the log is findings-TARGET/fuzz.log.
cd "$findings" || exit 1
"$dir/tests/fuzz/$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$findings/" -print_final_stats=1 ${dict:+"-dict=$dict"} "$work" ${seeds:+"$seeds"} >"$findings/fuzz.log" 2>&1
