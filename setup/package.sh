#!/usr/bin/env bash
# Builds the Debian package qzscan_<version>_<arch>.deb in build-deb/, or
# the folder given (a build folder of its own, configured without tests): the five programs stripped, their
# debug information under /usr/lib/debug, the desktop entries, icons,
# AppStream metadata, manual pages and bash completions. Installs the
# Debian packages it needs first (skipped when they are there).
#   bash setup/package.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-deb}
bash setup/deps.sh dpkg-dev lintian help2man librsvg2-bin binutils gzip
# The compiler flags of setup/test.sh's build, so that ccache serves what it
# compiled, whatever the folder (the widget libraries, compiled with a
# precompiled header, are compiled anew: ccache does not cache those); the linker's hardening (read-only
# relocations, bound at start) costs no compile; the programs' folder is
# /usr/bin.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
bash setup/configure.sh "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_WERROR=ON -DQZ_BUILD_TESTS=OFF \
  -DQZ_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr -DQZ_INSTALL_SPLIT_DEBUG=ON \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now"
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/qzscan_*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$dir"/qzscan_*.deb
