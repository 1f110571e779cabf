#!/usr/bin/env bash
# The gallery on a real X desktop: a virtual server, the openbox window
# manager and the trayer notification area. Checks that the tray icon is
# docked and that a click on it reaches the window's DISPATCH as the
# callback message, and that each splash screen comes up centred and above
# the (not topmost) gallery window and is gone after its timer. Every
# check waits for its condition with a generous time limit (a loaded
# machine starts programs slowly). With QZ_SCREENSHOT_DIR set it leaves
# pictures there.
#   desktop_test.sh <path of qzgallery>
set -uo pipefail
gallery=$1
for tool in Xvfb openbox trayer xdotool xprop xwininfo; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail=0
check() {  # check "what" command...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; fail=1; fi
}
within() {  # within SECONDS command...: true as soon as the command is, false after SECONDS
  local end=$((SECONDS + $1)); shift
  until "$@"; do [ "$SECONDS" -ge "$end" ] && return 1; sleep 0.05; done
}

exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
within 30 test -s "$work/displayfd" || { echo "SKIP: Xvfb did not start"; exit 77; }
export DISPLAY=":$(head -n1 "$work/displayfd")"
openbox >/dev/null 2>&1 &
pids+=($!)
within 30 bash -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
  --transparent false --tint 0x404040 >/dev/null 2>&1 &
pids+=($!)
within 30 bash -c "xdotool search --onlyvisible --class trayer >/dev/null"
export QT_QPA_PLATFORM=xcb

shot() { [ -n "${QZ_SCREENSHOT_DIR:-}" ] && command -v import >/dev/null && import -window root "$QZ_SCREENSHOT_DIR/$1"; }

# The tray icon and its click.
"$gallery" --tray >"$work/tray.out" 2>&1 &
pids+=($!)
# The notification area's panel grows from 2 pixels to hold the icon.
docked() {
  tray=$(xdotool search --onlyvisible --class trayer 2>/dev/null | head -n1)
  [ -n "$tray" ] && eval "$(xdotool getwindowgeometry --shell "$tray")" && [ "$WIDTH" -ge 16 ]
}
WIDTH=0
check "the tray icon is docked in the notification area" within 30 docked
# The panel can grow before the icon inside it takes input: a click that
# found nothing to land on is given again, two seconds apart (never close
# enough to make a double click).
click_until() {  # BUTTON PATTERN
  docked && xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click "$1" && within 2 grep -q "$2" "$work/tray.out"
}
check "a click reaches DISPATCH as 0x8002 with WM_LBUTTONUP" \
  within 30 click_until 1 "tray callback 0x8002 wParam 0 lParam 0x202"
shot gallery-tray.png
check "a context click reaches DISPATCH with WM_RBUTTONUP" within 30 click_until 3 "lParam 0x205"
kill "${pids[-1]}" 2>/dev/null

# The splash screens.
for kind in screen bar; do
  caption="Loading ..."; [ "$kind" = bar ] && caption="Loading Ostrello"
  "$gallery" --splash "$kind" >"$work/$kind.out" 2>&1 &
  pids+=($!)
  shown() {
    win=$(xdotool search --name "^${caption}\$" 2>/dev/null | head -n1)
    [ -n "$win" ] && xwininfo -id "$win" 2>/dev/null | grep -q "IsViewable"
  }
  # The splash stays about a second: the checks are read again until they
  # hold, for as long as the window is there.
  centred() {
    eval "$(xdotool getwindowgeometry --shell "$win" 2>/dev/null)"
    [ $(( (X + WIDTH / 2 - 512) ** 2 <= 16 && (Y + HEIGHT / 2 - 384) ** 2 <= 16 )) -eq 1 ]
  }
  topmost() { xprop -id "$win" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_ABOVE; }
  above_gallery() {  # the gallery window comes before the splash in the bottom-to-top stacking
    local main w below=0
    main=$(xdotool search --name "^QZScan library gallery\$" | head -n1)
    for w in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, / /g'); do
      [ "$((w))" = "$main" ] && below=1
      [ "$((w))" = "$win" ] && break
    done
    [ "$below" -eq 1 ]
  }
  while_shown() {
    local end=$((SECONDS + 30))
    until "$@"; do
      xwininfo -id "$win" 2>/dev/null | grep -q IsViewable && [ "$SECONDS" -lt "$end" ] || return 1
      sleep 0.05
    done
  }
  win=""
  check "the $kind splash is shown" within 30 shown
  if [ -n "$win" ]; then
    shot "splash-$kind.png"
    observe() {  # all three at once: the window does not stay long
      centred; c=$?; topmost; t=$?; above_gallery; a=$?
      [ $((c + t + a)) -eq 0 ]
    }
    c=1 t=1 a=1
    while_shown observe
    check "the $kind splash is centred" test "$c" -eq 0
    check "the $kind splash is topmost" test "$t" -eq 0
    check "the $kind splash is above the gallery window" test "$a" -eq 0
    check "the $kind splash is gone after its timer" within 30 bash -c \
      "! xdotool search --name '^${caption}\$' >/dev/null 2>&1 || ! xwininfo -id $win 2>/dev/null | grep -q IsViewable"
  fi
  kill "${pids[-1]}" 2>/dev/null
done
[ "$fail" -eq 0 ] && echo "desktop: all checks passed"
exit "$fail"
