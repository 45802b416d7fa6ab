#!/usr/bin/env bash
# End to end: a machine chosen with "Notify When Online" comes online while
# Nimbrook runs; a stand-in notification server on the session bus records one
# "<name> is online" and clicks it, and the click hands the machine's vnc://
# address to the desktop's handler. Machines online from the start, and the
# ones not chosen, are not announced.
# usage: notify_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
data=$(cd "$here/../data" && pwd)
for tool in Xvfb xdpyinfo dbus-daemon xdg-mime; do
  command -v "$tool" >/dev/null || { echo "skipping: $tool is not installed"; exit 77; }
done
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "skipping: no python3-dbus"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- nimbrook log"; cat "$work/app.log"; echo "--- notifications"; cat "$work/notified.log" 2>/dev/null; exit 1; }
wait_for() { local deadline=$((SECONDS + $1)); shift; until "$@" >/dev/null 2>&1; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done; }

display=""
for n in $(seq 181 200); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "skipping: no free display number"; exit 77; }
export DISPLAY=$display HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime" NIMBROOK_VNC_LOG="$work/vnc.log"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION WAYLAND_DISPLAY
mkdir -p "$XDG_CONFIG_HOME/Nimbrook" "$XDG_DATA_HOME/applications" && mkdir -m 700 "$XDG_RUNTIME_DIR"
Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
wait_for 10 xdpyinfo || fail "Xvfb did not start"
dbus-daemon --session --fork --print-address=1 --print-pid=1 --address="unix:path=$work/bus" >"$work/bus.txt"
pids+=("$(sed -n 2p "$work/bus.txt")")
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
cat >"$XDG_DATA_HOME/applications/vnc-recorder.desktop" <<EOD
[Desktop Entry]
Type=Application
Name=VNC recorder
Exec=$here/vnc-recorder %u
MimeType=x-scheme-handler/vnc;
NoDisplay=true
EOD
xdg-mime default vnc-recorder.desktop x-scheme-handler/vnc

# macbook-air starts offline and comes online later; Guest's MacBook Pro is
# online all along: both are chosen, one is not.
report="$work/report.json"
edit_report() { # edit_report ONLINE
  /usr/bin/python3 - "$data/tailscale/running-3-macs.json" "$report" "$1" <<'EOP'
import json, sys
source, target, online = sys.argv[1], sys.argv[2], sys.argv[3] == "1"
doc = json.load(open(source))
for peer in doc["Peer"].values():
    if peer["DNSName"].startswith("macbook-air."):
        peer["Online"] = online
json.dump(doc, open(target + ".new", "w"))
EOP
  mv "$report.new" "$report"
}
edit_report 0
export FAKE_TAILSCALE_REPORT="$report"
printf '[General]\nTailscaleCLIPath=%s\nNotifyWhenOnline=macbook-air, guests-macbook-pro\n' \
  "$data/fake-tailscale" >"$XDG_CONFIG_HOME/Nimbrook/Nimbrook.conf"

/usr/bin/python3 "$here/notification_server.py" "$work/notified.log" 120 >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 10 grep -q 'server up' "$work/server.log" || fail "the notification server did not start"

QT_LOGGING_RULES="nimbrook.app.info=true;nimbrook.notify.debug=true" "$binary" >"$work/app.log" 2>&1 &
pids+=($!)
sleep 17 # discovery settles, and macbook-air has been offline long enough to come back
edit_report 1
wait_for 10 test -s "$work/notified.log" || fail "no notification within a poll of coming online"
[ "$(wc -l <"$work/notified.log")" -eq 1 ] || fail "more than one notification"
grep -q '"summary": "macbook-air is online"' "$work/notified.log" || fail "not the right notification"
grep -q '"body": "Tailscale · 100.120.206.7"' "$work/notified.log" || fail "not the right body"
grep -q '"actions": \["default", "Connect"\]' "$work/notified.log" || fail "no Connect action"
wait_for 5 grep -qx 'vnc://100.120.206.7' "$work/vnc.log" || fail "clicking the notification opened nothing"
echo "notified: $(cat "$work/notified.log")"
echo "the click opened $(cat "$work/vnc.log")"
echo "PASS"
