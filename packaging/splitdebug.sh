#!/bin/sh
# Strips an installed program and keeps its debug information in
# DEBUGROOT/.build-id/xx/yyyy.debug, the place debuggers and the runtime's
# call stack (libbacktrace) look for it by the program's build ID.
#   splitdebug.sh PROGRAM DEBUGROOT
set -eu
program=$1
root=$2
id=$(readelf -n "$program" | sed -n 's/^ *Build ID: *//p')
[ -n "$id" ] || { echo "splitdebug.sh: $program has no build ID" >&2; exit 1; }
dir=$root/.build-id/$(printf %s "$id" | cut -c1-2)
debug=$dir/$(printf %s "$id" | cut -c3-).debug
mkdir -p "$dir"
objcopy --only-keep-debug --compress-debug-sections "$program" "$debug"
chmod 0644 "$debug"
strip --remove-section=.comment --remove-section=.note --strip-unneeded "$program"
objcopy --add-gnu-debuglink="$debug" "$program"
