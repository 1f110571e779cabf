#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping the
# step when every one of them is present already.
set -euo pipefail
packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libqt6svg6 libgl-dev xvfb xauth fonts-dejavu-core
          python3 python3-dbfread python3-dbf)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
