#!/usr/bin/env bash
# The Debian 13 leg of scripts/test: the tree built, its tests but the
# desktop ones run, and its package built and checked, all in a Debian 13
# ("trixie") root made with debootstrap. The root is kept under /var/cache,
# so a later run on the same machine only updates it; the build tree is
# build-debian13 in the source tree.
#
# The root gets a private mount namespace of its own: its own /run and /tmp
# (its test network and test tailnet, their D-Bus and avahi-daemon, never meet
# the machine's or another leg's), and a policy-rc.d that keeps the daemons
# its packages bring from starting when they are installed.
#
# usage: debian13.sh [--desktops] [scripts/test arguments]     (as root)
#   --desktops   GNOME's end-to-end test too (always when the root was kept)
#        debian13.sh --run CMD [ARG...]           CMD in the root, at /src
set -euo pipefail
source "$(dirname "$0")/common.sh"
[ "$(id -u)" -eq 0 ] || die "the Debian 13 leg runs as root"

cache=${NIMBROOK_DEBIAN13_CACHE:-/var/cache/nimbrook/debian13}
root=$cache/root
mirror=${NIMBROOK_DEBIAN_MIRROR:-http://deb.debian.org/debian}

# GNOME's test too with --desktops, or when the root was kept from an earlier
# run (a fresh machine spends its time on making the root).
desktops=()
if [ "${1:-}" = --desktops ]; then desktops=(--desktops); shift; fi
[ ! -f "$root/.complete" ] || desktops=(--desktops)

ensure_packages debootstrap
mkdir -p "$cache"
if [ ! -f "$root/.complete" ]; then
  say "Debian 13: making its root with debootstrap (kept in $cache)"
  rm -rf "$root.new"
  debootstrap --variant=minbase trixie "$root.new" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -20 "$cache/debootstrap.log" >&2; die "debootstrap failed"; }
  printf '#!/bin/sh\n# Nothing starts when installed in this root.\nexit 101\n' \
    >"$root.new/usr/sbin/policy-rc.d"
  chmod 755 "$root.new/usr/sbin/policy-rc.d"
  touch "$root.new/.complete"
  rm -rf "$root"
  mv "$root.new" "$root"
fi

# The test tailnet's programs, built outside (Debian 13's Go is too old for
# them), are shown to the root where they are.
tailnet_bin=${NIMBROOK_TAILNET_BIN:-}
if [ -z "$tailnet_bin" ]; then
  say "the test tailnet's programs (Tailscale from the Go module proxy)"
  tailnet_bin=$("$NIMBROOK_ROOT/tests/tailnet/build.sh") || die "the test tailnet's programs did not build"
fi
inside_env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
  LANG=C.UTF-8 TERM=dumb NIMBROOK_BUILD_DIR=/src/build-debian13)
inside_env+=(NIMBROOK_TAILNET_BIN="$tailnet_bin")

if [ "${1:-}" = --run ]; then
  shift
  command=(sh -c 'cd /src && exec "$@"' run "$@")
else
  command=(bash /src/scripts/test --in-release-root "${desktops[@]}" "$@")
fi

# shellcheck disable=SC2016 # expanded by the inner shell
exec unshare --mount --propagation private --fork -- bash -euc '
  root=$1 src=$2 tailnet_bin=$3; shift 3
  # The root a mount of its own: `ip netns exec` changes the propagation of /.
  mount --bind "$root" "$root"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys"
  mount --rbind /dev "$root/dev"
  mount -t tmpfs -o mode=755 tmpfs "$root/run"
  mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
  mkdir -p "$root/src"
  mount --bind "$src" "$root/src"
  mkdir -p "$root$tailnet_bin"
  mount --bind -o ro "$tailnet_bin" "$root$tailnet_bin"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  exec chroot "$root" /usr/bin/env -i "$@"
' debian13 "$root" "$NIMBROOK_ROOT" "$tailnet_bin" "${inside_env[@]}" \
  "${command[@]}"
