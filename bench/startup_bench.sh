#!/usr/bin/env bash
# Start-up time: from starting a program to its window mapped on the
# screen, for qzscan's shell window and for a Qt Widgets program that shows
# one window and does nothing else (startup_minimal, the baseline), in one
# run under a virtual X server and the openbox window manager of its own.
# The two are started in turn, several times each (one warm-up run each
# first, not counted); the figure is the median. Goal: qzscan within 1.5
# times the baseline.
#
# The moment of mapping is the window manager's MapNotify on the root
# window, read as it happens from xev; `xdotool search --sync` confirms
# that the window mapped is the program's (it polls twice a second, too
# coarse to time with).
#
#   startup_bench.sh QZSCAN STARTUP_MINIMAL [RUNS]
# QZ_BENCH_SMOKE=1 makes it one counted run each. Exit 77 when a tool it
# needs is missing.
set -uo pipefail
program=$1 minimal=$2
runs=${3:-9}
case "${QZ_BENCH_SMOKE:-}" in "" | 0) ;; *) runs=1 ;; esac
for tool in Xvfb openbox xdotool xev xprop stdbuf; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done

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

# Every window mapped on the root (the manager's frames), with the time it
# was heard.
: >"$work/maps"
stdbuf -oL xev -root -event substructure 2>/dev/null | while IFS= read -r line; do
  case $line in MapNotify*) echo "$EPOCHREALTIME" ;; esac
done >>"$work/maps" &
pids+=($!)

mkdir -p "$work/app"
# run WARMUP TITLE COMMAND...: seconds from the start to the first map
# after it. The warm-up runs (the first of each program, which also covers
# xev still starting) may go unheard.
run() {
  local warmup=$1 title=$2; shift 2
  local before start pid wid at end
  before=$(wc -l <"$work/maps")
  start=$EPOCHREALTIME
  "$@" >/dev/null 2>"$work/stderr" &
  pid=$!
  # xdotool gives up when a window it looks at goes away meanwhile (the
  # frame of the program stopped before): it is asked again.
  wid="" end=$((SECONDS + 30))
  while [ -z "$wid" ] && [ "$SECONDS" -lt "$end" ]; do
    wid=$(timeout 30 xdotool search --sync --onlyvisible --name "$title" 2>/dev/null | head -n1)
  done
  within "$((warmup ? 2 : 10))" bash -c "[ \$(wc -l <'$work/maps') -gt $before ]"
  at=$(sed -n "$((before + 1))p" "$work/maps")
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if [ -z "$wid" ] || { [ -z "$at" ] && [ "$warmup" = 0 ]; }; then
    echo "no window \"$title\" within 30 s:" >&2
    cat "$work/stderr" >&2
    return 1
  fi
  awk -v a="$at" -v s="$start" 'BEGIN { printf "%.4f\n", a - s }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

qz=() base=()
for ((i = 0; i <= runs; ++i)); do
  w=$((i == 0))
  a=$(QZ_WORKDIR="$work/app" run "$w" "Quorvex Stocktake Utility" "$program") || exit 1
  b=$(run "$w" "startup baseline" "$minimal" "startup baseline") || exit 1
  if ((i > 0)); then qz+=("$a") base+=("$b"); fi
done
mq=$(printf '%s\n' "${qz[@]}" | median)
mb=$(printf '%s\n' "${base[@]}" | median)
echo "start-up to the window mapped, median of $runs runs each (load: $(cut -d' ' -f1-3 /proc/loadavg))"
echo "  qzscan shell window      ${mq} s   runs: ${qz[*]}"
echo "  minimal Qt window        ${mb} s   runs: ${base[*]}   (baseline)"
awk -v q="$mq" -v b="$mb" 'BEGIN {
  r = b > 0 ? q / b : 0
  printf "  qzscan / baseline: %.2fx   goal <= 1.50x   %s\n", r, r <= 1.5 ? "met" : "missed" }'
