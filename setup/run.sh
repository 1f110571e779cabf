#!/usr/bin/env bash
# Builds the program and starts it. Without a display (a bare server) it
# starts a virtual one on :99 first; look at it with
# `DISPLAY=:99 import -window root shot.png`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash setup/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target qzscan
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  Xvfb :99 -screen 0 1024x768x24 >/dev/null 2>&1 &
  export DISPLAY=:99
  sleep 1
  echo "No display: QZScan runs on the virtual display :99." >&2
fi
exec ./build/src/app/qzscan "$@"
