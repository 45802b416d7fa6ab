#!/usr/bin/env bash
# End to end on a real X server with a real XEmbed tray: the tray icon appears,
# a click opens the panel with the machines the stand-in Tailscale tool lists,
# Ctrl+1 closes the panel and hands the first machine's vnc:// address to the
# desktop's handler, a click elsewhere closes the panel, and Quit ends the
# program with status 0.
# usage: tray_e2e.sh NIMBROOK_BINARY SCREENSHOT_PATH     (exit 77: cannot run here)
set -uo pipefail

binary=$1
screenshot=$2

source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb trayer xdotool xdpyinfo xwininfo import xdg-mime
start_xvfb 90 120 1024x768
start_trayer
make_home

# What the first row is depends on the peers the test network has: ask the
# same program, in the same setting, what it lists first.
"$binary" --list --json >"$work/list.json" 2>/dev/null &
lister=$!

QT_LOGGING_RULES="nimbrook.app.info=true" "$binary" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)

wait_for 10 grep -q 'tray shown' "$work/app.log" || fail "no tray icon"
read -r x y w h < <(sed -n 's/.*tray shown, icon geometry \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log" | tail -1)
[ "${w:-0}" -gt 0 ] || fail "the tray gave no icon geometry"
echo "tray icon at $x,$y ${w}x$h"

open_panel() {
  local before
  before=$(grep -c 'panel shown' "$work/app.log")
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
  wait_for 5 sh -c "[ \$(grep -c 'panel shown' '$work/app.log') -gt $before ]" || fail "the panel did not open"
}

open_panel
sleep 3 # the first poll of the stand-in tool, and the local network settling
mkdir -p "$(dirname "$screenshot")"
import -window root "$screenshot" && echo "screenshot: $screenshot"

# The icon against the tray's own background, taken beside the icon.
source "$here/contrast.sh"
bar=$(convert "$screenshot" -crop "1x1+$((x - 4))+$((y + h / 2))" -depth 8 txt:- | grep -o '#[0-9A-F]\{6\}' | head -1)
read -r ratio strong < <(contrast_on_bar "$screenshot" $((x + w / 2)) $((y + h / 2)) 22 "$bar")
echo "icon contrast on the tray's $bar: $ratio:1 ($strong pixels at 3:1 or more)"
awk "BEGIN { exit !($ratio >= 3 && $strong >= 20) }" || fail "the icon does not read on the tray"

hidden=$(grep -c 'panel hidden' "$work/app.log")
xdotool key ctrl+1
wait_for 5 grep -q 'vnc://' "$NIMBROOK_VNC_LOG" 2>/dev/null || fail "Ctrl+1 opened nothing"
# The panel goes before the viewer comes, so it cannot stay on top of it.
wait_for 5 sh -c "[ \$(grep -c 'panel hidden' '$work/app.log') -gt $hidden ]" || fail "the panel stayed open after Ctrl+1"
wait $lister || fail "nimbrook --list failed"
first=$(/usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)["macs"][0]["address"])' <"$work/list.json")
grep -qx "vnc://$first" "$NIMBROOK_VNC_LOG" || fail "Ctrl+1 opened $(cat "$NIMBROOK_VNC_LOG"), not vnc://$first"
echo "Ctrl+1 opened $(cat "$NIMBROOK_VNC_LOG")"

open_panel
hidden=$(grep -c 'panel hidden' "$work/app.log")
xdotool mousemove 100 100 click 1
wait_for 5 sh -c "[ \$(grep -c 'panel hidden' '$work/app.log') -gt $hidden ]" || fail "a click outside did not close the panel"
echo "a click outside closed the panel"

open_panel
read -r px py pw ph < <(sed -n 's/.*panel shown at \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log" | tail -1)
# "Quit" is the last row, 6 px above the bottom edge and about 24 px tall.
xdotool mousemove $((px + 60)) $((py + ph - 18)) click 1
wait_for 5 sh -c "! kill -0 $app 2>/dev/null" || fail "Quit did not end the program"
wait "$app"
status=$?
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "PASS: Quit ended the program with status 0"
