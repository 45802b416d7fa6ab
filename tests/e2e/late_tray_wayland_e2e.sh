#!/usr/bin/env bash
# End to end on Wayland without a tray (weston, as on GNOME without the
# AppIndicator extension), as an unprivileged user: after the grace period the
# panel shows in a window and the missing tray is reported once; a tray host
# that starts 10 s later gets the icon within 2 s, the window closes and the
# program stays; a host that restarts gets the icon again.
# usage: late_tray_wayland_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR  (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "skipping: no python3-dbus"; exit 77; }
source "$(dirname "$0")/session_common.sh"
up_desktop wayland-bare weston weston-screenshooter
session_setup "$binary" "$artifacts"
install -m 644 "$here/desktop/sni_watcher.py" "$work/bin/sni_watcher.py"
started=$SECONDS
start_app

wait_for 8 grep -q 'panel shown in a window' "$work/app.log" || fail "no window without a tray"
[ "$(log_count 'no system tray found')" -eq 1 ] || fail "the missing tray was not reported once"
sleep 1
"$desk" shot "$artifacts/late-tray-window.png"
echo "without a tray: $(grep 'no system tray found' "$work/app.log")"

start_host() { # start_host NAME: a watcher-and-host for 60 s; its log in $work/NAME.log
  "$desk" run /usr/bin/python3 "$work/bin/sni_watcher.py" 60 >"$work/$1.log" 2>&1 &
  host=$!
  host_started=$(date +%s%N)
}
registered_within() { # registered_within NAME SECONDS -> prints the milliseconds it took
  wait_for "$2" grep -q REGISTERED "$work/$1.log" || return 1
  echo $((($(date +%s%N) - host_started) / 1000000))
}

sleep $((10 - (SECONDS - started)))
start_host first
took=$(registered_within first 2) || fail "a tray host that came 10 s late got no icon within 2 s"
echo "a tray host 10 s late: icon registered after $took ms"
wait_for 2 grep -q 'panel window closed' "$work/app.log" || fail "the window stayed open"
kill -0 "$app" 2>/dev/null || fail "the program ended with its window"

kill "$host"; wait "$host" 2>/dev/null
sleep 1
start_host second
took=$(registered_within second 2) || fail "a restarted tray host got no icon within 2 s"
echo "a restarted tray host: icon registered after $took ms"
kill -0 "$app" 2>/dev/null || fail "the program did not survive the host's restart"
kill "$host" 2>/dev/null
echo "PASS"
