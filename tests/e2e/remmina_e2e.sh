#!/usr/bin/env bash
# End to end with a real viewer: a real VNC server (x11vnc on an Xvfb of its
# own) behind each of two peers of the test network, the dual-stack one and
# the IPv6-only one, published over DNS-SD by the peer's own avahi-daemon.
# Nimbrook lists them; choosing one from the icon's menu hands its vnc://
# address through xdg-open to Remmina, the desktop's handler for vnc://, and
# the test passes when the peer's server has accepted Remmina as a client.
# Choosing the same machine twice within a second opens one session.
# usage: remmina_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR   (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb xdpyinfo dbus-daemon x11vnc remmina xdg-open nsenter
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || { echo "skipping: no python3-dbus"; exit 77; }
[ "${NIMBROOK_STOCK_PEERS:-}" = 1 ] || { echo "skipping: needs the test network: run through scripts/test"; exit 77; }
netenv_state=${NIMBROOK_NETENV_DIR:-/tmp/nimbrook-netenv}
mkdir -p "$artifacts"

# serve NAMESPACE NAME PORT: x11vnc for NAME in the peer NAMESPACE, published
# by that peer's avahi-daemon (entered through its publisher's namespaces).
serve() {
  local ns=$1 name=$2 port=$3 display
  display=$(free_display 300 319) || fail "no free display for $name"
  Xvfb "$display" -screen 0 640x400x24 -nolisten tcp >"$work/$ns-xvfb.log" 2>&1 &
  pids+=($!)
  wait_for 10 env DISPLAY="$display" xdpyinfo || fail "the peer's Xvfb did not start"
  ip netns exec "$ns" x11vnc -display "$display" -rfbport "$port" -6 -nopw -forever -shared \
    -noxdamage -nolookup -norc >"$work/$ns-x11vnc.log" 2>&1 &
  pids+=($!)
  wait_for 10 grep -q "PORT=$port" "$work/$ns-x11vnc.log" || fail "x11vnc did not start: $(cat "$work/$ns-x11vnc.log")"
  env -u DBUS_SYSTEM_BUS_ADDRESS nsenter --target "$(cat "$netenv_state/$ns/publish.pid")" --mount --net \
    avahi-publish -s "$name" _rfb._tcp "$port" >"$work/$ns-publish.log" 2>&1 &
  pids+=($!)
  wait_for 10 grep -q 'Established' "$work/$ns-publish.log" || fail "$name was not published"
}

free_display() { # free_display FIRST LAST: prints :N
  local n
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { echo ":$n"; return 0; }
  done
  return 1
}

accepted() { # accepted NAMESPACE: how many clients its server accepted
  grep -c 'incr accepted_client' "$work/$1-x11vnc.log"
}

start_xvfb 280 299 1024x768
start_session_bus
make_home
# Remmina is the desktop's handler for vnc://, as its package registers it.
rm -f "$XDG_DATA_HOME/applications/vnc-recorder.desktop"
xdg-mime default org.remmina.Remmina.desktop x-scheme-handler/vnc
[ "$(xdg-mime query default x-scheme-handler/vnc)" = org.remmina.Remmina.desktop ] ||
  fail "Remmina is not the handler: $(xdg-mime query default x-scheme-handler/vnc)"

serve nimbrook-dual "Remmina IPv4 Studio" 5911
serve nimbrook-v6 "Remmina IPv6 Studio" 5912

xdpyinfo >/dev/null 2>&1 || fail "the display $DISPLAY is gone: $(cat "$work/xvfb.log")"
/usr/bin/python3 "$here/desktop/sni_watcher.py" 240 >"$work/watcher.log" 2>&1 &
pids+=($!)
wait_for 10 grep -q 'watcher up' "$work/watcher.log" || fail "the tray did not start"
QT_LOGGING_RULES="nimbrook.opener.info=true" "$binary" >"$work/app.log" 2>&1 &
pids+=($!)

# choose NAME [TIMES]: the menu entry of machine NAME clicked TIMES times 0.3 s apart,
# as a host clicks it; prints the wall time of the first click in ms.
choose() {
  /usr/bin/python3 - "$DBUS_SESSION_BUS_ADDRESS" "$here" "$1" "${2:-1}" <<'EOP'
import sys, time
import dbus
sys.path.insert(0, sys.argv[2])
from tray_item import fail, open_menu, tray_item
label, times = sys.argv[3], int(sys.argv[4])
menu = tray_item(dbus.bus.BusConnection(sys.argv[1]))[3]
open_menu(menu)
deadline = time.time() + 20
while time.time() < deadline:
    for child_id, props, _ in menu.GetLayout(0, 1, ["label", "enabled"])[1][2]:
        if str(props.get("label", "")).startswith(label + " —") and bool(props.get("enabled", True)):
            print(int(time.time() * 1000), flush=True)
            for n in range(times):
                if n:
                    time.sleep(0.3)
                menu.Event(child_id, "clicked", dbus.String("", variant_level=1), dbus.UInt32(0))
            sys.exit(0)
    time.sleep(0.2)
fail("no enabled entry " + label + " in the menu: "
     + ", ".join(str(p.get("label", "")) for _, p, _ in menu.GetLayout(0, 1, ["label"])[1][2]))
EOP
}

now_ms() { date +%s%3N; }
results="$artifacts/remmina-results.txt"
: >"$results"
for peer in "nimbrook-dual Remmina IPv4 Studio" "nimbrook-v6 Remmina IPv6 Studio"; do
  ns=${peer%% *} name=${peer#* }
  clicked=$(choose "$name" ${CLICKS:-2}) || fail "$name could not be chosen: $clicked"
  wait_for 20 sh -c "[ \"\$(grep -c 'incr accepted_client' '$work/$ns-x11vnc.log')\" -ge 1 ]" ||
    fail "Remmina never reached $name: $(tail -5 "$work/$ns-x11vnc.log"; grep -i vnc "$work/app.log")"
  reached=$(now_ms)
  # The second click came 0.3 s after the first: give it time to open a
  # second session if it were going to.
  sleep 5
  [ "$(accepted "$ns")" = 1 ] || fail "two clicks opened $(accepted "$ns") sessions to $name: $(grep -i "client\|nimbrook" "$work/$ns-x11vnc.log" "$work/app.log")"
  grep -m1 'incr accepted_client' "$work/$ns-x11vnc.log"
  echo "$name: first click to the server's accepted client within $((reached - clicked)) ms" | tee -a "$results"
done
import -window root "$artifacts/remmina-session.png" 2>/dev/null || true
echo "PASS"
