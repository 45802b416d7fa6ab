#!/usr/bin/env bash
# The test network: a system D-Bus and an avahi-daemon in the root namespace,
# limited to lo and a veth to the network namespace "nimbrook-peer", where
# tests run their stand-in screen-sharing hosts (tests/env/vnc_peer.py).
#
#   netenv.sh up      start what is not running; prints the variables to export
#   netenv.sh down    stop only what `up` started, and delete the namespace
#   netenv.sh restart-avahi   kill our avahi-daemon and start it again
#
# Never touches a real network: avahi is confined to lo and the veth.
set -euo pipefail

STATE=${NIMBROOK_NETENV_DIR:-/tmp/nimbrook-netenv}
NS=nimbrook-peer
ROOT_IF=nbroot0
PEER_IF=nbpeer0
ROOT_IP=10.77.0.1
PEER_IP=10.77.0.2

log() { printf 'netenv: %s\n' "$*" >&2; }

bus_answers() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.GetId >/dev/null 2>&1
}

avahi_state() {
  dbus-send --system --print-reply --dest=org.freedesktop.Avahi / org.freedesktop.Avahi.Server.GetState 2>/dev/null |
    awk '/int32/{print $2}'
}

start_bus() {
  bus_answers && return 0
  mkdir -p /run/dbus
  rm -f /run/dbus/pid /run/dbus/system_bus_socket
  dbus-daemon --system --fork --print-pid >"$STATE/dbus.pid"
  for _ in $(seq 1 50); do bus_answers && return 0; sleep 0.1; done
  log "the system bus did not start"; return 1
}

start_avahi() {
  cat >"$STATE/avahi.conf" <<EOC
[server]
host-name=nimbrook-test
use-ipv4=yes
use-ipv6=yes
allow-interfaces=lo,$ROOT_IF
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
EOC
  avahi-daemon -f "$STATE/avahi.conf" --no-drop-root --no-chroot --no-rlimits >"$STATE/avahi.log" 2>&1 &
  echo $! >"$STATE/avahi.pid"
  for _ in $(seq 1 100); do
    [ "$(avahi_state)" = 2 ] && return 0
    sleep 0.1
  done
  log "avahi-daemon did not reach RUNNING:"; cat "$STATE/avahi.log" >&2; return 1
}

start_namespace() {
  ip netns list | grep -qw "$NS" && return 0
  ip netns add "$NS"
  ip link add "$ROOT_IF" type veth peer name "$PEER_IF"
  ip link set "$PEER_IF" netns "$NS"
  ip addr add "$ROOT_IP/24" dev "$ROOT_IF"
  ip link set "$ROOT_IF" up
  ip -n "$NS" addr add "$PEER_IP/24" dev "$PEER_IF"
  ip -n "$NS" link set "$PEER_IF" up
  ip -n "$NS" link set lo up
  touch "$STATE/netns.created"
  # IPv6 duplicate address detection must finish before avahi uses the link.
  for _ in $(seq 1 50); do
    ip -6 addr show dev "$ROOT_IF" | grep -q tentative || break
    sleep 0.1
  done
}

up() {
  mkdir -p "$STATE"
  if avahi-daemon -c 2>/dev/null && [ ! -f "$STATE/avahi.pid" ]; then
    log "an avahi-daemon not started by us is running; using it as it is"
  else
    start_bus
    start_namespace
    start_avahi
  fi
  echo "NIMBROOK_NETENV=1"
  echo "NIMBROOK_PEER_NS=$NS"
  echo "NIMBROOK_PEER_IP=$PEER_IP"
  echo "NIMBROOK_ROOT_IF=$ROOT_IF"
}

stop_pid() {
  local file=$1
  [ -f "$file" ] || return 0
  kill "$(cat "$file")" 2>/dev/null || true
  rm -f "$file"
}

down() {
  [ -d "$STATE" ] || return 0
  stop_pid "$STATE/avahi.pid"
  if [ -f "$STATE/netns.created" ]; then
    ip netns pids "$NS" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns del "$NS" 2>/dev/null || true
    ip link del "$ROOT_IF" 2>/dev/null || true
    rm -f "$STATE/netns.created"
  fi
  if [ -f "$STATE/dbus.pid" ]; then
    stop_pid "$STATE/dbus.pid"
    sleep 0.2
    # dbus-daemon leaves its pid file behind, and a new one refuses to start.
    rm -f /run/dbus/pid /run/dbus/system_bus_socket
  fi
  rm -rf "$STATE"
}

restart_avahi() {
  stop_pid "$STATE/avahi.pid"
  sleep 0.3
  start_avahi
}

case "${1:-}" in
  up) up ;;
  down) down ;;
  restart-avahi) restart_avahi ;;
  *) echo "usage: $0 up|down|restart-avahi" >&2; exit 2 ;;
esac
