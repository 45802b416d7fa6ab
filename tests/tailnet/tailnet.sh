#!/usr/bin/env bash
# The test tailnet: real tailscaled nodes (userspace networking, no logs, no
# port mapping) under tailnet-control, in a network namespace whose only
# interfaces are lo and a veth pair of its own: nothing leaves the machine. Each node
# runs in a UTS namespace of its own whose host name is the node's name, so
# that a Mac's name ("Kim's MacBook Air") reaches control as from a real Mac.
#
#   tailnet.sh up BIN                 control and the nodes; BIN is what build.sh printed
#   tailnet.sh down                   stop everything up started
#   tailnet.sh start|stop|kill|freeze|thaw NODE    a node's tailscaled
#   tailnet.sh renew NODE             the node's state wiped and the node added anew
#   tailnet.sh cli NODE ARGS...       the tailscale CLI against the node's daemon
#
# The nodes: nimbrook-desk (this computer: $STATE/tailscale is its CLI, for
# Nimbrook's TailscaleCLIPath), Studio and "Kim's MacBook Air" (presented as
# macOS) and build-box (Linux).
set -euo pipefail
STATE=${NIMBROOK_TAILNET_DIR:-/tmp/nimbrook-tailnet}
NS=nimbrook-tailnet
ADDRESS=10.79.0.1 # private: the nodes then never try control over HTTPS
NODES=(nimbrook-desk Studio "Kim's MacBook Air" build-box)
log() { printf 'tailnet: %s\n' "$*" >&2; }

node_dir() { printf '%s/nodes/%s' "$STATE" "$(printf '%s' "$1" | tr -c 'A-Za-z0-9-' _)"; }
bin() { cat "$STATE/bin"; }
cli() { # cli NODE ARGS...
  "$(bin)/tailscale" --socket="$(node_dir "$1")/tailscaled.sock" "${@:2}"
}
running() { local s; s=$(ps -o stat= -p "$1" 2>/dev/null) && [ "${s:0:1}" != Z ]; }
wait_for() { # wait_for SECONDS COMMAND...
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do [ $SECONDS -lt $deadline ] || return 1; sleep 0.1; done
}

start_node() { # start_node NODE
  local dir
  dir=$(node_dir "$1")
  mkdir -p "$dir"
  ip netns exec "$NS" env TS_NO_LOGS_NO_SUPPORT=true TS_DISABLE_PORTMAPPER=1 TS_DISABLE_UPNP=1 \
    unshare --uts sh -c 'printf %s "$1" >/proc/sys/kernel/hostname && exec "$2/tailscaled" --tun=userspace-networking --port=0 \
      --no-logs-no-support --statedir="$3" --socket="$3/tailscaled.sock"' \
    sh "$1" "$(bin)" "$dir" </dev/null >>"$dir/tailscaled.log" 2>&1 &
  echo $! >"$dir/pid"
  wait_for 20 cli "$1" status --json || { log "$1: tailscaled does not answer"; tail "$dir/tailscaled.log" >&2; return 1; }
}

backend_state() { cli "$1" status --json 2>/dev/null | /usr/bin/python3 -c 'import json,sys; print(json.load(sys.stdin)["BackendState"])'; }

log_in() { # log_in NODE: up against our control, and running
  # shellcheck source=/dev/null
  source "$STATE/control.env"
  cli "$1" up --login-server="$CONTROL_URL" --accept-dns=false --timeout=30s >/dev/null
  wait_for 20 sh -c '[ "$("$0" state "$1")" = Running ]' "$0" "$1" || { log "$1 is not running"; return 1; }
}

stop_node() { # stop_node NODE [SIGNAL]
  local pid_file
  pid_file="$(node_dir "$1")/pid"
  [ -f "$pid_file" ] || return 0
  local pid
  pid=$(cat "$pid_file")
  kill -CONT "$pid" 2>/dev/null || true
  kill "-${2:-TERM}" "$pid" 2>/dev/null || true
  wait_for 10 sh -c "! ps -o stat= -p $pid | grep -qv Z" || kill -KILL "$pid" 2>/dev/null || true
  rm -f "$pid_file"
}

up() {
  [ -x "$1/tailscaled" ] || { log "no tailscaled in $1: run build.sh first"; return 1; }
  down 2>/dev/null || true
  mkdir -p "$STATE/nodes"
  chmod 755 "$STATE" # Nimbrook may run as another user
  echo "$1" >"$STATE/bin"
  ip netns add "$NS"
  ip -n "$NS" link set lo up
  # tailscaled talks to control only once it has a non-loopback IPv4 address.
  ip -n "$NS" link add tailnet0 type veth peer name tailnet1
  ip -n "$NS" addr add "$ADDRESS/24" dev tailnet0
  ip -n "$NS" link set tailnet0 up
  ip -n "$NS" link set tailnet1 up
  ip netns exec "$NS" "$1/tailnet-control" -address "$ADDRESS" -info "$STATE/control.env" \
    -macos Studio -macos "Kim's MacBook Air" </dev/null >"$STATE/control.log" 2>&1 &
  echo $! >"$STATE/control.pid"
  wait_for 20 test -s "$STATE/control.env" || { log "control did not start"; cat "$STATE/control.log" >&2; return 1; }
  local node
  for node in "${NODES[@]}"; do start_node "$node"; done
  for node in "${NODES[@]}"; do log_in "$node"; done
  printf '#!/bin/sh\nexec "%s/tailscale" --socket="%s/tailscaled.sock" "$@"\n' "$1" "$(node_dir nimbrook-desk)" \
    >"$STATE/tailscale"
  chmod 755 "$STATE/tailscale"
}

down() {
  local dir
  for dir in "$STATE"/nodes/*/; do
    [ -f "$dir/pid" ] && { kill -CONT "$(cat "$dir/pid")"; kill "$(cat "$dir/pid")"; } 2>/dev/null
  done
  [ -f "$STATE/control.pid" ] && kill "$(cat "$STATE/control.pid")" 2>/dev/null
  if ip netns list | grep -qw "$NS"; then
    for _ in $(seq 1 30); do [ -z "$(ip netns pids "$NS" 2>/dev/null)" ] && break; sleep 0.1; done
    ip netns pids "$NS" 2>/dev/null | xargs -r kill -KILL 2>/dev/null || true
    ip netns del "$NS"
  fi
  rm -rf "$STATE"
}

case "${1:-}" in
  up) up "$2" ;;
  down) down ;;
  start) start_node "$2" ;;
  stop) stop_node "$2" ;;
  kill) stop_node "$2" KILL ;;
  freeze) kill -STOP "$(cat "$(node_dir "$2")/pid")" ;;
  thaw) kill -CONT "$(cat "$(node_dir "$2")/pid")" ;;
  renew) stop_node "$2"; rm -rf "$(node_dir "$2")"; start_node "$2"; log_in "$2" ;;
  login) log_in "$2" ;;
  state) backend_state "$2" ;;
  cli) cli "$2" "${@:3}" ;;
  *) echo "usage: $0 up BIN|down|start|stop|kill|freeze|thaw|renew|login|state NODE|cli NODE ARGS..." >&2; exit 2 ;;
esac
