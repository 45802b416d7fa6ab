#!/usr/bin/env bash
# The panel's first showing and its memory with 20, 1,000 and 5,000 machines
# (reports from the stand-in tool's generator), three runs each, the median
# printed beside the figures of the panel that made a widget for every row.
# usage: panel_bench.sh PANEL_BENCH_BINARY
set -uo pipefail
bench=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
declare -A before_ms=([20]=19.2 [1000]=193.4 [5000]=1676.3)
declare -A before_mb=([20]=8.6 [1000]=98.0 [5000]=469.3)
printf '%-10s %12s %12s %14s %14s\n' machines "show (ms)" "before (ms)" "+memory (MB)" "before (MB)"
status=0
base_mb=""
for n in 20 1000 5000; do
  # About 70 % of a tailnet's peers are Macs in these reports.
  /usr/bin/python3 "$root/tests/data/make_tailscale_status.py" --peers $((n * 2)) --macos-fraction 0.7 \
    --seed 3 >"$work/report.json"
  runs=()
  for _ in 1 2 3; do
    runs+=("$("$bench" "$n" "$work/report.json" 2>/dev/null)") || status=1
  done
  ms=$(printf '%s\n' "${runs[@]}" | awk '{print $2}' | sort -n | sed -n 2p)
  mb=$(printf '%s\n' "${runs[@]}" | awk '{print $3}' | sort -n | sed -n 2p)
  [ -n "$base_mb" ] || base_mb=$mb
  printf '%-10s %12s %12s %14s %14s\n' "$n" "$ms" "${before_ms[$n]}" "$mb" "${before_mb[$n]}"
  if [ "$n" = 5000 ]; then
    awk "BEGIN { exit !($ms <= 150) }" || { echo "MISSED: 5,000 machines take more than 150 ms"; status=1; }
    awk "BEGIN { exit !($mb <= $base_mb + 15) }" ||
      { echo "MISSED: 5,000 machines cost more than 15 MB over 20"; status=1; }
  fi
done
exit $status
