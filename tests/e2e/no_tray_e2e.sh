#!/usr/bin/env bash
# Without any tray (GNOME without the AppIndicator extension, say), Nimbrook
# says so once on stderr and shows its panel in an ordinary window.
# usage: no_tray_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb xdpyinfo
start_xvfb 151 180 800x600
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS # no StatusNotifierWatcher either

QT_LOGGING_RULES="nimbrook.app.info=true" "$binary" >"$work/app.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'panel shown in a window' "$work/app.log" && break; sleep 0.1; done
grep -q 'panel shown in a window' "$work/app.log" || fail "no window after the grace period"
[ "$(grep -c 'no system tray found' "$work/app.log")" -eq 1 ] || fail "the missing tray was not reported exactly once"
grep -q 'AppIndicator' "$work/app.log" || fail "the message does not say what to install"
echo "PASS: $(grep 'no system tray found' "$work/app.log")"
