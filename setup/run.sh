#!/usr/bin/env bash
# Builds the program and starts it; with --gallery first, the library
# gallery instead (its other arguments, such as --tray, go to it). Without a
# display (a bare server) it starts a virtual one on a free display first
# and names it; look at it with `DISPLAY=:N import -window root shot.png`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash setup/deps.sh
bash setup/configure.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo
target=qzscan program=./build/src/app/qzscan
if [ "${1:-}" = "--gallery" ]; then
  shift
  target=qzgallery program=./build/tools/qzgallery/qzgallery
fi
cmake --build build -j"$(nproc)" --target "$target"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # The server picks a free display and writes its number once it accepts
  # clients.
  exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -noreset 2>/dev/null)
  read -r -t 30 number <&3 || { echo "Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$number"
  echo "No display: the program runs on the virtual display $DISPLAY." >&2
fi
exec "$program" "$@"
