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
here=$(cd "$(dirname "$0")" && pwd)
data=$(cd "$here/../data" && pwd)

for tool in Xvfb trayer xdotool xdpyinfo xwininfo import xdg-mime; do
  command -v "$tool" >/dev/null || { echo "skipping: $tool is not installed"; exit 77; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- nimbrook log"; cat "$work/app.log" 2>/dev/null; exit 1; }
wait_for() { # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}

# A display of our own.
display=""
for n in $(seq 90 120); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "skipping: no free display number"; exit 77; }
export DISPLAY=$display
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
wait_for 10 xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"

trayer --edge bottom --align right --widthtype pixel --width 200 --height 28 \
  --SetDockType false --transparent false >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 10 sh -c 'xwininfo -root -children | grep -q "\"panel\""' || fail "trayer did not map its panel"

# A home of our own: the stand-in tool, and a recording vnc:// handler.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/runtime" NIMBROOK_VNC_LOG="$work/vnc.log"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME/Nimbrook" "$XDG_DATA_HOME/applications" && mkdir -m 700 "$XDG_RUNTIME_DIR"
printf '[General]\nTailscaleCLIPath=%s\n' "$data/fake-tailscale" >"$XDG_CONFIG_HOME/Nimbrook/Nimbrook.conf"
cat >"$XDG_DATA_HOME/applications/vnc-recorder.desktop" <<EOD
[Desktop Entry]
Type=Application
Name=VNC recorder
Exec=$here/vnc-recorder %u
MimeType=x-scheme-handler/vnc;
NoDisplay=true
EOD
xdg-mime default vnc-recorder.desktop x-scheme-handler/vnc
export FAKE_TAILSCALE_REPORT="$data/tailscale/running-3-macs.json"

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
source "$here/session_common.sh"
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
