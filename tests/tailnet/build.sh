#!/usr/bin/env bash
# Builds the test tailnet's programs: the real tailscale and tailscaled at the
# version control/go.mod names, and tailnet-control. Everything Go downloads
# and builds is cached outside the clone (NIMBROOK_TAILNET_CACHE, default
# /var/cache/nimbrook/tailnet), and the programs are kept there under a hash of
# their sources: a second run builds nothing. Prints the folder that holds them.
# usage: build.sh     (needs Go 1.26 or newer on PATH)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cache=${NIMBROOK_TAILNET_CACHE:-/var/cache/nimbrook/tailnet}
export GOPATH="$cache/go" GOCACHE="$cache/go-build" GOTELEMETRY=off GOFLAGS=-modcacherw GOTOOLCHAIN=local
log() { printf 'tailnet: %s\n' "$*" >&2; }

command -v go >/dev/null || { log "no go on PATH: install Go 1.26 or newer"; exit 1; }
sources=$(cat "$here/control/go.mod" "$here/control/go.sum" "$here/control/"*.go "$0" | sha256sum | cut -c1-16)
bin="$cache/bin-$sources"
if [ -x "$bin/tailscale" ] && [ -x "$bin/tailscaled" ] && [ -x "$bin/tailnet-control" ]; then
  log "cached in $bin"
  echo "$bin"
  exit 0
fi

mkdir -p "$cache"
started=$(date +%s)
cd "$here/control"
go mod download
downloaded=$(date +%s)
rm -rf "$bin.partial"
mkdir -p "$bin.partial"
go build -trimpath -o "$bin.partial/" tailscale.com/cmd/tailscale tailscale.com/cmd/tailscaled
go build -trimpath -o "$bin.partial/tailnet-control" .
mv "$bin.partial" "$bin"
log "$(go version): modules downloaded in $((downloaded - started)) s ($(du -sh "$GOPATH/pkg/mod/cache/download" | cut -f1)), built in $(($(date +%s) - downloaded)) s"
echo "$bin"
