#!/usr/bin/env bash
# Runs built libFuzzer targets as CI does (tests/fuzz/run.sh ci calls it):
# each target first over its committed seeds (tests/fuzz/corpus/NAME/),
# then SECONDS of new inputs grown from them, two targets at a time. Any
# crash, leak, timeout or memory blow-up fails the run and names the input
# that shows it; one line per target gives executions, seconds and result.
#
#   tests/fuzz/ci.sh BUILD_DIR SECONDS TARGET...
set -u
dir=$1
seconds=$2
shift 2
src=$(cd "$(dirname "$0")/../.." && pwd)
jobs=${QZ_FUZZ_JOBS:-$(nproc)}
out_root="$dir/fuzz-ci"
rm -rf "$out_root"

# Prints the number of inputs a libFuzzer log says it ran.
executions() { sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -1; }

# fuzz_one TARGET: writes TARGET's line to fuzz-ci/TARGET/result, with the
# findings' files after it when it fails.
fuzz_one() {
  local t=$1 out="$out_root/$1" seeds="$src/tests/fuzz/corpus/${1%_fuzz}"
  # libFuzzer's time limit is wall-clock time: 30 s per input still shows a
  # hang, and leaves room for a machine loaded by other work (the slowest
  # expression seed takes 3 s of CPU under the sanitizers).
  local bin="$dir/tests/fuzz/$t" common=(-timeout=30 -rss_limit_mb=2048 -print_final_stats=1)
  mkdir -p "$out/new" "$out/findings"
  [ -d "$seeds" ] || seeds=
  local n_seeds=0 t0=$SECONDS rc=0
  [ -n "$seeds" ] && n_seeds=$(find "$seeds" -type f | wc -l)
  # The seeds once each (-runs=0 runs the given corpus and stops).
  "$bin" "${common[@]}" -runs=0 -artifact_prefix="$out/findings/" "$out/new" ${seeds:+"$seeds"} \
    >"$out/seeds.log" 2>&1 || rc=$?
  local seed_time=$((SECONDS - t0)) fuzz_time=0 ran=0
  if [ "$rc" -eq 0 ]; then
    # libFuzzer counts its time from its start, the seeds' second run included.
    t0=$SECONDS
    timeout $((seconds + seed_time + 300)) "$bin" "${common[@]}" -max_total_time=$((seconds + seed_time)) \
      -artifact_prefix="$out/findings/" "$out/new" ${seeds:+"$seeds"} >"$out/fuzz.log" 2>&1 || rc=$?
    fuzz_time=$((SECONDS - t0))
    ran=$(executions "$out/fuzz.log")
  fi
  local found
  found=$(find "$out/findings" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \))
  {
    if [ "$rc" -eq 0 ] && [ -z "$found" ]; then
      echo "$t: $n_seeds seeds in ${seed_time} s, ${ran:-0} executions in ${fuzz_time} s: ok"
    else
      echo "$t: $n_seeds seeds in ${seed_time} s, ${ran:-0} executions in ${fuzz_time} s: FAILED (exit $rc)"
      local f
      for f in $found; do
        echo "  finding: $f"
        # Seeds are named by the hash libFuzzer gives its findings.
        [ -n "$seeds" ] && [ -f "$seeds/${f##*-}" ] && echo "  (the committed seed $seeds/${f##*-})"
      done
      local log="$out/seeds.log"
      [ -f "$out/fuzz.log" ] && log="$out/fuzz.log"
      echo "  log: $log"
      grep -E -A 30 '^==[0-9]+==ERROR|runtime error:|^ALARM|out-of-memory' "$log" | head -n 40 | sed 's/^/    /'
    fi
  } >"$out/result"
}

for t in "$@"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
  fuzz_one "$t" &
done
wait
bad=0
for t in "$@"; do
  cat "$out_root/$t/result"
  grep -q ': ok$' "$out_root/$t/result" || bad=$((bad + 1))
done
echo "fuzz: $(($# - bad)) passed, $bad failed"
[ "$bad" -eq 0 ]
