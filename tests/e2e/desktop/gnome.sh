#!/bin/bash
# gnome.sh: GNOME Shell (43 on Debian 12, 48 on Debian 13) as a headless Wayland compositor, with the AppIndicator extension
# (gnome-shell-extension-appindicator) as its StatusNotifierItem host.
#
# Gives: gnome-shell --headless (one 1280x800 virtual monitor, no Xwayland), a session D-Bus,
# a system D-Bus of its own with nothing on it (the shell asks it for UPower and the like), and
# a test-only extension that switches the shell's unsafe mode on, so that org.gnome.Shell.Eval
# and the screenshot API answer. Pointer and keyboard are virtual devices made inside the
# shell. GNOME Shell picks logind when /run/systemd/seats exists: it runs in a mount namespace
# where /run/systemd is empty. Everything runs as the unprivileged user $DESK_USER.
# Run this script itself as root.
#
#   eval "$(gnome.sh up)"      prints, for eval: WAYLAND_DISPLAY XDG_RUNTIME_DIR
#        DBUS_SESSION_BUS_ADDRESS DBUS_SYSTEM_BUS_ADDRESS XDG_SESSION_TYPE XDG_CURRENT_DESKTOP DESK_USER DESK_HOME,
#        and `unset DISPLAY`
#   gnome.sh run CMD...        CMD as $DESK_USER in the session (execs: $! is CMD)
#   gnome.sh eval JS           the value of JS in the shell (org.gnome.Shell.Eval), as JSON
#   gnome.sh click X Y         a click of the virtual pointer at X,Y
#   gnome.sh key KEYSYM        a key of the virtual keyboard (Escape, Return, Down, a, …)
#   gnome.sh type TEXT         TEXT typed key by key
#   gnome.sh shot FILE         PNG of the whole screen (the shell's screenshot API)
#   gnome.sh down              stops all of it (idempotent)
# Packages (installed when missing): gnome-shell gnome-shell-extension-appindicator dbus-daemon
#   fonts-dejavu-core
set -euo pipefail
STATE=${STATE:-${TESTENV:-/tmp/nimbrook-e2e}/desktop-gnome}
. "$(dirname "$(readlink -f "$0")")/lib.sh"
APPINDICATOR=ubuntu-appindicators@ubuntu.com
HOOKS=nimbrook-test-hooks@nimbrook.github.io

down() { session_down; }

install_hooks() {
  local dir="$STATE/home/.local/share/gnome-shell/extensions/$HOOKS" major
  major=$(gnome-shell --version | sed -n 's/^GNOME Shell \([0-9]*\).*/\1/p')
  mkdir -p "$dir"
  cat >"$dir/metadata.json" <<EOJ
{"uuid": "$HOOKS", "name": "Nimbrook test hooks",
 "description": "Lets Nimbrook's tests use Eval and take screenshots", "shell-version": ["$major"]}
EOJ
  # GNOME starts in the overview, whose search would take the keys typed.
  local body='
    enable() {
        global.context.unsafe_mode = true;
        if (Main.layoutManager._startingUp) {
            const id = Main.layoutManager.connect("startup-complete", () => {
                Main.layoutManager.disconnect(id);
                Main.overview.hide();
            });
        }
    }
    disable() { global.context.unsafe_mode = false; }'
  if [ "${major:-0}" -ge 45 ]; then # extensions are ES modules from GNOME 45 on
    cat >"$dir/extension.js" <<EOJ
import * as Main from 'resource:///org/gnome/shell/ui/main.js';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';
export default class NimbrookTestHooks extends Extension {$body
}
EOJ
  else
    cat >"$dir/extension.js" <<EOJ
const Main = imports.ui.main;
class Extension {$body
}
function init() { return new Extension(); }
EOJ
  fi
  chown -R "$DESK_USER:" "$STATE/home"
}

start_system_bus() {
  cat >"$STATE/system-bus.conf" <<EOC
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$STATE/run/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOC
  start sysbus dbus-daemon --config-file="$STATE/system-bus.conf" --nofork --nopidfile
  SESSION_ENV+=(DBUS_SYSTEM_BUS_ADDRESS="unix:path=$STATE/run/system_bus")
  wait_for 5 test -S "$STATE/run/system_bus" || die "the system bus did not start"
}

shell_eval() {
  local out
  out=$(as_user gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
          --method org.gnome.Shell.Eval "$1" 2>&1) || return 1
  case $out in "(true, '"*) out=${out#"(true, '"}; printf '%s\n' "${out%"')"}" ;; *) return 1 ;; esac
}

host_ready() {
  as_user busctl --user get-property org.kde.StatusNotifierWatcher /StatusNotifierWatcher \
    org.kde.StatusNotifierWatcher IsStatusNotifierHostRegistered 2>/dev/null | grep -q true
}

up() {
  need_root
  already_up && return 0
  session_down
  need_pkgs gnome-shell gnome-shell-extension-appindicator dbus-daemon fonts-dejavu-core
  local t0
  t0=$(now_ms)
  session_init
  # First, so that what the session bus starts sees it too.
  start_system_bus
  start_bus
  install_hooks
  as_user gsettings set org.gnome.shell enabled-extensions "['$APPINDICATOR', '$HOOKS']"
  as_user gsettings set org.gnome.shell disable-user-extensions false
  SESSION_ENV+=(XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME)
  unshare --mount --propagation private sh -c 'mkdir -p /run/systemd && mount -t tmpfs none /run/systemd && exec "$@"' sh \
    setpriv --reuid="$DESK_USER" --regid="$(id -g "$DESK_USER")" --init-groups env -i "${SESSION_ENV[@]}" \
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 --wayland-display=wayland-gnome \
    </dev/null >"$STATE/logs/shell.log" 2>&1 &
  echo $! >"$STATE/pids/shell"
  SESSION_ENV+=(WAYLAND_DISPLAY=wayland-gnome)
  save_session
  wait_for 30 shell_eval 'Main.layoutManager._startingUp === false' ||
    die "GNOME Shell did not start: $(grep -m3 'JS ERROR\|error' "$STATE/logs/shell.log")"
  wait_for 10 host_ready || die "the AppIndicator extension did not register a host"
  wait_for 10 sh -c "[ \"\$('$0' eval 'Main.overview.visible')\" = false ]" || die "the overview stays open"
  save_env WAYLAND_DISPLAY=wayland-gnome XDG_RUNTIME_DIR="$STATE/run" \
    DBUS_SESSION_BUS_ADDRESS="unix:path=$STATE/run/bus" \
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$STATE/run/system_bus" XDG_SESSION_TYPE=wayland \
    XDG_CURRENT_DESKTOP=GNOME DESK_USER="$DESK_USER" DESK_HOME="$STATE/home" -DISPLAY
  say "up in $(( $(now_ms) - t0 )) ms"
}

# The virtual devices live as long as the shell; made on first use.
DEVICES='const Clutter = imports.gi.Clutter; const GLib = imports.gi.GLib;
const seat = Clutter.get_default_backend().get_default_seat();
global._nbPointer = global._nbPointer || seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE);
global._nbKeyboard = global._nbKeyboard || seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE);
const now = () => GLib.get_monotonic_time();'

click() {
  [ $# -eq 2 ] || die "usage: click X Y"
  load_session
  shell_eval "$DEVICES
global._nbPointer.notify_absolute_motion(now(), $1, $2);
global._nbPointer.notify_button(now(), Clutter.BUTTON_PRIMARY, Clutter.ButtonState.PRESSED);
global._nbPointer.notify_button(now(), Clutter.BUTTON_PRIMARY, Clutter.ButtonState.RELEASED);
true" >/dev/null || die "click: the shell does not answer"
}

press_keyvals() { # JS array of keyvals
  shell_eval "$DEVICES
for (const keyval of $1) {
    global._nbKeyboard.notify_keyval(now(), keyval, Clutter.KeyState.PRESSED);
    global._nbKeyboard.notify_keyval(now(), keyval, Clutter.KeyState.RELEASED);
}
true" >/dev/null || die "key: the shell does not answer"
}

key() { [ $# -eq 1 ] || die "usage: key KEYSYM"; load_session; press_keyvals "[Clutter.KEY_$1]"; }

type_text() {
  [ $# -eq 1 ] || die "usage: type TEXT"
  load_session
  press_keyvals "Array.from($(printf '%s' "$1" | jq -Rs .)).map(c => Clutter.unicode_to_keysym(c.codePointAt(0)))"
}

shot() {
  [ $# -eq 1 ] || die "usage: shot FILE.png"
  load_session
  local tmp="$STATE/run/shot-$$.png"
  as_user gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell/Screenshot \
    --method org.gnome.Shell.Screenshot.Screenshot false false "$tmp" >/dev/null || die "no screenshot"
  mv "$tmp" "$1"
}

cmd=${1:-}; shift || true
case $cmd in
  up) up ;;
  down) down ;;
  run) session_run "$@" ;;
  eval) load_session; shell_eval "$1" ;;
  click) click "$@" ;;
  key) key "$@" ;;
  type) type_text "$@" ;;
  shot) shot "$@" ;;
  *) die "usage: ${0##*/} up|down|run CMD...|eval JS|click X Y|key KEYSYM|type TEXT|shot FILE" ;;
esac
