#!/usr/bin/env bash
# A default `nimbrook --list` (its 3 s wait) lists every kind of local peer of
# the test network with the address a viewer can open: the IPv4-only peer, the
# dual-stack peer by its IPv4 address, the IPv6-only peer by its unique-local
# address (shown as typed, without the URL's brackets).
# usage: list_peers.sh NIMBROOK_BINARY     (skips, 77, without the test network)
set -euo pipefail
binary=$1
[ "${NIMBROOK_STOCK_PEERS:-}" = 1 ] || { echo "needs the test network: run through scripts/test"; exit 77; }
env_dir="$(cd "$(dirname "$0")/../env" && pwd)"

ip netns exec "$NIMBROOK_PEER_NS" /usr/bin/python3 "$env_dir/vnc_peer.py" \
  "IPv4 Only Studio" "$NIMBROOK_PEER_IP" 5917 60 >/dev/null &
peer=$!
trap 'kill $peer 2>/dev/null; wait $peer 2>/dev/null || true' EXIT
sleep 1 # the peer has announced itself by now; it is no part of the 3 s measured

listing="$(XDG_CONFIG_HOME="$(mktemp -d)" "$binary" --list)"
printf '%s\n' "$listing"
failed=0
expect() { # NAME ADDRESS
  if ! grep -Eq "^$1 +Local network +$2 +online\$" <<<"$listing"; then
    echo "FAIL: $1 is not listed at $2" >&2
    failed=1
  fi
}
expect "IPv4 Only Studio" "$NIMBROOK_PEER_IP:5917"
expect "$NIMBROOK_DUAL_PEER" "$NIMBROOK_DUAL_PEER_IP"
expect "$NIMBROOK_V6_PEER" "$NIMBROOK_V6_PEER_IP"
exit $failed
