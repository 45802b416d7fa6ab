#!/usr/bin/env bash
# Without any tray (GNOME without the AppIndicator extension, say), Nimbrook
# says so once on stderr, in words for the desktop it is on, and shows its
# panel in an ordinary window. A Wayland display that is gone gives way to the
# X display there is, or, with none, to Nimbrook's own message: never Qt's abort.
# usage: no_tray_e2e.sh NIMBROOK_BINARY     (exit 77: cannot run here)
set -uo pipefail
binary=$1
source "$(dirname "$0")/x11_common.sh"
need_tools Xvfb xdpyinfo
start_xvfb 151 180 800x600
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DBUS_SESSION_BUS_ADDRESS # no StatusNotifierWatcher either

# GNOME's Wayland session, its socket gone; its X display still there.
XDG_CURRENT_DESKTOP=GNOME WAYLAND_DISPLAY=wayland-gone QT_LOGGING_RULES="nimbrook.app.info=true" \
  "$binary" >"$work/app.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q 'panel shown in a window' "$work/app.log" && break; sleep 0.1; done
grep -q 'panel shown in a window' "$work/app.log" || fail "no window after the grace period"
[ "$(grep -c 'no system tray found' "$work/app.log")" -eq 1 ] || fail "the missing tray was not reported exactly once"
grep -q 'install or enable the AppIndicator extension' "$work/app.log" ||
  fail "the message does not say what to install or enable on GNOME"
echo "on GNOME: $(grep 'no system tray found' "$work/app.log")"

# Elsewhere: nothing about GNOME.
XDG_CURRENT_DESKTOP=KDE timeout 5 "$binary" >"$work/kde.log" 2>&1
grep -q 'no system tray found' "$work/kde.log" || fail "no message on KDE: $(cat "$work/kde.log")"
! grep -q 'GNOME' "$work/kde.log" || fail "the message speaks of GNOME on KDE: $(cat "$work/kde.log")"

# No display left at all.
env -u DISPLAY WAYLAND_DISPLAY=wayland-gone "$binary" >"$work/none.log" 2>&1
status=$?
[ "$status" -eq 1 ] || fail "status $status without a display: $(cat "$work/none.log")"
grep -q '^nimbrook: the Wayland display "wayland-gone" (nothing answers at .*) is not there' "$work/none.log" ||
  fail "not Nimbrook's own message: $(cat "$work/none.log")"
echo "without a display: status $status, $(head -1 "$work/none.log")"
echo "PASS"
