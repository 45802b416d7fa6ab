#!/bin/bash
# x11-sni.sh: an X11 desktop (Xvfb) whose tray hosts StatusNotifierItems.
#
# Gives: Xvfb 1280x800 on the first free display from :120 to :129 (XDISPLAYS="FIRST LAST"
# to change), a session D-Bus, xfce4-panel along the top edge with its Status Tray plugin
# (it owns org.kde.StatusNotifierWatcher, so Qt uses StatusNotifierItem there, not XEmbed),
# and with WM=1 the xfwm4 window manager (without it, no window manager at all). Everything
# runs as the unprivileged user $DESK_USER (default nbdesk, created when missing), as in a
# real session. Run this script itself as root.
#
#   eval "$(x11-sni.sh up)"   prints, for eval: DISPLAY DBUS_SESSION_BUS_ADDRESS
#        XDG_RUNTIME_DIR XDG_SESSION_TYPE XDG_CURRENT_DESKTOP DESK_USER DESK_HOME,
#        TRAY_X TRAY_Y (centre of the tray icon, with one item), and `unset WAYLAND_DISPLAY`
#   x11-sni.sh run CMD...      CMD as $DESK_USER in the session (execs: $! is CMD)
#   x11-sni.sh click X Y [left|right|middle]   pointer click (xdotool)
#   x11-sni.sh key COMBO       ctrl+1, Escape, shift+Tab ... (xdotool key)
#   x11-sni.sh shot FILE       PNG of the whole screen (ImageMagick import)
#   x11-sni.sh tree            one line per visible window that has a class:
#                                      class pid rect=X,Y WxH focused=true|false name="..."
#   x11-sni.sh down            stops all of it (idempotent)
# Packages (installed when missing): xvfb x11-utils xdotool imagemagick xfce4-panel dbus-daemon
#   fonts-dejavu-core, and xfwm4 with WM=1
# State: $STATE, default ${TESTENV:-/tmp/nimbrook-e2e}/desktop-x11-sni (lib.sh).
set -euo pipefail
STATE=${STATE:-${TESTENV:-/tmp/nimbrook-e2e}/desktop-x11-sni}
. "$(dirname "$(readlink -f "$0")")/lib.sh"
DESK=$DESKTOP_DIR

wm_ready() { as_user xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'; }

down() {
  session_down
  if [ -f "$STATE/display" ]; then xvfb_cleanup "$(cat "$STATE/display")"; rm -f "$STATE/display"; fi
}

up() {
  need_root
  already_up && return 0
  down
  local pkgs=(xvfb x11-utils xdotool imagemagick xfce4-panel dbus-daemon fonts-dejavu-core) t0 n
  [ "${WM:-0}" = 1 ] && pkgs+=(xfwm4)
  need_pkgs "${pkgs[@]}"
  t0=$(now_ms)
  session_init
  x11_socket_dir
  n=$(free_display) || die "no free X display in ${XDISPLAYS:-120 129}"
  echo "$n" >"$STATE/display"
  start xvfb Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp
  SESSION_ENV+=(DISPLAY=":$n" XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=XFCE)
  wait_for 10 as_user xdpyinfo || die "Xvfb :$n did not start: $(tail -3 "$STATE/logs/xvfb.log")"
  start_bus
  if [ "${WM:-0}" = 1 ]; then
    start wm xfwm4 --compositor=off
    wait_for 10 wm_ready || die "xfwm4 did not start: $(tail -3 "$STATE/logs/wm.log")"
  fi
  # xfconfd, which the panel has the bus start, reads $HOME/.config
  install -D -o "$DESK_USER" -m 644 "$DESK/xfce4-panel.xml" \
    "$STATE/home/.config/xfce4/xfconf/xfce-perchannel-xml/xfce4-panel.xml"
  chown -R "$DESK_USER:" "$STATE/home"
  if [ "${WM:-0}" = 1 ]; then start panel xfce4-panel; else start panel xfce4-panel --disable-wm-check; fi
  wait_for 20 sni_host_ready || die "the panel's tray is not hosting: $(tail -5 "$STATE/logs/panel.log")"

  save_session
  save_env DISPLAY=":$n" DBUS_SESSION_BUS_ADDRESS="unix:path=$STATE/run/bus" \
    XDG_RUNTIME_DIR="$STATE/run" XDG_SESSION_TYPE=x11 XDG_CURRENT_DESKTOP=XFCE \
    DESK_USER="$DESK_USER" DESK_HOME="$STATE/home" TRAY_X=1265 TRAY_Y=15 -WAYLAND_DISPLAY
  say "up on :$n in $(( $(now_ms) - t0 )) ms"
}

click() {
  [ $# -ge 2 ] || die "usage: click X Y [left|right|middle]"
  local button
  case ${3:-left} in left) button=1 ;; middle) button=2 ;; right) button=3 ;;
                     *) die "button: left, right or middle" ;; esac
  load_session; as_user xdotool mousemove --sync "$1" "$2" click "$button"
}

key() { [ $# -eq 1 ] || die "usage: key COMBO   (ctrl+1, Escape, shift+Tab)"; load_session; as_user xdotool key "$1"; }

shot() { [ $# -eq 1 ] || die "usage: shot FILE.png"; load_session; as_user import -window root png:- >"$1"; }

tree() {
  load_session
  # shellcheck disable=SC2034  # SCREEN and WINDOW are set by the eval below
  local focus w class X Y WIDTH HEIGHT SCREEN WINDOW
  focus=$(as_user xdotool getwindowfocus 2>/dev/null || echo none)
  for w in $(as_user xdotool search --onlyvisible --class . 2>/dev/null); do
    eval "$(as_user xdotool getwindowgeometry --shell "$w")"
    class=$(as_user xprop -id "$w" WM_CLASS | sed -n 's/.*= "[^"]*", "\([^"]*\)".*/\1/p')
    echo "class=${class:--} pid=$(as_user xdotool getwindowpid "$w" 2>/dev/null || echo '?')" \
         "rect=$X,$Y ${WIDTH}x$HEIGHT focused=$([ "$w" = "$focus" ] && echo true || echo false)" \
         "name=\"$(as_user xdotool getwindowname "$w")\""
  done
}

cmd=${1:-}; shift || true
case $cmd in
  up) up ;;
  down) down ;;
  run) session_run "$@" ;;
  click) click "$@" ;;
  key) key "$@" ;;
  shot) shot "$@" ;;
  tree) tree ;;
  *) die "usage: ${0##*/} up|down|run CMD...|click X Y [BUTTON]|key COMBO|shot FILE|tree" ;;
esac
