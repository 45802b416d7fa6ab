# Shared by the end-to-end tests that run Nimbrook in a desktop session of
# tests/e2e/desktop/ (sourced; bash). The session runs as an unprivileged
# user, so what it runs is copied where that user may read it.
#   up_desktop NAME TOOL...     starts the desktop (skips without root or a tool)
#   session_setup BINARY ARTIFACTS   what the session user needs
#   install_symbolic_icon       the package's symbolic icon in the session user's theme
#   start_app                   starts Nimbrook in the session; log in $work/app.log
#   and common.sh's helpers, and contrast_on_bar (contrast.sh)
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
data=$(cd "$here/../data" && pwd)

source "$here/common.sh"

# up_desktop NAME TOOL...: skips without root or a tool, then starts the
# desktop of tests/e2e/desktop/NAME.sh (its `up` takes the caller's
# environment, WM=1 say) and stops it on exit.
up_desktop() {
  local name=$1; shift
  desk="$here/desktop/$name.sh"
  [ "$(id -u)" -eq 0 ] || { echo "skipping: the session needs root to start"; exit 77; }
  need_tools "$@"
  export STATE=/tmp/nimbrook-e2e/$name
  trap '"$desk" down >/dev/null 2>&1; rm -rf "$work"' EXIT
  eval "$("$desk" up)" || { echo "FAIL: the desktop did not start"; exit 1; }
}

log_count() { grep -c "$1" "$work/app.log" 2>/dev/null || true; }

session_setup() {
  binary=$1 artifacts=$2
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

# The package's symbolic icon, installed for the session user as the package
# installs it for everyone.
install_symbolic_icon() {
  install -D -m 644 "$here/../../packaging/icons/nimbrook-symbolic.svg" \
    "$DESK_HOME/.local/share/icons/hicolor/symbolic/apps/io.github.nimbrook.nimbrook-symbolic.svg"
  chown -R "$DESK_USER:" "$DESK_HOME/.local"
}

start_app() {
  QT_LOGGING_RULES="nimbrook.app.info=true;nimbrook.trayhost.info=true" \
    "$desk" run "$work/bin/nimbrook" >"$work/app.log" 2>&1 &
  app=$!
}

source "$here/contrast.sh"
