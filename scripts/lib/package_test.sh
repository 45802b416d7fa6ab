#!/usr/bin/env bash
# Builds the Debian package from a configured build tree and checks it as the
# ecosystem does: lintian (any error or warning fails), the AppStream metadata
# and desktop entry validators, the manual page through groff; then installs it
# with apt-get (which brings its dependencies), runs the installed program,
# checks that it would find its update module, runs `man -w nimbrook`, purges
# it and checks that none of its files is left.
# usage: package_test.sh BUILD_DIR     (as root)
set -euo pipefail
build="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/../.." && pwd)"
failed=0
fail() { printf 'package: FAIL: %s\n' "$*" >&2; failed=1; }

rm -f "$build"/nimbrook*.deb "$build"/nimbrook*.ddeb
(cd "$build" && cpack -G DEB >/dev/null 2>&1) || { echo "package: cpack failed" >&2; exit 1; }
deb=$(ls "$build"/nimbrook_*_amd64.deb)
ddeb=$(ls "$build"/nimbrook-dbgsym_*_amd64.ddeb)
printf 'package: %s (%s bytes), %s (%s bytes)\n' "${deb##*/}" "$(stat -c %s "$deb")" \
  "${ddeb##*/}" "$(stat -c %s "$ddeb")"

tags=$(lintian --fail-on none "$deb" "$ddeb" 2>/dev/null | grep -E '^(E|W): ' || true)
[ -z "$tags" ] || fail "lintian: $tags"
appstreamcli validate --pedantic --no-net "$root/packaging/io.github.nimbrook.nimbrook.metainfo.xml" \
  >/dev/null || fail "appstreamcli validate: $(appstreamcli validate --pedantic --no-net \
  "$root/packaging/io.github.nimbrook.nimbrook.metainfo.xml" 2>&1)"
desktop-file-validate "$root/packaging/io.github.nimbrook.nimbrook.desktop" || fail "desktop-file-validate"
warnings=$(zcat "$build/packaging/nimbrook.1.gz" | groff -man -Tutf8 -ww -z 2>&1 || true)
[ -z "$warnings" ] || fail "groff: $warnings"

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null 2>&1 ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" || fail "apt-get install $deb"
if dpkg-query -W -f='${Status}' nimbrook 2>/dev/null | grep -q 'install ok installed'; then
  mapfile -t files < <(dpkg -L nimbrook | while read -r f; do [ -f "$f" ] || [ -L "$f" ] && echo "$f"; done)
  home=$(mktemp -d)
  HOME=$home XDG_CONFIG_HOME=$home/.config /usr/bin/nimbrook --list --wait 1 >/dev/null ||
    fail "the installed nimbrook --list failed"
  HOME=$home XDG_CONFIG_HOME=$home/.config /usr/bin/nimbrook --autostart on >/dev/null &&
    grep -qx 'Exec=/usr/bin/nimbrook' "$home/.config/autostart/nimbrook.desktop" ||
    fail "the installed nimbrook --autostart on wrote no entry that starts it"
  rm -rf "$home"
  # The update module is where the installed program looks for it: the path
  # from its directory is a string of the program (UTF-16, as Qt keeps it).
  module=$(printf '%s\n' "${files[@]}" | grep '/nimbrook-appcast\.so$' || true)
  from_bin=$(strings -el /usr/bin/nimbrook | grep -m1 '^/\.\./lib.*/nimbrook$' || true)
  [ -n "$module" ] && [ -n "$from_bin" ] &&
    [ "$(realpath -m "/usr/bin$from_bin/nimbrook-appcast.so")" = "$module" ] ||
    fail "the installed nimbrook would not find its update module (${module:-none})"
  man -w nimbrook >/dev/null || fail "man -w nimbrook finds no manual page"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq nimbrook >/dev/null 2>&1 || fail "apt-get purge"
  for f in "${files[@]}"; do
    [ ! -e "$f" ] && [ ! -L "$f" ] || fail "left behind after purge: $f"
  done
  printf 'package: installed %d files, ran them, purged them all\n' "${#files[@]}"
fi
[ $failed = 0 ] && echo "package: lintian, appstreamcli, desktop-file-validate and groff clean"
exit $failed
