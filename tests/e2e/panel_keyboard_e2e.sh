#!/usr/bin/env bash
# End to end on X11 with an XEmbed tray and the AT-SPI accessibility bus: a
# screen reader finds every machine and command as a push button (name, and
# the subtitle as description); typing shows an editable filter line and keeps
# only the matching machines; Ctrl+C puts the focused machine's address on the
# clipboard as plain text; Enter opens it through the desktop's vnc:// handler.
# usage: panel_keyboard_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR   (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb trayer xdotool xdpyinfo xwininfo xclip import dbus-daemon xdg-mime
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "skipping: at-spi2-core is not installed"; exit 77; }
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "skipping: no python3-pyatspi"; exit 77; }
start_xvfb 201 230 1024x768
start_session_bus
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
start_trayer
make_home

QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_LOGGING_RULES="nimbrook.app.info=true" \
  "$binary" >"$work/app.log" 2>&1 &
pids+=($!)
wait_for 10 grep -q 'tray shown' "$work/app.log" || fail "no tray icon"
read -r x y w h < <(sed -n 's/.*tray shown, icon geometry \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log" | tail -1)
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
wait_for 5 grep -q 'panel shown' "$work/app.log" || fail "the panel did not open"
sleep 3 # the first poll and the local network settling

tree() { /usr/bin/python3 "$here/a11y_tree.py" >"$work/tree.txt" 2>&1; }
wait_for 10 sh -c "/usr/bin/python3 '$here/a11y_tree.py' | grep -q '^button macbook-air'" ||
  { tree; cat "$work/tree.txt"; fail "no machine as a push button over AT-SPI"; }
tree
grep -qx 'button macbook-air | Tailscale · 100.120.206.7' "$work/tree.txt" || fail "no name and description"
for command in Refresh 'Check for Updates…' Quit; do
  grep -q "^button $command |" "$work/tree.txt" || fail "no \"$command\" push button"
done
echo "AT-SPI: $(grep -c '^button ' "$work/tree.txt") push buttons"

xdotool type --delay 50 air
wait_for 5 sh -c "/usr/bin/python3 '$here/a11y_tree.py' | grep -qx 'text air'" || { tree; fail "no editable filter line reading \"air\""; }
tree
[ "$(grep '^button ' "$work/tree.txt" | grep -vc 'Refresh\|Check for Updates\|Quit')" -eq 1 ] ||
  fail "the filter kept other machines"
import -window root "$artifacts/panel-filter.png" 2>/dev/null
echo "typing \"air\" kept: $(grep '^button ' "$work/tree.txt" | head -1)"

xdotool key ctrl+c
wait_for 3 sh -c '[ "$(xclip -o -selection clipboard 2>/dev/null)" = 100.120.206.7 ]' ||
  fail "Ctrl+C put \"$(xclip -o -selection clipboard 2>/dev/null)\" on the clipboard"
echo "Ctrl+C copied $(xclip -o -selection clipboard)"
xdotool key Return
wait_for 5 grep -qx 'vnc://100.120.206.7' "$NIMBROOK_VNC_LOG" || fail "Enter opened $(cat "$NIMBROOK_VNC_LOG" 2>/dev/null)"
echo "Enter opened $(cat "$NIMBROOK_VNC_LOG")"
echo "PASS"
