# Shared by the end-to-end tests that run Nimbrook in a desktop session of
# tests/e2e/desktop/ (sourced; bash). The session runs as an unprivileged
# user, so what it runs is copied where that user may read it.
#   session_setup DESKTOP_SCRIPT BINARY ARTIFACTS   after `eval "$(DESKTOP up)"`
#   start_app                   starts Nimbrook in the session; log in $work/app.log
#   fail MESSAGE / wait_for SECONDS CMD... / contrast_on_bar (contrast.sh)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(cd "$here/../data" && pwd)

fail() {
  echo "FAIL: $*"
  echo "--- nimbrook log"; cat "$work/app.log" 2>/dev/null
  exit 1
}
wait_for() { # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}
log_count() { grep -c "$1" "$work/app.log" 2>/dev/null || true; }

session_setup() {
  desk=$1 binary=$2 artifacts=$3
  work=$(mktemp -d /tmp/nimbrook-e2e.XXXXXX)
  chmod 755 "$work"
  mkdir -p "$artifacts" "$work/bin" "$work/data/tailscale"
  install -m 755 "$binary" "$work/bin/nimbrook"
  install -m 755 "$data/fake-tailscale" "$work/data/fake-tailscale"
  install -m 644 "$data"/tailscale/*.json "$work/data/tailscale/"
  install -m 755 "$here/vnc-recorder" "$work/bin/vnc-recorder"
  touch "$work/vnc.log" "$work/app.log"
  chown "$DESK_USER:" "$work/vnc.log" "$work/app.log"
  # The session user's settings and a recording vnc:// handler.
  install -d -o "$DESK_USER" "$DESK_HOME/.config/Nimbrook" "$DESK_HOME/.local/share/applications"
  printf '[General]\nTailscaleCLIPath=%s\n' "$work/data/fake-tailscale" >"$DESK_HOME/.config/Nimbrook/Nimbrook.conf"
  cat >"$DESK_HOME/.local/share/applications/vnc-recorder.desktop" <<EOD
[Desktop Entry]
Type=Application
Name=VNC recorder
Exec=$work/bin/vnc-recorder %u
MimeType=x-scheme-handler/vnc;
NoDisplay=true
EOD
  chown -R "$DESK_USER:" "$DESK_HOME"
  "$desk" run xdg-mime default vnc-recorder.desktop x-scheme-handler/vnc
  export NIMBROOK_VNC_LOG="$work/vnc.log" FAKE_TAILSCALE_REPORT="$work/data/tailscale/running-3-macs.json"
}

start_app() {
  QT_LOGGING_RULES="nimbrook.app.info=true;nimbrook.trayhost.info=true" \
    "$desk" run "$work/bin/nimbrook" >"$work/app.log" 2>&1 &
  app=$!
}

source "$here/contrast.sh"
