#!/usr/bin/env bash
# Builds a libFuzzer target with clang in build-fuzz/ (every library
# instrumented for coverage, AddressSanitizer and UBSan) and runs it on its
# corpus. Not part of CI. docs/testing.md.
#
#   tests/fuzz/run.sh build TARGET              # build only
#   tests/fuzz/run.sh run TARGET [SECONDS]      # build, then fuzz (default 60 s)
#   tests/fuzz/run.sh merge TARGET              # minimise the found corpus into the seeds
#
# New inputs go to build-fuzz/corpus-TARGET/ (the committed seeds in
# tests/fuzz/corpus/NAME/ are read, never written); crashes, leaks and
# timeouts land in build-fuzz/findings-TARGET/.
set -u
action=${1:-}
target=${2:-}
seconds=${3:-60}
src=$(cd "$(dirname "$0")/../.." && pwd)
dir="$src/build-fuzz"
case "$action" in
  build|run|merge) [ -n "$target" ] || { echo "usage: $0 build|run|merge TARGET [SECONDS]" >&2; exit 2; } ;;
  *) echo "usage: $0 build|run|merge TARGET [SECONDS]" >&2; exit 2 ;;
esac
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
CXX=clang++ CC=clang cmake -S "$src" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE= -DQZ_BUILD_BENCH=OFF "${launcher[@]}" \
      -DCMAKE_CXX_FLAGS="$flags -g -O1" -DCMAKE_C_FLAGS="$flags -g -O1" >/dev/null || exit 1
ninja -C "$dir" -j2 "$target" || exit 1
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
# A dictionary of the format's keywords, where the target has one.
dict="$src/tests/fuzz/${target%_fuzz}.dict"
[ -f "$dict" ] || dict=
# One child process at a time (fork mode): a crash, leak or timeout is saved
# in findings-TARGET/ and fuzzing goes on with a fresh child, so one run
# collects every kind of finding; the log is findings-TARGET/fuzz.log.
cd "$findings" || exit 1
ASAN_OPTIONS="detect_leaks=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  "$dir/tests/fuzz/$target" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$findings/" -print_final_stats=1 ${dict:+"-dict=$dict"} "$work" ${seeds:+"$seeds"} >"$findings/fuzz.log" 2>&1
