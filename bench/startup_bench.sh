#!/usr/bin/env bash
# Start-up time: from starting a program to its window mapped on the
# screen, for qzscan's shell window and for a Qt Widgets program that shows
# one window and does nothing else (startup_minimal, the baseline), in one
# run under a virtual X server and the openbox window manager of its own.
# The two are started in turn, several rounds (one warm-up round first, not
# counted); the figure is the median of the rounds' ratios. Goal: qzscan
# within 1.5 times the baseline.
#
# The stopwatch is startup_mapclock, beside the baseline program: it starts
# the program and hears the window manager's MapNotify on the root window
# on its own X connection, then checks that the window is the program's.
#
#   startup_bench.sh QZSCAN STARTUP_MINIMAL [RUNS]
# QZ_BENCH_SMOKE=1 makes it one counted run each. Exit 77 when a tool it
# needs is missing.
set -uo pipefail
program=$1 minimal=$2
runs=${3:-31}
case "${QZ_BENCH_SMOKE:-}" in "" | 0) ;; *) runs=1 ;; esac
for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
[ -x "$(dirname "$minimal")/startup_mapclock" ] || { echo "SKIP: startup_mapclock is not built"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
within() {  # within SECONDS command...: true as soon as the command is, false after SECONDS
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ "$SECONDS" -ge "$end" ] && return 1; sleep 0.02; done
}

exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
within 30 test -s "$work/displayfd" || { echo "SKIP: Xvfb did not start"; exit 77; }
export DISPLAY=":$(head -n1 "$work/displayfd")"
openbox >/dev/null 2>&1 &
pids+=($!)
within 30 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'" ||
  { echo "SKIP: openbox did not start"; exit 77; }
export QT_QPA_PLATFORM=xcb

mkdir -p "$work/app"
# run TITLE COMMAND...: seconds from the start to the first map after it,
# timed by the stopwatch beside the baseline program.
clock="$(dirname "$minimal")/startup_mapclock"
run() {
  local title=$1; shift
  if ! "$clock" "$title" "$@" 2>"$work/stderr"; then
    echo "no window \"$title\" within 30 s:" >&2
    cat "$work/stderr" >&2
    return 1
  fi
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Each round starts both programs, in turns of order, and gives one ratio;
# the figure is the median of the rounds' ratios, so that a slow spell of a
# shared machine weighs on both sides of a round rather than on one side of
# the comparison.
qz=() base=() ratios=()
for ((i = 0; i <= runs; ++i)); do
  if ((i % 2)); then
    b=$(run "startup baseline" "$minimal" "startup baseline") || exit 1
    a=$(QZ_WORKDIR="$work/app" run "Quorvex Stocktake Utility" "$program") || exit 1
  else
    a=$(QZ_WORKDIR="$work/app" run "Quorvex Stocktake Utility" "$program") || exit 1
    b=$(run "startup baseline" "$minimal" "startup baseline") || exit 1
  fi
  if ((i > 0)); then
    qz+=("$a") base+=("$b")
    ratios+=("$(awk -v q="$a" -v b="$b" 'BEGIN { printf "%.3f", (b > 0 ? q / b : 0) }')")
  fi
done
mq=$(printf '%s\n' "${qz[@]}" | median)
mb=$(printf '%s\n' "${base[@]}" | median)
mr=$(printf '%s\n' "${ratios[@]}" | median)
echo "start-up to the window mapped, median of $runs rounds (load: $(cut -d' ' -f1-3 /proc/loadavg))"
echo "  qzscan shell window      ${mq} s   runs: ${qz[*]}"
echo "  minimal Qt window        ${mb} s   runs: ${base[*]}   (baseline)"
echo "  ratios by round: ${ratios[*]}"
awk -v r="$mr" 'BEGIN {
  printf "  qzscan / baseline (median of the rounds): %.2fx   goal <= 1.50x   %s\n", r, (r > 0 && r <= 1.5 ? "met" : "missed") }'
