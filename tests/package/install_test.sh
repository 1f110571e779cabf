#!/usr/bin/env bash
# The Debian package on this machine, from build to purge: build it
# (setup/package.sh), check it with lintian, install it with apt-get, check
# the desktop entries and the AppStream metadata, run the programs'
# --help/--version, the manual pages and the completions, then start
# /usr/bin/qzscan on an X desktop as a new ordinary user and scan one item
# into ~/.local/share/qzscan (desktop_scan.py). Purging the package must
# leave none of its files, only the user's data. The machine is left as it
# was found: the package purged, the user removed. Needs root.
#   bash tests/package/install_test.sh [BUILD-DIR]   (setup/package.sh's folder)
set -euo pipefail
cd "$(dirname "$0")/../.."
started=$SECONDS
if [ "$(id -u)" != 0 ]; then
  echo "SKIPPED: installing a package needs root"
  exit 0
fi
if dpkg-query -W -f='${Status}' qzscan 2>/dev/null | grep -q "install ok installed"; then
  echo "qzscan is installed on this machine: this test would remove it" >&2
  exit 1
fi

dir=${1:-build-deb}
bash setup/package.sh "$dir"
deb=$(ls "$PWD/$dir"/qzscan_*.deb)
# The checkers, installed before the machine's state is taken.
for p in desktop-file-utils appstream lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p"
done

failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

echo "== lintian"
# Shown by cat, not by tee /dev/stderr: opening /dev/stderr anew empties a
# log file that the caller's standard error is redirected to.
lintian --tag-display-limit 0 "$deb" >"$PWD/$dir/lintian.txt" || true
cat "$PWD/$dir/lintian.txt" >&2
grep -q '^E: ' "$PWD/$dir/lintian.txt" && fail "lintian reports errors"

user=qzpkg$$
work=$(mktemp -d)
chmod 755 "$work"
cleanup() {
  set +e
  # Whatever the user still runs (a program the test could not stop).
  for pid in $(pgrep -u "$user" 2>/dev/null); do kill -KILL "$pid"; done
  id "$user" >/dev/null 2>&1 && userdel -r "$user" 2>/dev/null
  if dpkg-query -W -f='${Status}' qzscan 2>/dev/null | grep -q installed; then
    DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq qzscan >/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
useradd -m -s /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
as_user() { runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin "$@"; }

# What the package will bring that is not on the machine yet.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/contents"
while read -r path; do if [ -e "$path" ]; then echo "$path"; fi; done <"$work/contents" >"$work/there-before"

echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
dpkg -L qzscan | grep -v '^/\.$' >"$work/installed"

echo "== desktop entries and metadata"
desktop-file-validate /usr/share/applications/uk.co.quorvex.QZScan.desktop \
  /usr/share/applications/uk.co.quorvex.QZScan.Gallery.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net /usr/share/metainfo/uk.co.quorvex.QZScan.metainfo.xml || fail "appstreamcli validate"
for size in 16x16 32x32 48x48 256x256 scalable; do
  ls /usr/share/icons/hicolor/$size/apps/uk.co.quorvex.QZScan.* >/dev/null || fail "no $size icon"
done

echo "== programs, manual pages, completions"
for p in qzscan qzgallery qzdbf qzeval qzreg; do
  [[ $(as_user "/usr/bin/$p" --version) =~ ^$p\ [0-9.]+$ ]] || fail "$p --version"
  [[ $(as_user "/usr/bin/$p" --help) == *--version* ]] || fail "$p --help"
  [[ $(zcat "/usr/share/man/man1/$p.1.gz") == *$'\n.SH DESCRIPTION'* ]] || fail "manual page of $p"
done
complete_line() { # the completions bash offers for the words given, as the user
  as_user bash -c 'source /usr/share/bash-completion/completions/$1; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _$1; echo "${COMPREPLY[*]}"' - "$@"
}
[ "$(complete_line qzdbf qzdbf ex)" = export ] || fail "qzdbf completion: $(complete_line qzdbf qzdbf ex)"
[ "$(complete_line qzreg qzreg add HKCU /t REG_D)" = "REG_DWORD REG_DWORD_BIG_ENDIAN" ] ||
  fail "qzreg completion: $(complete_line qzreg qzreg add HKCU /t REG_D)"

echo "== one scan on the desktop, as $user"
mkdir -p "$work/tests"
cp -r tests/support tests/scan tests/package "$work/tests/"
chmod -R a+rX "$work"
as_user python3 "$work/tests/package/desktop_scan.py" || fail "the scan on the desktop"
data="$home/.local/share/qzscan"
[ "$(stat -c %a "$data")" = 700 ] || fail "$data is not private"
for leftover in /usr/bin/DATA /usr/bin/TEMP /usr/bin/RTERROR.LOG; do
  if [ -e "$leftover" ]; then fail "the program wrote $leftover"; fi
done

echo "== purge"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq qzscan >/dev/null
left=0
while read -r path; do
  if [ -e "$path" ] && ! grep -qxF "$path" "$work/there-before"; then
    echo "left behind: $path" >&2
    left=1
  fi
done <"$work/installed"
((left)) && fail "the purge left files of the package"
[ -f "$data/DATA/QZSCAN.DBF" ] || fail "the purge took the user's data"
echo "$(wc -l <"$work/installed") paths installed and removed; the user's data stays in $data"

echo "install test: $((SECONDS - started)) s"
if ((failures)); then
  echo "install test: $failures checks failed"
  exit 1
fi
echo "install test: passed"
