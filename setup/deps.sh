#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (clang with its
# sanitizer and libFuzzer runtimes and llvm-symbolizer for the sanitizer and
# fuzz runs), skipping the step when every one of them is present already,
# and generates the locales the regional-settings tests read.
# Further packages a caller needs may be named as arguments:
#   bash setup/deps.sh [PACKAGE...]
set -euo pipefail
packages=(cmake g++ make ninja-build ccache clang-format libgtest-dev libgmock-dev libbenchmark-dev
          qt6-base-dev libqt6svg6 libgl-dev xvfb xauth fonts-dejavu-core
          python3 python3-dbfread python3-dbf locales
          openbox trayer xdotool xclip x11-utils x11-xkb-utils imagemagick dbus-daemon dbus-bin
          libsqlite3-dev samba cifs-utils socat cups-client cups-daemon
          clang libclang-rt-14-dev llvm libpq-dev postgresql "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# German (day first, decimal comma), American (month first, 12-hour clock),
# Swedish (year first, decimal comma) and Japanese (a date without one
# separator, currency without decimals) locales; generated only when
# `locale -a` lacks one.
locales=(de_DE.UTF-8 en_US.UTF-8 sv_SE.UTF-8 ja_JP.UTF-8)
have=$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | sed 's/utf-8$/utf8/')
generate=0
for l in "${locales[@]}"; do
  norm=$(printf '%s' "$l" | tr '[:upper:]' '[:lower:]' | sed 's/utf-8$/utf8/')
  if ! grep -qx "$norm" <<<"$have"; then
    generate=1
    entry="$l UTF-8"
    if grep -qE "^#? *${l//./\\.} UTF-8" /etc/locale.gen 2>/dev/null; then
      sed -i -E "s/^# *(${l//./\\.} UTF-8)/\\1/" /etc/locale.gen
    else
      echo "$entry" >>/etc/locale.gen
    fi
  fi
done
if ((generate)); then
  locale-gen >/dev/null
fi
