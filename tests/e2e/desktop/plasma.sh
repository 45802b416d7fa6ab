#!/bin/bash
# plasma.sh: KDE Plasma with its default panel along the bottom edge, whose system tray hosts
# the items, and xdg-desktop-portal with its KDE backend when installed. Everything runs as the
# unprivileged user $DESK_USER, as in a real session. Run this script itself as root.
#   Plasma 5 (Debian 12): on X11 (Xvfb), kwin_x11, kded5 (its StatusNotifierWatcher), plasmashell.
#   Plasma 6 (Debian 13): on Wayland, as it runs there by default: kwin_wayland shows its screen
#     in a window on Xvfb (its X11 backend, which takes that window's input as its own seat's),
#     kded6, kactivitymanagerd and plasmashell; the session's programs see Wayland only.
#
#   eval "$(plasma.sh up)"   prints, for eval: DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR
#        XDG_SESSION_TYPE XDG_CURRENT_DESKTOP KDE_FULL_SESSION KDE_SESSION_VERSION DESK_USER
#        DESK_HOME, and DISPLAY (Plasma 5) or WAYLAND_DISPLAY (Plasma 6), unsetting the other
#   plasma.sh run CMD...       CMD as $DESK_USER in the session (execs: $! is CMD)
#   plasma.sh click X Y [left|right|middle]   pointer click (xdotool)
#   plasma.sh point X Y        the pointer moved there
#   plasma.sh key COMBO        ctrl+1, Escape, Down ... (xdotool key)
#   plasma.sh type TEXT        TEXT typed (xdotool type)
#   plasma.sh shot FILE        PNG of the whole screen (ImageMagick import)
#   plasma.sh windows          Plasma 6: one line per window KWin shows, from a KWin script:
#                              "X Y W H RESOURCECLASS CAPTION"
#   plasma.sh scheme NAME      switches the colour scheme (BreezeLight, BreezeDark) as System
#                              Settings does
#   plasma.sh major            the major version of the installed Plasma
#   plasma.sh down             stops all of it (idempotent)
# Packages (installed when missing): xvfb x11-utils xdotool imagemagick plasma-desktop
#   dbus-daemon fonts-dejavu-core, and kwin-x11 kded5 (Plasma 5) or kwin-wayland kded6
#   kactivitymanagerd qt6-wayland (Plasma 6)
set -euo pipefail
STATE=${STATE:-${TESTENV:-/tmp/nimbrook-e2e}/desktop-plasma}
. "$(dirname "$(readlink -f "$0")")/lib.sh"

down() {
  session_down
  if [ -f "$STATE/display" ]; then xvfb_cleanup "$(cat "$STATE/display")"; rm -f "$STATE/display"; fi
}

tray_hosting() { as_user busctl --user get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
                   org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null | grep -q true; }

# The major version of the installed Plasma (5 when none is).
plasma_major() {
  local version
  version=$(dpkg-query -W -f='${Version}' plasma-workspace 2>/dev/null) || { echo 5; return; }
  version=${version#*:}
  echo "${version%%.*}"
}

up() {
  need_root
  already_up && return 0
  down
  local major t0 n
  major=$(plasma_major)
  if [ "$major" -ge 6 ]; then
    need_pkgs xvfb x11-utils xdotool imagemagick plasma-desktop kwin-wayland kded6 \
      kactivitymanagerd qt6-wayland dbus-daemon fonts-dejavu-core
  else
    need_pkgs xvfb x11-utils xdotool imagemagick plasma-desktop kwin-x11 kded5 dbus-daemon \
      fonts-dejavu-core
  fi
  t0=$(now_ms)
  session_init
  x11_socket_dir
  n=$(XDISPLAYS=${XDISPLAYS:-"130 139"} free_display) || die "no free X display"
  echo "$n" >"$STATE/display"
  start xvfb Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp
  SESSION_ENV+=(DISPLAY=":$n" XDG_CURRENT_DESKTOP=KDE KDE_FULL_SESSION=true
                KDE_SESSION_VERSION="$major")
  wait_for 10 as_user xdpyinfo || die "Xvfb :$n did not start"
  start_bus
  local display_env=(DISPLAY=":$n" -WAYLAND_DISPLAY)
  if [ "$major" -ge 6 ]; then
    SESSION_ENV+=(XDG_SESSION_TYPE=wayland)
    start kwin kwin_wayland --x11-display ":$n" --width 1280 --height 800 \
      --socket wayland-plasma --no-lockscreen
    wait_for 20 test -S "$STATE/run/wayland-plasma" || die "kwin_wayland did not start: $(tail -3 "$STATE/logs/kwin.log")"
    # What the session's programs get: Wayland, as in a Plasma 6 session.
    local keep=() e
    for e in "${SESSION_ENV[@]}"; do [ "${e%%=*}" = DISPLAY ] || keep+=("$e"); done
    SESSION_ENV=("${keep[@]}" WAYLAND_DISPLAY=wayland-plasma)
    display_env=(WAYLAND_DISPLAY=wayland-plasma -DISPLAY)
    save_session
    start kded kded6
    start activities /usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd
  else
    SESSION_ENV+=(XDG_SESSION_TYPE=x11)
    save_session
    start kwin kwin_x11
    start kded kded5
  fi
  local kde_portal=/usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
  if [ -x "$kde_portal" ]; then
    start portal-kde "$kde_portal"
    start portal /usr/libexec/xdg-desktop-portal -r
  fi
  start plasma plasmashell --no-respawn
  wait_for 40 tray_hosting || die "Plasma's tray is not hosting: $(tail -3 "$STATE/logs/plasma.log")"
  sleep 2 # the panel drawn
  local session_type=x11
  [ "$major" -lt 6 ] || session_type=wayland
  save_env "${display_env[@]}" DBUS_SESSION_BUS_ADDRESS="unix:path=$STATE/run/bus" \
    XDG_RUNTIME_DIR="$STATE/run" XDG_SESSION_TYPE=$session_type XDG_CURRENT_DESKTOP=KDE \
    KDE_FULL_SESSION=true KDE_SESSION_VERSION="$major" \
    DESK_USER="$DESK_USER" DESK_HOME="$STATE/home"
  say "Plasma $major up on :$n in $(( $(now_ms) - t0 )) ms"
}

# The helpers drive the X display: Plasma 5's screen, or the window Plasma 6's KWin shows its
# screen in.
on_x() { load_session; as_user env DISPLAY=":$(cat "$STATE/display")" "$@"; }

click() {
  [ $# -ge 2 ] || die "usage: click X Y [left|right|middle]"
  local button
  case ${3:-left} in left) button=1 ;; middle) button=2 ;; right) button=3 ;;
                     *) die "button: left, right or middle" ;; esac
  # Not --sync: it waits for a motion that never comes when the pointer is there already.
  on_x xdotool mousemove "$1" "$2" sleep 0.1 click "$button"
}

point() { [ $# -eq 2 ] || die "usage: point X Y"; on_x xdotool mousemove "$1" "$2"; }
key() { [ $# -eq 1 ] || die "usage: key COMBO"; on_x xdotool key "$1"; }
type_text() { [ $# -eq 1 ] || die "usage: type TEXT"; on_x xdotool type --delay 60 "$1"; }
shot() { [ $# -eq 1 ] || die "usage: shot FILE.png"; on_x import -window root png:- >"$1"; }
scheme() { [ $# -eq 1 ] || die "usage: scheme NAME"; load_session; as_user plasma-apply-colorscheme "$1"; }

# A KWin script prints the windows to KWin's log, between two marks of its own.
windows() {
  load_session
  local mark script id
  mark="windows-$$-$(now_ms)"
  script="$STATE/run/$mark.js"
  cat >"$script" <<EOJ
print("$mark begin");
for (const w of workspace.stackingOrder) {
  const g = w.frameGeometry;
  print("$mark " + [g.x, g.y, g.width, g.height, w.resourceClass || "-", w.caption].join(" "));
}
print("$mark end");
EOJ
  chown "$DESK_USER:" "$script"
  id=$(as_user busctl --user call org.kde.KWin /Scripting org.kde.kwin.Scripting loadScript ss \
         "$script" "$mark" | awk '{ print $2 }')
  [ -n "$id" ] || die "KWin took no script"
  as_user busctl --user call org.kde.KWin "/Scripting/Script$id" org.kde.kwin.Script run
  wait_for 5 grep -q "$mark end" "$STATE/logs/kwin.log" || die "the KWin script printed nothing"
  as_user busctl --user call org.kde.KWin "/Scripting/Script$id" org.kde.kwin.Script stop 2>/dev/null || true
  rm -f "$script"
  sed -n "s/^js: $mark \([-0-9].*\)/\1/p" "$STATE/logs/kwin.log"
}

cmd=${1:-}; shift || true
case $cmd in
  up) up ;;
  down) down ;;
  run) session_run "$@" ;;
  click) click "$@" ;;
  point) point "$@" ;;
  major) plasma_major ;;
  windows) windows ;;
  key) key "$@" ;;
  type) type_text "$@" ;;
  shot) shot "$@" ;;
  scheme) scheme "$@" ;;
  *) die "usage: ${0##*/} up|down|run CMD...|click X Y [BUTTON]|point X Y|key COMBO|type TEXT|shot FILE|windows|scheme NAME" ;;
esac
