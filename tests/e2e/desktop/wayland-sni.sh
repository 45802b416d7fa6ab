#!/bin/bash
# wayland-sni.sh: a headless Wayland desktop with a real StatusNotifierItem host.
#
# Gives: sway (headless backend, one 1280x800 output, no Xwayland), a session D-Bus, waybar
# with its tray module (it owns org.kde.StatusNotifierWatcher and is the host that draws the
# items), a virtual pointer (vptr.c, built on first use) and a virtual keyboard that
# stays (wtype), so the seat has a pointer and a keyboard as on a real machine. Everything runs
# as the unprivileged user $DESK_USER (default nbdesk, a system user created when missing):
# sway refuses to run as root. Run this script itself as root.
#
#   eval "$(wayland-sni.sh up)"  prints, for eval: WAYLAND_DISPLAY XDG_RUNTIME_DIR
#        DBUS_SESSION_BUS_ADDRESS SWAYSOCK XDG_SESSION_TYPE XDG_CURRENT_DESKTOP DESK_USER
#        DESK_HOME, TRAY_X TRAY_Y (centre of the rightmost tray icon), and `unset DISPLAY`
#   wayland-sni.sh run CMD...    CMD as $DESK_USER in the session (execs: $! is CMD)
#   wayland-sni.sh click X Y [left|right|middle]   real click at output coordinates
#   wayland-sni.sh key COMBO     ctrl+1, Escape, shift+Tab ... (xkb keysym names)
#   wayland-sni.sh shot FILE     PNG of the whole output (grim)
#   wayland-sni.sh tree          one line per window: app_id pid floating|tiled
#                                        rect=X,Y WxH focused=true|false name="..."
#   wayland-sni.sh down          stops all of it (idempotent)
# Packages (installed when missing): sway waybar wtype grim jq dbus-daemon fonts-dejavu-core
#   gcc libc6-dev libwayland-dev
# State: $STATE, default ${TESTENV:-/tmp/nimbrook-e2e}/desktop-wayland-sni (lib.sh).
set -euo pipefail
STATE=${STATE:-${TESTENV:-/tmp/nimbrook-e2e}/desktop-wayland-sni}
. "$(dirname "$(readlink -f "$0")")/lib.sh"
DESK=$DESKTOP_DIR
VPTR=$TESTENV/bin/vptr

build_vptr() {
  [ -x "$VPTR" ] && [ "$VPTR" -nt "$DESK/vptr.c" ] && return 0
  mkdir -p "$TESTENV/bin"
  cc -O2 -Wall -o "$VPTR" "$DESK/vptr.c" -lwayland-client
}

seat_ready() { as_user swaymsg -t get_seats | jq -e '.[0].capabilities == 3'; }  # pointer + keyboard
vptr_done() { [ "$(grep -c '^done:' "$STATE/logs/vptr.log")" -ge "$1" ]; }

up() {
  need_root
  already_up && return 0
  session_down
  need_pkgs sway waybar wtype grim jq dbus-daemon fonts-dejavu-core gcc libc6-dev libwayland-dev
  build_vptr
  local t0 sock ipc
  t0=$(now_ms)
  session_init
  start_bus
  SESSION_ENV+=(XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway)
  start sway env WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway -c "$DESK/sway.config"
  wait_for 10 compgen -G "$STATE/run/sway-ipc.*.sock" || die "sway did not start: $(tail -5 "$STATE/logs/sway.log")"
  sock=$(cd "$STATE/run" && compgen -G 'wayland-[0-9]' | head -1)
  ipc=$(compgen -G "$STATE/run/sway-ipc.*.sock" | head -1)
  SESSION_ENV+=(WAYLAND_DISPLAY="$sock" SWAYSOCK="$ipc")

  start waybar waybar -c "$DESK/waybar.json" -s "$DESK/waybar.css"
  wait_for 10 sni_host_ready || die "waybar's tray is not hosting: $(tail -5 "$STATE/logs/waybar.log")"

  mkfifo -m 600 "$STATE/vptr.fifo"; chown "$DESK_USER:" "$STATE/vptr.fifo"
  start vptr "$VPTR" "$STATE/vptr.fifo"
  start keyboard wtype -s 86400000          # holds a virtual keyboard for a day
  wait_for 5 seat_ready || die "seat has no pointer+keyboard: $(cat "$STATE/logs/vptr.log")"

  save_session
  save_env WAYLAND_DISPLAY="$sock" XDG_RUNTIME_DIR="$STATE/run" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$STATE/run/bus" SWAYSOCK="$ipc" \
    XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=sway DESK_USER="$DESK_USER" \
    DESK_HOME="$STATE/home" TRAY_X=1259 TRAY_Y=17 -DISPLAY
  say "up in $(( $(now_ms) - t0 )) ms"
}

click() {
  [ $# -ge 2 ] || die "usage: click X Y [left|right|middle]"
  local button n
  case ${3:-left} in left) button=272 ;; right) button=273 ;; middle) button=274 ;;
                     *) die "button: left, right or middle" ;; esac
  load_session; alive vptr || die "the virtual pointer is not running"
  n=$(grep -c '^done:' "$STATE/logs/vptr.log" || true)
  printf 'move %d %d\nclick %d\n' "$1" "$2" "$button" >"$STATE/vptr.fifo"
  wait_for 5 vptr_done $((n + 2)) || die "click not acknowledged: $(tail -3 "$STATE/logs/vptr.log")"
}

key() {
  [ $# -eq 1 ] || die "usage: key COMBO   (ctrl+1, Escape, shift+Tab)"
  local parts mods=() args=() m i
  IFS=+ read -ra parts <<<"$1"
  for m in "${parts[@]:0:${#parts[@]}-1}"; do
    case $m in super | win | meta) m=logo ;; control) m=ctrl ;; esac
    mods+=("$m"); args+=(-M "$m")
  done
  args+=(-k "${parts[-1]}")
  for ((i = ${#mods[@]} - 1; i >= 0; i--)); do args+=(-m "${mods[i]}"); done
  load_session; as_user wtype "${args[@]}"
}

shot() { [ $# -eq 1 ] || die "usage: shot FILE.png"; load_session; as_user grim - >"$1"; }

tree() {
  load_session
  as_user swaymsg -t get_tree | jq -r '
    recurse(.nodes[]?, .floating_nodes[]?)
    | select(.pid != null and (.type == "con" or .type == "floating_con"))
    | "app_id=\(.app_id // .window_properties.class // "-") pid=\(.pid) "
      + "\(if .type == "floating_con" then "floating" else "tiled" end) "
      + "rect=\(.rect.x),\(.rect.y) \(.rect.width)x\(.rect.height) focused=\(.focused) "
      + "name=\(.name | tojson)"'
}

cmd=${1:-}; shift || true
case $cmd in
  up) up ;;
  down) session_down ;;
  run) session_run "$@" ;;
  click) click "$@" ;;
  key) key "$@" ;;
  shot) shot "$@" ;;
  tree) tree ;;
  *) die "usage: ${0##*/} up|down|run CMD...|click X Y [BUTTON]|key COMBO|shot FILE|tree" ;;
esac
