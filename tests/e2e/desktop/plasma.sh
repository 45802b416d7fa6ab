#!/bin/bash
# plasma.sh: KDE Plasma 5.27 on X11 (Xvfb): kwin_x11, kded5 (its StatusNotifierWatcher) and
# plasmashell with its default panel along the bottom edge, whose system tray hosts the items;
# xdg-desktop-portal with its KDE backend when installed. Everything runs as the unprivileged
# user $DESK_USER, as in a real session. Run this script itself as root.
#
#   eval "$(plasma.sh up)"   prints, for eval: DISPLAY DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR
#        XDG_SESSION_TYPE XDG_CURRENT_DESKTOP KDE_FULL_SESSION KDE_SESSION_VERSION DESK_USER
#        DESK_HOME, and `unset WAYLAND_DISPLAY`
#   plasma.sh run CMD...       CMD as $DESK_USER in the session (execs: $! is CMD)
#   plasma.sh click X Y [left|right|middle]   pointer click (xdotool)
#   plasma.sh key COMBO        ctrl+1, Escape, Down ... (xdotool key)
#   plasma.sh type TEXT        TEXT typed (xdotool type)
#   plasma.sh shot FILE        PNG of the whole screen (ImageMagick import)
#   plasma.sh scheme NAME      switches the colour scheme (BreezeLight, BreezeDark) as System
#                              Settings does
#   plasma.sh down             stops all of it (idempotent)
# Packages (installed when missing): xvfb x11-utils xdotool imagemagick plasma-desktop kwin-x11
#   kded5 dbus-daemon fonts-dejavu-core
set -euo pipefail
STATE=${STATE:-${TESTENV:-/tmp/nimbrook-e2e}/desktop-plasma}
. "$(dirname "$(readlink -f "$0")")/lib.sh"

down() {
  session_down
  if [ -f "$STATE/display" ]; then xvfb_cleanup "$(cat "$STATE/display")"; rm -f "$STATE/display"; fi
}

tray_hosting() { as_user busctl --user get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
                   org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null | grep -q true; }

up() {
  need_root
  already_up && return 0
  down
  need_pkgs xvfb x11-utils xdotool imagemagick plasma-desktop kwin-x11 kded5 dbus-daemon fonts-dejavu-core
  local t0 n
  t0=$(now_ms)
  session_init
  x11_socket_dir
  n=$(XDISPLAYS=${XDISPLAYS:-"130 139"} free_display) || die "no free X display"
  echo "$n" >"$STATE/display"
  start xvfb Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp
  SESSION_ENV+=(DISPLAY=":$n" XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true
                KDE_SESSION_VERSION=5)
  wait_for 10 as_user xdpyinfo || die "Xvfb :$n did not start"
  start_bus
  save_session
  start kwin kwin_x11
  start kded kded5
  local kde_portal=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
  if [ -x "$kde_portal" ]; then
    start portal-kde "$kde_portal"
    start portal /usr/libexec/xdg-desktop-portal -r
  fi
  start plasma plasmashell --no-respawn
  wait_for 40 tray_hosting || die "Plasma's tray is not hosting: $(tail -3 "$STATE/logs/plasma.log")"
  sleep 2 # the panel drawn
  save_env DISPLAY=":$n" DBUS_SESSION_BUS_ADDRESS="unix:path=$STATE/run/bus" \
    XDG_RUNTIME_DIR="$STATE/run" XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=KDE \
    KDE_FULL_SESSION=true KDE_SESSION_VERSION=5 \
    DESK_USER="$DESK_USER" DESK_HOME="$STATE/home" -WAYLAND_DISPLAY
  say "up on :$n in $(( $(now_ms) - t0 )) ms"
}

click() {
  [ $# -ge 2 ] || die "usage: click X Y [left|right|middle]"
  local button
  case ${3:-left} in left) button=1 ;; middle) button=2 ;; right) button=3 ;;
                     *) die "button: left, right or middle" ;; esac
  # Not --sync: it waits for a motion that never comes when the pointer is there already.
  load_session; as_user xdotool mousemove "$1" "$2" sleep 0.1 click "$button"
}

key() { [ $# -eq 1 ] || die "usage: key COMBO"; load_session; as_user xdotool key "$1"; }
type_text() { [ $# -eq 1 ] || die "usage: type TEXT"; load_session; as_user xdotool type --delay 60 "$1"; }
shot() { [ $# -eq 1 ] || die "usage: shot FILE.png"; load_session; as_user import -window root png:- >"$1"; }
scheme() { [ $# -eq 1 ] || die "usage: scheme NAME"; load_session; as_user plasma-apply-colorscheme "$1"; }

cmd=${1:-}; shift || true
case $cmd in
  up) up ;;
  down) down ;;
  run) session_run "$@" ;;
  click) click "$@" ;;
  key) key "$@" ;;
  type) type_text "$@" ;;
  shot) shot "$@" ;;
  scheme) scheme "$@" ;;
  *) die "usage: ${0##*/} up|down|run CMD...|click X Y [BUTTON]|key COMBO|type TEXT|shot FILE|scheme NAME" ;;
esac
