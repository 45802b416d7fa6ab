# Shared by the end-to-end tests that run Nimbrook on an Xvfb display of their
# own, as root (sourced; bash): a scratch folder cleaned up on exit, a display,
# a home with the stand-in Tailscale tool and a recording vnc:// handler.
#   start_xvfb FIRST LAST WxH   the first free display in FIRST..LAST
#   start_trayer                an XEmbed tray along the bottom edge
#   start_session_bus           a session D-Bus of our own
#   make_home                   HOME, settings and the vnc:// recorder
#   and need_tools, fail and wait_for of common.sh
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(cd "$here/../data" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

source "$here/common.sh"

start_xvfb() { # start_xvfb FIRST LAST WxH
  local n server
  for n in $(seq "$1" "$2"); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    export DISPLAY=":$n"
    Xvfb "$DISPLAY" -screen 0 "${3}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
    server=$!
    # Answered by our server, not by another one holding the number's
    # abstract socket without its files (ours then exits at once).
    if wait_for 10 xdpyinfo && sleep 0.3 && kill -0 "$server" 2>/dev/null; then
      pids+=("$server")
      return 0
    fi
    kill "$server" 2>/dev/null
    echo "display $DISPLAY unusable: $(cat "$work/xvfb.log")"
  done
  echo "skipping: no free display number"
  exit 77
}

start_trayer() {
  trayer --edge bottom --align right --widthtype pixel --width 200 --height 28 \
    --SetDockType false --transparent false >"$work/trayer.log" 2>&1 &
  pids+=($!)
  wait_for 10 sh -c 'xwininfo -root -children | grep -q "\"panel\""' || fail "trayer did not map its panel"
}

start_session_bus() {
  dbus-daemon --session --fork --print-pid=1 --address="unix:path=$work/bus" >"$work/bus.pid"
  pids+=("$(cat "$work/bus.pid")")
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/bus"
}

make_home() {
  export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
  export XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime"
  export NIMBROOK_VNC_LOG="$work/vnc.log"
  export FAKE_TAILSCALE_REPORT="$data/tailscale/running-3-macs.json"
  unset XDG_CURRENT_DESKTOP DESKTOP_SESSION WAYLAND_DISPLAY
  mkdir -p "$XDG_CONFIG_HOME/Nimbrook" "$XDG_DATA_HOME/applications"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
  printf '[General]\nTailscaleCLIPath=%s\n' "$data/fake-tailscale" >"$XDG_CONFIG_HOME/Nimbrook/Nimbrook.conf"
  cat >"$XDG_DATA_HOME/applications/vnc-recorder.desktop" <<EOD
[Desktop Entry]
Type=Application
Name=VNC recorder
Exec=$here/vnc-recorder %u
MimeType=x-scheme-handler/vnc;
NoDisplay=true
EOD
  xdg-mime default vnc-recorder.desktop x-scheme-handler/vnc
}
