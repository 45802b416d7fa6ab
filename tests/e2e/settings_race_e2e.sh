#!/usr/bin/env bash
# End to end: two Nimbrook trays of two sessions sharing one home, and an
# editor, race over Nimbrook.conf (settings_race.py): no choice and no edit is
# lost, a choice that cannot be saved is said in a notification and never
# written later, and the trays answer within 100 ms throughout.
# usage: settings_race_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb xdpyinfo dbus-daemon xdg-mime
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "skipping: no python3-dbus"; exit 77; }
start_xvfb 190 210 800x600
make_home
conf="$XDG_CONFIG_HOME/Nimbrook/Nimbrook.conf"
printf '; written by hand\n[General]\nTailscaleCLIPath = %s\n\n[Window]\nkept=yes\n' \
  "$data/fake-tailscale" >"$conf"

# One session bus each, with a tray (a StatusNotifierWatcher that is its own
# host); the notifications of tray A are recorded.
start_tray() { # start_tray NAME
  local bus="$work/bus-$1"
  dbus-daemon --session --fork --print-pid=1 --address="unix:path=$bus" >"$work/bus-$1.pid"
  pids+=("$(cat "$work/bus-$1.pid")")
  DBUS_SESSION_BUS_ADDRESS="unix:path=$bus" /usr/bin/python3 "$here/desktop/sni_watcher.py" 600 \
    >"$work/watcher-$1.log" 2>&1 &
  pids+=($!)
  wait_for 10 grep -q 'watcher up' "$work/watcher-$1.log" || fail "tray $1 did not start"
}
start_tray a
start_tray b
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus-a" \
  /usr/bin/python3 "$here/notification_server.py" "$work/notified.log" 600 >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 10 grep -q 'server up' "$work/server.log" || fail "the notification server did not start"
for name in a b; do
  DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus-$name" "$binary" >"$work/app-$name.log" 2>&1 &
  pids+=($!)
done

/usr/bin/python3 "$here/settings_race.py" "$conf" "unix:path=$work/bus-a" "unix:path=$work/bus-b" \
  "$work/notified.log" 100 || { cat "$work"/app-*.log >"$work/app.log"; fail "see above"; }
grep -q '^; written by hand$' "$conf" && grep -q '^kept=yes$' "$conf" &&
  grep -q "^TailscaleCLIPath = $data/fake-tailscale\$" "$conf" || fail "the hand-written lines changed: $(cat "$conf")"
echo "PASS"
