#!/usr/bin/env bash
# The gallery on a real X desktop: a virtual server, the openbox window
# manager and the trayer notification area. Checks that the tray icon is
# docked and that a click on it reaches the window's DISPATCH as the
# callback message, and that each splash screen comes up centred and above
# the (not topmost) gallery window and is gone after its timer. With
# QZ_SCREENSHOT_DIR set it leaves pictures there.
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

exec 3<> "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/displayfd")"
openbox >/dev/null 2>&1 &
pids+=($!)
trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
  --transparent false --tint 0x404040 >/dev/null 2>&1 &
pids+=($!)
sleep 1
export QT_QPA_PLATFORM=xcb

shot() { [ -n "${QZ_SCREENSHOT_DIR:-}" ] && command -v import >/dev/null && import -window root "$QZ_SCREENSHOT_DIR/$1"; }

# The tray icon and its click.
"$gallery" --tray --quit-after 12000 >"$work/tray.out" 2>&1 &
pids+=($!)
# The notification area's panel grows from 2 pixels to hold the icon.
WIDTH=0
for _ in $(seq 50); do
  tray=$(xdotool search --onlyvisible --class trayer 2>/dev/null | head -n1)
  [ -n "$tray" ] && eval "$(xdotool getwindowgeometry --shell "$tray")"
  [ "$WIDTH" -ge 16 ] && break
  sleep 0.2
done
sleep 0.5
check "the tray icon is docked in the notification area" test "$WIDTH" -ge 16
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 1
shot gallery-tray.png
check "a click reaches DISPATCH as 0x8002 with WM_LBUTTONUP" grep -q "tray callback 0x8002 wParam 0 lParam 0x202" "$work/tray.out"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
sleep 1
check "a context click reaches DISPATCH with WM_RBUTTONUP" grep -q "lParam 0x205" "$work/tray.out"
kill "${pids[-1]}" 2>/dev/null

# The splash screens.
for kind in screen bar; do
  caption="Loading ..."; [ "$kind" = bar ] && caption="Loading Ostrello"
  "$gallery" --splash "$kind" --quit-after 6000 >"$work/$kind.out" 2>&1 &
  pids+=($!)
  win=""
  for _ in $(seq 60); do
    win=$(xdotool search --name "^${caption}\$" 2>/dev/null | head -n1)
    [ -n "$win" ] && xwininfo -id "$win" | grep -q "IsViewable" && break
    win=""
    sleep 0.05
  done
  check "the $kind splash is shown" test -n "$win"
  if [ -n "$win" ]; then
    sleep 0.3
    shot "splash-$kind.png"
    eval "$(xdotool getwindowgeometry --shell "$win")"
    check "the $kind splash is centred" test $(( (X + WIDTH / 2 - 512) ** 2 <= 16 && (Y + HEIGHT / 2 - 384) ** 2 <= 16 )) -eq 1
    check "the $kind splash is topmost" bash -c "xprop -id $win _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE"
    main=$(xdotool search --name "^QZScan library gallery\$" | head -n1)
    stack=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/, / /g')
    below=0
    for w in $stack; do
      [ "$((w))" = "$main" ] && below=1
      [ "$((w))" = "$win" ] && break
    done
    check "the $kind splash is above the gallery window" test "$below" -eq 1
    gone=0
    for _ in $(seq 40); do
      xdotool search --name "^${caption}\$" >/dev/null 2>&1 || { gone=1; break; }
      xwininfo -id "$win" 2>/dev/null | grep -q "IsViewable" || { gone=1; break; }
      sleep 0.1
    done
    check "the $kind splash is gone after its timer" test "$gone" -eq 1
  fi
  kill "${pids[-1]}" 2>/dev/null
done
[ "$fail" -eq 0 ] && echo "desktop: all checks passed"
exit "$fail"
