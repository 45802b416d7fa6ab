#!/usr/bin/env bash
# The test network, in a network namespace of its own (nimbrook-lab), so that
# nothing of the machine's network, nor an avahi-daemon the machine runs,
# meets it: a system D-Bus of its own (its socket in the state directory,
# reached through DBUS_SYSTEM_BUS_ADDRESS) and an avahi-daemon in a private
# mount namespace (its own /run/avahi-daemon), limited to lo and veths from
# the lab to three more network namespaces:
#   nimbrook-peer   IPv4 only; tests run their stand-in screen-sharing hosts
#                   there (tests/env/vnc_peer.py, mDNS from python3-zeroconf);
#   nimbrook-dual   a dual-stack peer (IPv4 and link-local IPv6) and
#   nimbrook-v6     an IPv6-only peer (link-local and unique-local IPv6),
#                   each with its own system bus and a stock avahi-daemon in a
#                   private mount namespace, advertising one service with
#                   avahi-publish in front of a listener, as Linux machines do.
# What uses the network runs in the lab: `nsenter --net=$NIMBROOK_LAB_NETNS`.
#
#   netenv.sh up      start what is not running; prints the variables to export
#   netenv.sh down    stop only what `up` started, and delete the namespaces
#   netenv.sh restart-avahi   kill our avahi-daemon and start it again
#
# Never touches a real network: avahi is confined to the lab.
set -euo pipefail

STATE=${NIMBROOK_NETENV_DIR:-/tmp/nimbrook-netenv}
ENV_DIR="$(cd "$(dirname "$0")" && pwd)"
LAB=nimbrook-lab
LAB_NETNS=/run/netns/$LAB
NS=nimbrook-peer
ROOT_IF=nbroot0
PEER_IF=nbpeer0
ROOT_IP=10.77.0.1
PEER_IP=10.77.0.2
DUAL_NS=nimbrook-dual DUAL_HOST_IF=nbdualh0 DUAL_PEER_IF=nbdualp0
DUAL_HOST_IP=10.78.1.1 DUAL_PEER_IP=10.78.1.2 DUAL_NAME="Dual Stack Studio"
V6_NS=nimbrook-v6 V6_HOST_IF=nbv6h0 V6_PEER_IF=nbv6p0
V6_HOST_IP=fd7b:6::1 V6_PEER_IP=fd7b:6::2 V6_NAME="IPv6 Only Studio"

# Ours, whatever the caller's environment says.
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$STATE/system_bus_socket"

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
  rm -f "$STATE/system_bus_socket"
  # The stock system bus policy, so that avahi-daemon may own its name.
  dbus-daemon --system --fork --print-pid --nopidfile --address="$DBUS_SYSTEM_BUS_ADDRESS" \
    >"$STATE/dbus.pid"
  for _ in $(seq 1 50); do bus_answers && return 0; sleep 0.1; done
  log "the system bus did not start"; return 1
}

start_avahi() {
  cat >"$STATE/avahi.conf" <<EOC
[server]
host-name=nimbrook-test
use-ipv4=yes
use-ipv6=yes
allow-interfaces=lo,$ROOT_IF,$DUAL_HOST_IF,$V6_HOST_IF
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
EOC
  mkdir -p /run/avahi-daemon
  # The same process all along (sh execs): its pid is avahi-daemon's.
  unshare --mount --propagation private sh -c \
    'mount -t tmpfs tmpfs /run/avahi-daemon && exec avahi-daemon -f "$1" --no-drop-root --no-chroot --no-rlimits' \
    sh "$STATE/avahi.conf" </dev/null >"$STATE/avahi.log" 2>&1 &
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

# A veth from the root namespace to a new namespace, with duplicate address
# detection off so that IPv6 addresses are usable at once.
make_link() { # NS HOST_IF PEER_IF
  ip netns add "$1"
  ip link add "$2" type veth peer name "$3"
  ip link set "$3" netns "$1"
  sysctl -qw "net.ipv6.conf.$2.disable_ipv6=0" "net.ipv6.conf.$2.accept_dad=0"
  ip netns exec "$1" sysctl -qw "net.ipv6.conf.$3.disable_ipv6=0" "net.ipv6.conf.$3.accept_dad=0"
}

link_up() { # NS HOST_IF PEER_IF
  ip link set "$2" up
  ip -n "$1" link set lo up
  ip -n "$1" link set "$3" up
  touch "$STATE/$1.created"
  for _ in $(seq 1 50); do
    ip -6 addr show dev "$2" | grep -q 'scope link' &&
      ip -n "$1" -6 addr show dev "$3" | grep -q 'scope link' && return 0
    sleep 0.1
  done
  log "no IPv6 link-local address on $2"; return 1
}

# A peer as a stock Linux machine advertises itself: its own system bus and an
# avahi-daemon with Debian's default protocol settings (A records over IPv4
# only), `avahi-publish -s NAME _rfb._tcp 5900`, and a listener on every
# address of the namespace.
start_stock_peer() { # NS NAME USE_IPV4
  local ns=$1 dir="$STATE/$1"
  mkdir -p "$dir" /run/dbus /run/avahi-daemon
  cat >"$dir/avahi.conf" <<EOC
[server]
host-name=$ns
use-ipv4=$3
use-ipv6=yes
ratelimit-interval-usec=1000000
ratelimit-burst=1000
[wide-area]
enable-wide-area=no
[publish]
publish-hinfo=no
publish-workstation=no
EOC
  ip netns exec "$ns" /usr/bin/python3 "$ENV_DIR/screen_sharing_listener.py" :: 5900 \
    >"$dir/listener.log" 2>&1 &
  ip netns exec "$ns" unshare --mount --propagation private sh -c '
    dir=$1 name=$2
    unset DBUS_SYSTEM_BUS_ADDRESS # its own bus, not the one of the test network
    mount -t tmpfs tmpfs /run/dbus && mount -t tmpfs tmpfs /run/avahi-daemon || exit 1
    dbus-daemon --system --fork
    avahi-daemon -f "$dir/avahi.conf" --no-drop-root --no-chroot --no-rlimits >"$dir/avahi.log" 2>&1 &
    for _ in $(seq 1 100); do
      dbus-send --system --print-reply --dest=org.freedesktop.Avahi / \
        org.freedesktop.Avahi.Server.GetState 2>/dev/null | grep -q "int32 2" && break
      sleep 0.1
    done
    exec avahi-publish -s "$name" _rfb._tcp 5900' sh "$dir" "$2" >"$dir/publish.log" 2>&1 &
  # The same process all along (netns exec and unshare exec, sh execs): it
  # lives in the peer's mount namespace, where its bus is; the benchmark
  # enters it to publish more services.
  echo $! >"$dir/publish.pid"
}

start_stock_peers() {
  if [ ! -f "$STATE/$DUAL_NS.created" ]; then
    make_link "$DUAL_NS" "$DUAL_HOST_IF" "$DUAL_PEER_IF"
    ip addr add "$DUAL_HOST_IP/24" dev "$DUAL_HOST_IF"
    ip -n "$DUAL_NS" addr add "$DUAL_PEER_IP/24" dev "$DUAL_PEER_IF"
    link_up "$DUAL_NS" "$DUAL_HOST_IF" "$DUAL_PEER_IF"
    start_stock_peer "$DUAL_NS" "$DUAL_NAME" yes
  fi
  if [ ! -f "$STATE/$V6_NS.created" ]; then
    make_link "$V6_NS" "$V6_HOST_IF" "$V6_PEER_IF"
    ip -6 addr add "$V6_HOST_IP/64" dev "$V6_HOST_IF" nodad
    ip -n "$V6_NS" -6 addr add "$V6_PEER_IP/64" dev "$V6_PEER_IF" nodad
    link_up "$V6_NS" "$V6_HOST_IF" "$V6_PEER_IF"
    start_stock_peer "$V6_NS" "$V6_NAME" no
  fi
  local ns
  for ns in "$DUAL_NS" "$V6_NS"; do
    for _ in $(seq 1 100); do
      grep -q 'Established under name' "$STATE/$ns/publish.log" 2>/dev/null && break
      sleep 0.1
    done
    grep -q 'Established under name' "$STATE/$ns/publish.log" ||
      { log "the peer in $ns did not publish:"; cat "$STATE/$ns/"*.log >&2; return 1; }
  done
}

up() {
  mkdir -p "$STATE"
  chmod 755 "$STATE" # the desktop tests' user reaches the bus too
  start_bus
  start_namespace
  start_stock_peers
  if ! { [ -f "$STATE/avahi.pid" ] && kill -0 "$(cat "$STATE/avahi.pid")" 2>/dev/null; }; then
    start_avahi
  fi
  echo "NIMBROOK_LAB_NETNS=$LAB_NETNS"
  echo "DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SYSTEM_BUS_ADDRESS"
  echo "NIMBROOK_STOCK_PEERS=1"
  printf 'NIMBROOK_DUAL_PEER=%s\nNIMBROOK_DUAL_PEER_IP=%s\n' "$DUAL_NAME" "$DUAL_PEER_IP"
  printf 'NIMBROOK_V6_PEER=%s\nNIMBROOK_V6_PEER_IP=%s\n' "$V6_NAME" "$V6_PEER_IP"
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
  local ns
  for ns in "$DUAL_NS" "$V6_NS"; do
    [ -f "$STATE/$ns.created" ] || continue
    ip netns pids "$ns" 2>/dev/null | xargs -r kill 2>/dev/null || true
    for _ in $(seq 1 30); do [ -z "$(ip netns pids "$ns" 2>/dev/null)" ] && break; sleep 0.1; done
    ip netns pids "$ns" 2>/dev/null | xargs -r kill -KILL 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null || true
    rm -f "$STATE/$ns.created"
  done
  stop_pid "$STATE/dbus.pid"
  rm -rf "$STATE"
}

restart_avahi() {
  stop_pid "$STATE/avahi.pid"
  sleep 0.3
  start_avahi
}

in_lab() {
  [ -e "$LAB_NETNS" ] && [ "$(stat -L -c %i /proc/self/ns/net)" = "$(stat -L -c %i "$LAB_NETNS")" ]
}

case "${1:-}" in
  up | down | restart-avahi) ;;
  *) echo "usage: $0 up|down|restart-avahi" >&2; exit 2 ;;
esac
if ! in_lab; then
  if [ "$1" = up ] && [ ! -e "$LAB_NETNS" ]; then
    ip netns add "$LAB"
    ip -n "$LAB" link set lo up
  fi
  if [ "$1" = down ]; then
    [ -e "$LAB_NETNS" ] || exit 0
    nsenter --net="$LAB_NETNS" "$0" down
    ip netns pids "$LAB" 2>/dev/null | xargs -r kill 2>/dev/null || true
    ip netns del "$LAB"
    exit 0
  fi
  exec nsenter --net="$LAB_NETNS" "$0" "$@"
fi
case "$1" in
  up) up ;;
  down) down ;;
  restart-avahi) restart_avahi ;;
esac
