#!/usr/bin/env bash
# End to end: programs on Nimbrook's session bus that call it the wrong way, or
# own the names it listens to (hostile_bus.py): it lives, answers within
# 100 ms throughout, opens nothing twice and keeps activation tokens from the
# programs it starts. Then beside a watcher that never answers: the window
# within the 3 s grace.
# usage: hostile_bus_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb xdpyinfo dbus-daemon xdg-mime xdotool pkill
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "skipping: no python3-dbus"; exit 77; }
start_xvfb 211 230 800x600
start_session_bus
make_home

# The tool, recording the environment it is started with; Café Mac, to be
# announced, is offline at first.
report="$work/report.json"
cp "$data/tailscale/running-3-macs.json" "$report"
export FAKE_TAILSCALE_REPORT="$report"
cat >"$work/tool" <<EOT
#!/bin/sh
env >"$work/tool-env"
exec "$data/fake-tailscale" "\$@"
EOT
chmod +x "$work/tool"
printf '[General]\nTailscaleCLIPath=%s\nNotifyWhenOnline=caf-mac\n' "$work/tool" \
  >"$XDG_CONFIG_HOME/Nimbrook/Nimbrook.conf"

/usr/bin/python3 "$here/desktop/sni_watcher.py" 600 >"$work/watcher.log" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/hostile_peer.py" notifier "$work/notified.log" >"$work/notifier.log" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/hostile_peer.py" portal 5 "$work/portal-sent" >"$work/portal.log" 2>&1 &
pids+=($!)
wait_for 10 grep -q 'watcher up' "$work/watcher.log" || fail "the tray did not start"
wait_for 10 grep -q 'portal up' "$work/portal.log" || fail "the portal did not start"
wait_for 10 grep -q 'notifier up' "$work/notifier.log" || fail "the notification server did not start"

# As a launcher starts it: with tokens of its own in the environment.
XDG_ACTIVATION_TOKEN=launcher-token DESKTOP_STARTUP_ID=launcher-id \
  QT_LOGGING_RULES="nimbrook.app.info=true" "$binary" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
/usr/bin/python3 "$here/hostile_bus.py" "$DBUS_SESSION_BUS_ADDRESS" "$work" "$report" ||
  fail "see above"
kill "$app"

# A program owns the watcher's name and never answers.
dbus-daemon --session --fork --print-pid=1 --address="unix:path=$work/bus-hung" >"$work/bus-hung.pid"
pids+=("$(cat "$work/bus-hung.pid")")
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus-hung"
/usr/bin/python3 "$here/hostile_peer.py" hang org.kde.StatusNotifierWatcher >"$work/hang.log" 2>&1 &
pids+=($!)
wait_for 10 grep -q hanging "$work/hang.log" || fail "the hung watcher did not start"
QT_LOGGING_RULES="nimbrook.app.info=true" "$binary" >"$work/app.log" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/hostile_bus.py" --hung-watcher "$DBUS_SESSION_BUS_ADDRESS" "$work" ||
  fail "see above"
echo "PASS"
