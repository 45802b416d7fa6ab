#!/bin/bash
# wayland-bare.sh: a headless Wayland desktop with no tray host at all.
#
# Gives: weston (headless backend, pixman, desktop shell with its own panel, 1280x800) and a
# session D-Bus on which nothing owns org.kde.StatusNotifierWatcher, as on GNOME without the
# AppIndicator extension: the case where a tray app must fall back to a normal window.
# NOBUS=1 leaves the bus out as well. Everything runs as the unprivileged user $DESK_USER
# (default nbdesk, created when missing). Run this script itself as root. Weston offers no
# virtual input, so there is no click/key here: drive the app over D-Bus or its own means.
#
#   eval "$(wayland-bare.sh up)"  prints, for eval: WAYLAND_DISPLAY XDG_RUNTIME_DIR
#        DBUS_SESSION_BUS_ADDRESS (unset with NOBUS=1) XDG_SESSION_TYPE DESK_USER DESK_HOME,
#        and `unset DISPLAY XDG_CURRENT_DESKTOP`
#   wayland-bare.sh run CMD...    CMD as $DESK_USER in the session (execs: $! is CMD)
#   wayland-bare.sh shot FILE     PNG of the whole output (weston-screenshooter)
#   wayland-bare.sh down          stops all of it (idempotent)
# Packages (installed when missing): weston dbus-daemon fonts-dejavu-core
# State: $STATE, default ${TESTENV:-/tmp/nimbrook-e2e}/desktop-wayland-bare (lib.sh).
set -euo pipefail
STATE=${STATE:-${TESTENV:-/tmp/nimbrook-e2e}/desktop-wayland-bare}
. "$(dirname "$(readlink -f "$0")")/lib.sh"

# the desktop shell has drawn its panel and background: the screenshot is no longer all black
# (a black 1280x800 PNG is about 3 KB, the drawn desktop about 70 KB)
drawn() { ( shot "$STATE/drawn.png" ) 2>/dev/null && [ "$(stat -c %s "$STATE/drawn.png")" -gt 20000 ]; }

up() {
  need_root
  already_up && return 0
  session_down
  need_pkgs weston dbus-daemon fonts-dejavu-core
  local t0 bus
  t0=$(now_ms)
  session_init
  if [ "${NOBUS:-0}" = 1 ]; then bus=-DBUS_SESSION_BUS_ADDRESS
  else start_bus; bus=DBUS_SESSION_BUS_ADDRESS="unix:path=$STATE/run/bus"; fi
  SESSION_ENV+=(XDG_SESSION_TYPE=wayland)
  # --debug: lets weston-screenshooter (any client) take screenshots
  start weston weston --backend=headless-backend.so --use-pixman --shell=desktop-shell.so \
    --width=1280 --height=800 --socket=wayland-1 --idle-time=0 --debug
  wait_for 10 test -S "$STATE/run/wayland-1" || die "weston did not start: $(tail -5 "$STATE/logs/weston.log")"
  SESSION_ENV+=(WAYLAND_DISPLAY=wayland-1)
  save_session
  wait_for 10 drawn || die "weston's desktop shell drew nothing: $(tail -5 "$STATE/logs/weston.log")"
  rm -f "$STATE/drawn.png"
  save_env WAYLAND_DISPLAY=wayland-1 XDG_RUNTIME_DIR="$STATE/run" "$bus" \
    XDG_SESSION_TYPE=wayland DESK_USER="$DESK_USER" DESK_HOME="$STATE/home" \
    -DISPLAY -XDG_CURRENT_DESKTOP
  say "up in $(( $(now_ms) - t0 )) ms"
}

shot() {
  [ $# -eq 1 ] || die "usage: shot FILE.png"
  load_session
  local dir png
  dir=$(mktemp -d "$STATE/shot.XXXXXX"); chown "$DESK_USER:" "$dir"
  ( cd "$dir" && as_user weston-screenshooter ) >/dev/null
  png=$(compgen -G "$dir/*.png" | head -1) && cat "$png" >"$1"
  rm -rf "$dir"
  [ -n "$png" ] || die "weston-screenshooter wrote nothing"
}

cmd=${1:-}; shift || true
case $cmd in
  up) up ;;
  down) session_down ;;
  run) session_run "$@" ;;
  shot) shot "$@" ;;
  *) die "usage: ${0##*/} up|down|run CMD...|shot FILE" ;;
esac
