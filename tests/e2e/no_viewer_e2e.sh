#!/usr/bin/env bash
# End to end: a desktop where nothing opens vnc:// (GNOME's own Connections is
# no handler for it). Choosing a machine launches nothing; a notification says
# so, and the machine's address is on the clipboard.
# usage: no_viewer_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb xdpyinfo dbus-daemon xclip
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "skipping: no python3-dbus"; exit 77; }
start_xvfb 231 250 800x600
start_session_bus
make_home
# No handler anywhere: not the recorder make_home sets, nor the machine's own.
rm -f "$XDG_CONFIG_HOME/mimeapps.list" "$XDG_DATA_HOME/applications/"*.desktop
export XDG_DATA_DIRS="$work/none" XDG_CONFIG_DIRS="$work/none"

/usr/bin/python3 "$here/desktop/sni_watcher.py" 120 >"$work/watcher.log" 2>&1 &
pids+=($!)
/usr/bin/python3 "$here/notification_server.py" "$work/notified.log" 120 >"$work/server.log" 2>&1 &
pids+=($!)
wait_for 10 grep -q 'watcher up' "$work/watcher.log" || fail "the tray did not start"
wait_for 10 grep -q 'server up' "$work/server.log" || fail "the notification server did not start"
xdpyinfo >/dev/null || fail "the display is gone: $(cat "$work/xvfb.log")"
QT_LOGGING_RULES="nimbrook.opener.info=true" "$binary" >"$work/app.log" 2>&1 &
pids+=($!)

# Guest's MacBook Pro chosen from the icon's menu, as a host clicks it.
/usr/bin/python3 - "$DBUS_SESSION_BUS_ADDRESS" "$here" <<'EOP' || fail "the machine could not be chosen"
import sys, time
import dbus
sys.path.insert(0, sys.argv[2])
from tray_item import fail, open_menu, tray_item
menu = tray_item(dbus.bus.BusConnection(sys.argv[1]))[3]
open_menu(menu)
deadline = time.time() + 15
while time.time() < deadline:
    for child_id, props, _ in menu.GetLayout(0, 1, ["label"])[1][2]:
        if str(props.get("label", "")).startswith("Guest"):
            menu.Event(child_id, "clicked", dbus.String("", variant_level=1), dbus.UInt32(0))
            sys.exit(0)
    time.sleep(0.2)
fail("no Guest entry in the menu")
EOP
wait_for 10 test -s "$work/notified.log" || fail "nothing was said"
grep -q '"summary": "No VNC viewer is installed — install Remmina to open “Guest’s MacBook Pro”"' \
  "$work/notified.log" || fail "not the words expected: $(cat "$work/notified.log")"
grep -q '"body": "Its address, 100.119.145.88, is on the clipboard."' "$work/notified.log" ||
  fail "the address is not said: $(cat "$work/notified.log")"
[ "$(xclip -o -selection clipboard 2>/dev/null)" = 100.119.145.88 ] ||
  fail "the clipboard holds '$(xclip -o -selection clipboard 2>/dev/null)'"
[ ! -s "$work/vnc.log" ] || fail "something was launched: $(cat "$work/vnc.log")"
echo "said: $(cat "$work/notified.log")"
echo "PASS"
