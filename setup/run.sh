#!/usr/bin/env bash
# Builds the program and starts it; with --gallery first, the library
# gallery instead (its other arguments, such as --tray, go to it). Without a
# display (a bare server) it starts a virtual one on :99 first; look at it
# with `DISPLAY=:99 import -window root shot.png`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash setup/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
target=qzscan program=./build/src/app/qzscan
if [ "${1:-}" = "--gallery" ]; then
  shift
  target=qzgallery program=./build/tools/qzgallery/qzgallery
fi
cmake --build build -j"$(nproc)" --target "$target"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  Xvfb :99 -screen 0 1024x768x24 >/dev/null 2>&1 &
  export DISPLAY=:99
  sleep 1
  echo "No display: QZScan runs on the virtual display :99." >&2
fi
exec "$program" "$@"
