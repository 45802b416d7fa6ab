#!/usr/bin/env bash
# Without any tray (GNOME without the AppIndicator extension, say), Nimbrook
# says so once on stderr and shows its panel in an ordinary window.
# usage: no_tray_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
command -v Xvfb >/dev/null && command -v xdpyinfo >/dev/null || { echo "skipping: no Xvfb"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; cat "$work/app.log"; exit 1; }

display=""
for n in $(seq 151 180); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "skipping: no free display number"; exit 77; }
export DISPLAY=$display HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS # no StatusNotifierWatcher either
Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done

QT_LOGGING_RULES="nimbrook.app.info=true" "$binary" >"$work/app.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'panel shown in a window' "$work/app.log" && break; sleep 0.1; done
grep -q 'panel shown in a window' "$work/app.log" || fail "no window after the grace period"
[ "$(grep -c 'no system tray found' "$work/app.log")" -eq 1 ] || fail "the missing tray was not reported exactly once"
grep -q 'AppIndicator' "$work/app.log" || fail "the message does not say what to install"
echo "PASS: $(grep 'no system tray found' "$work/app.log")"
