#!/usr/bin/env bash
# Configures a build folder for setup/test.sh and setup/run.sh: the Ninja
# generator and the ccache compiler launcher where they are installed
# (setup/deps.sh installs both), Make and the bare compiler otherwise. A
# folder configured earlier for another generator is configured afresh.
#   bash setup/configure.sh DIR [cmake options...]
set -euo pipefail
dir=$1
shift
generator="Unix Makefiles"
command -v ninja >/dev/null && generator=Ninja
launcher=""
command -v ccache >/dev/null && launcher=ccache
if [ -f "$dir/CMakeCache.txt" ] && ! grep -qx "CMAKE_GENERATOR:INTERNAL=$generator" "$dir/CMakeCache.txt"; then
  echo "$dir was made for another generator: configuring it afresh for $generator" >&2
  rm -rf "$dir/CMakeCache.txt" "$dir/CMakeFiles"
fi
cmake -S . -B "$dir" -G "$generator" -DCMAKE_CXX_COMPILER_LAUNCHER="$launcher" "$@" >/dev/null
