#!/usr/bin/env bash
# End to end: a machine chosen with "Notify When Online" comes online while
# Nimbrook runs; a stand-in notification server on the session bus records one
# "<name> is online" and clicks it, and the click hands the machine's vnc://
# address to the desktop's handler. Machines online from the start, and the
# ones not chosen, are not announced.
# usage: notify_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb xdpyinfo dbus-daemon xdg-mime
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "skipping: no python3-dbus"; exit 77; }
start_xvfb 181 200 800x600
start_session_bus
make_home

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
