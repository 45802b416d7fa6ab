#!/usr/bin/env bash
# What the icon's menu costs the desktop's shell with 20, 200 and 5,000
# machines, on GNOME (AppIndicator extension) and Plasma: the menu's size, the
# slowest answer of the shell to a trivial call while the menu opens (beside
# its idle answer), and the shell's memory after. Measured by the desktops'
# end-to-end tests, which also hold the bounds (the menu within a 1280x720
# screen, answers within 100 ms of idle). As root.
# usage: shell_menu_bench.sh NIMBROOK_BINARY
set -uo pipefail
binary=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
status=0
for desktop in gnome plasma; do
  if "$root/tests/e2e/${desktop}_e2e.sh" "$binary" "$out" >"$out/$desktop.log" 2>&1; then
    grep -h ' machines: ' "$out/$desktop-results.txt"
  else
    code=$?
    [ $code -eq 77 ] && { echo "$desktop: cannot run here"; continue; }
    echo "$desktop: FAILED"; tail -5 "$out/$desktop.log"; status=1
  fi
done
exit $status
