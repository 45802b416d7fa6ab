# Functions shared by the desktops of the end-to-end tests (sourced by x11-sni.sh,
# wayland-sni.sh and wayland-bare.sh; bash).
#
# A desktop session keeps its state in $STATE (default $TESTENV/<desktop name>):
#   env     the variables `up` printed, ready for eval
#   pids/   one file per process started, named after it, holding its PID
#   logs/   the processes' output (kept after `down`, for post-mortems)
#   home/   HOME of the session user;  run/  its XDG_RUNTIME_DIR (sockets)
# Every process of the session runs as $DESK_USER (default nbdesk, a system user created when
# missing) and carries NBDESK_SESSION=$STATE in its environment. `down` stops the recorded
# PIDs, then whatever else carries that marker (children the session spawned or D-Bus
# activated: swaybg, xfconfd, at-spi-bus-launcher, ...), and checks each PID's marker first.

TESTENV=${TESTENV:-/tmp/nimbrook-e2e}
DESK_USER=${DESK_USER:-nbdesk}
# shellcheck disable=SC2034  # used by the scripts that source this file
DESKTOP_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

say() { echo "${0##*/}: $*" >&2; }
die() { say "$*"; exit 1; }
now_ms() { date +%s%3N; }

# wait_for SECONDS CMD...: run CMD every 0.1 s until it succeeds; status 1 after SECONDS.
wait_for() {
  local end=$(( $(now_ms) + $1 * 1000 )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(now_ms)" -lt "$end" ] || return 1
    sleep 0.1
  done
}

# need_pkgs PKG...: install the Debian packages that are missing.
need_pkgs() {
  local missing=() p
  for p; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y --no-install-recommends "${missing[@]}" >&2 ||
    { apt-get update >&2 && apt-get install -y --no-install-recommends "${missing[@]}" >&2; }
}

need_root() { [ "$(id -u)" = 0 ] || die "run as root (the session runs as user $DESK_USER)"; }

need_user() {
  id -u "$DESK_USER" >/dev/null 2>&1 && return 0
  say "creating system user $DESK_USER"
  useradd --system --user-group --no-create-home --home-dir /nonexistent \
          --shell /usr/sbin/nologin "$DESK_USER"
}

# session_init: empty state dirs; SESSION_ENV = the environment of every session process.
session_init() {
  need_root
  need_user
  mkdir -p "$STATE"; chmod 755 "$TESTENV" "$STATE"
  rm -rf "${STATE:?}"/{pids,logs,home,run,env,session.env} "$STATE"/*.fifo
  mkdir -p "$STATE/pids" "$STATE/logs" "$STATE/home"
  mkdir -m 700 "$STATE/run"
  chown "$DESK_USER:" "$STATE/home" "$STATE/run"
  SESSION_ENV=(HOME="$STATE/home" USER="$DESK_USER" LOGNAME="$DESK_USER" LANG=C.UTF-8
               PATH=/usr/local/bin:/usr/bin:/bin XDG_RUNTIME_DIR="$STATE/run"
               NBDESK_SESSION="$STATE" NO_AT_BRIDGE=1)
}

# as_user CMD...: run CMD as the session user with the session's environment only.
as_user() {
  setpriv --reuid="$DESK_USER" --regid="$(id -g "$DESK_USER")" --init-groups env -i "${SESSION_ENV[@]}" "$@"
}

# start NAME CMD...: as_user CMD in the background; output to logs/NAME.log, PID to pids/NAME.
# (Not through as_user: for a function run in the background, $! would be a subshell's PID.)
start() {
  local name=$1; shift
  setpriv --reuid="$DESK_USER" --regid="$(id -g "$DESK_USER")" --init-groups env -i "${SESSION_ENV[@]}" "$@" \
    </dev/null >"$STATE/logs/$name.log" 2>&1 &
  echo $! >"$STATE/pids/$name"
}

# running PID: the process exists and is not a zombie; alive NAME: the recorded process is running
running() { local s; s=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${s:0:1}" != Z ]; }
alive() { [ -f "$STATE/pids/$1" ] && running "$(cat "$STATE/pids/$1")"; }

# start_bus: a session D-Bus whose socket is run/bus. Besides the session user, root may connect
# too, so that a test running as root can use busctl, gdbus or sni-items.sh on it directly.
start_bus() {
  cat >"$STATE/session-bus.conf" <<'EOF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <include>/usr/share/dbus-1/session.conf</include>
  <policy context="default"><allow user="root"/></policy>
</busconfig>
EOF
  start dbus dbus-daemon --config-file="$STATE/session-bus.conf" --nofork --nopidfile \
    --address="unix:path=$STATE/run/bus"
  SESSION_ENV+=(DBUS_SESSION_BUS_ADDRESS="unix:path=$STATE/run/bus")
  wait_for 5 test -S "$STATE/run/bus" || die "session bus did not start: $(cat "$STATE/logs/dbus.log")"
}

# sni_host_ready: a StatusNotifierWatcher on the session bus says a host is registered.
sni_host_ready() {
  as_user dbus-send --session --print-reply --dest=org.kde.StatusNotifierWatcher \
    /StatusNotifierWatcher org.freedesktop.DBus.Properties.Get \
    string:org.kde.StatusNotifierWatcher string:IsStatusNotifierHostRegistered | grep -q 'boolean true'
}

# free_display: the first X display number in $XDISPLAYS ("FIRST LAST", default "120 129")
# that has neither a lock file nor a socket.
free_display() {
  local n range
  read -r -a range <<<"${XDISPLAYS:-120 129}"
  for ((n = range[0]; n <= range[1]; n++)); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo "$n"; return 0; }
  done
  return 1
}

# x11_socket_dir: /tmp/.X11-unix must exist (mode 1777) before an X server runs as a user.
x11_socket_dir() { [ -d /tmp/.X11-unix ] || install -d -m 1777 /tmp/.X11-unix; }

# xvfb_cleanup N: remove display N's lock file and socket when the server that made them is gone
# (an X server removes them itself on SIGTERM, not when killed).
xvfb_cleanup() {
  local pid
  pid=$(tr -d ' ' 2>/dev/null </tmp/.X"$1"-lock) || return 0
  kill -0 "$pid" 2>/dev/null || rm -f "/tmp/.X$1-lock" "/tmp/.X11-unix/X$1"
}

# save_session: keep SESSION_ENV for the later subcommands (load_session).
save_session() { printf 'SESSION_ENV=(%s)\n' "$(printf '%q ' "${SESSION_ENV[@]}")" >"$STATE/session.env"; }
load_session() { [ -f "$STATE/session.env" ] || die "not up"; . "$STATE/session.env"; }

# save_env NAME=VALUE... [-NAME...]: print `export`/`unset` lines for the caller and keep them in
# $STATE/env. The session processes get the same values through SESSION_ENV.
save_env() {
  local kv
  for kv; do
    case $kv in
      -*) printf 'unset %s\n' "${kv#-}" ;;
      *)  printf 'export %s=%q\n' "${kv%%=*}" "${kv#*=}" ;;
    esac
  done | tee "$STATE/env"
}

# `up` on a session that is already up prints its environment again; on a broken one, cleans up.
already_up() {
  [ -f "$STATE/env" ] || return 1
  local f
  for f in "$STATE"/pids/*; do
    case ${f##*/} in run.*) continue ;; esac     # commands started with `run` may have ended
    [ -f "$f" ] && ! alive "${f##*/}" && { say "restarting: ${f##*/} is gone"; return 1; }
  done
  say "already up"; cat "$STATE/env"
}

# run CMD...: CMD as the session user, keeping the caller's environment but with the session's
# HOME, runtime dir, bus and display ($STATE/env). Execs, so the caller's $! is CMD's PID;
# `down` stops it too.
session_run() {
  [ -f "$STATE/env" ] || die "not up"
  [ $# -gt 0 ] || die "usage: run CMD [ARG...]"
  # The session's system bus, if it has one, not the caller's: a desktop
  # shell on the test network's bus waits on services that never start there.
  unset DBUS_SYSTEM_BUS_ADDRESS
  . "$STATE/env"
  echo $$ >"$STATE/pids/run.$$"
  exec setpriv --reuid="$DESK_USER" --regid="$(id -g "$DESK_USER")" --init-groups \
    env HOME="$STATE/home" USER="$DESK_USER" LOGNAME="$DESK_USER" NBDESK_SESSION="$STATE" "$@"
}

marked() { tr '\0' '\n' 2>/dev/null <"/proc/$1/environ" | grep -qxF "NBDESK_SESSION=$STATE"; }
none_marked() { local p; for p; do marked "$p" && return 1; done; return 0; }

# session_down: stop the session's processes and remove its sockets and runtime files.
session_down() {
  [ -d "$STATE" ] || return 0
  need_root
  local f p pid pids=() others=()
  for f in "$STATE"/pids/*; do
    [ -f "$f" ] || continue
    pid=$(cat "$f")
    marked "$pid" && { pids+=("$pid"); say "stopping ${f##*/} ($pid)"; }
  done
  if [ ${#pids[@]} -gt 0 ]; then
    kill -TERM "${pids[@]}" 2>/dev/null || true
    wait_for 5 none_marked "${pids[@]}" || true
  fi
  # what is left: processes the session spawned or had D-Bus activate, and anything that ignored TERM
  for p in $(ps -o pid= -u "$DESK_USER" 2>/dev/null); do
    marked "$p" && others+=("$p")
  done
  if [ ${#others[@]} -gt 0 ]; then
    say "stopping the rest: $(for p in "${others[@]}"; do printf '%s(%s) ' "$(cat "/proc/$p/comm" 2>/dev/null)" "$p"; done)"
    kill -TERM "${others[@]}" 2>/dev/null || true
    wait_for 3 none_marked "${others[@]}" ||
      for p in "${others[@]}"; do marked "$p" && kill -KILL "$p" 2>/dev/null; done
  fi
  rm -rf "${STATE:?}"/{pids,run,home,env,session.env,session-bus.conf} "$STATE"/*.fifo
}
