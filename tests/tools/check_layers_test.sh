#!/usr/bin/env bash
# Copies src/ and tools/ of the tree, adds one upward include (the table
# layer including the GUI) and one tool including the application, and
# expects the layer check to fail naming both, and only them.
set -euo pipefail
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$root/src" "$root/tools" "$work/"

bash "$root/tools/check-layers.sh" "$work" || { echo "the copy is not clean to begin with"; exit 1; }

victim=src/platform/rdd/fault.h
echo '#include "platform/gui/window.h"' >>"$work/$victim"
line=$(wc -l <"$work/$victim")
echo '#include "app/qzapp.h"' >>"$work/tools/qzdbf/main.cpp"
toolLine=$(wc -l <"$work/tools/qzdbf/main.cpp")

set +e
out=$(bash "$root/tools/check-layers.sh" "$work")
status=$?
set -e
echo "$out"
[[ $status -eq 1 ]] || { echo "expected exit status 1, got $status"; exit 1; }
expected="$victim:$line: includes \"platform/gui/window.h\" (platform/gui is above platform/rdd)
tools/qzdbf/main.cpp:$toolLine: includes \"app/qzapp.h\" (app is above tools)"
[[ $out == "$expected" ]] || { echo "expected:"; echo "$expected"; exit 1; }
