#!/usr/bin/env bash
# Builds the Debian package qzscan_<version>_<arch>.deb in build-deb/ (a
# build folder of its own, without tests): the five programs stripped, their
# debug information under /usr/lib/debug, the desktop entries, icons,
# AppStream metadata, manual pages and bash completions. Installs the
# Debian packages it needs first (skipped when they are there).
#   bash setup/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash setup/deps.sh
packages=(dpkg-dev lintian help2man librsvg2-bin binutils gzip)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The compiler flags of setup/test.sh's build, so that ccache serves what it
# compiled; the programs' folder is /usr/bin.
bash setup/configure.sh build-deb -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_WERROR=ON -DQZ_BUILD_TESTS=OFF \
  -DQZ_BUILD_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr -DQZ_INSTALL_SPLIT_DEBUG=ON
cmake --build build-deb -j"$(nproc)"
rm -f build-deb/qzscan_*.deb
(cd build-deb && cpack -G DEB >/dev/null)
ls build-deb/qzscan_*.deb
