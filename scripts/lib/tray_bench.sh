#!/usr/bin/env bash
# The tray app under Xvfb with a real tray and 20 machines listed, beside a
# minimal Qt tray (an icon and a 20-label popup) in the same run: time from
# process start to the tray icon and resident memory with the panel opened
# once, over alternating runs (medians); then Nimbrook alone for SECONDS: its
# resident memory at the end and the CPU time it used (the tool's own runs
# excluded).
# usage: tray_bench.sh NIMBROOK_BINARY MINIMAL_TRAY_BINARY [SECONDS]
set -uo pipefail
binary=$1
floor=$2
seconds=${3:-60}
runs=7
settle=8
root=$(cd "$(dirname "$0")/../.." && pwd)
data="$root/tests/data"
work=$(mktemp -d)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

fail() { echo "tray bench: $*" >&2; exit 1; }
# wait_until SECONDS COMMAND...: false once SECONDS have gone by.
wait_until() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 )); shift
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    sleep 0.01
  done
}

display=""
for n in $(seq 121 150); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || fail "no free X display in :121 to :150"
export DISPLAY=$display
Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
wait_until 10 xdpyinfo || fail "Xvfb did not start"
trayer --edge bottom --align right --widthtype pixel --width 200 --height 28 \
  --SetDockType false --transparent false >/dev/null 2>&1 &
pids+=($!)
wait_until 10 sh -c 'xwininfo -root -children | grep -q "\"panel\""' || fail "trayer did not map its panel"

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME/Nimbrook" && mkdir -m 700 "$XDG_RUNTIME_DIR"
printf '[General]\nTailscaleCLIPath=%s\n' "$data/fake-tailscale" >"$XDG_CONFIG_HOME/Nimbrook/Nimbrook.conf"
python3 "$data/make_tailscale_status.py" --peers 20 --macos-fraction 1 --seed 3 >"$work/report.json"
export FAKE_TAILSCALE_REPORT="$work/report.json"

# launch BINARY [ARGUMENT...]: starts it, waits for its icon and clicks it once; sets `app`
# and `startup_ms`.
launch() {
  local start shown deadline x y w h
  : >"$work/app.log"
  start=$(date +%H:%M:%S.%N)
  QT_MESSAGE_PATTERN='%{time hh:mm:ss.zzz} %{message}' QT_LOGGING_RULES="nimbrook.app.info=true" \
    "$@" >"$work/app.log" 2>&1 &
  app=$!
  pids+=($app)
  deadline=$(( $(date +%s%N) + 10000000000 ))
  until grep -q 'tray icon set' "$work/app.log"; do
    kill -0 "$app" 2>/dev/null || { cat "$work/app.log"; fail "$1 exited"; }
    [ "$(date +%s%N)" -lt "$deadline" ] || fail "no tray icon within 10 s"
    sleep 0.05 # the program's own clock times it: we need not watch closely
  done
  # When the line was written, by the program's own clock, not when we saw it.
  shown=$(sed -n 's/^\([0-9:.]*\) .*tray icon set.*/\1/p' "$work/app.log" | head -1)
  startup_ms=$(awk -v a="$start" -v b="$shown" 'function ms(t, p) { split(t, p, ":");
    return (p[1] * 3600 + p[2] * 60 + p[3]) * 1000 } BEGIN { d = ms(b) - ms(a);
    if (d < 0) d += 86400000; printf "%d", d + 0.5 }')
  wait_until 10 grep -q 'icon geometry' "$work/app.log" || fail "the tray gave no icon geometry"
  read -r x y w h < <(sed -n 's/.*icon geometry \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log")
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}
rss_kb() { awk '/VmRSS/{print $2}' "/proc/$app/status"; }
finish() { kill "$app" 2>/dev/null; wait "$app" 2>/dev/null; }
median() { sort -n | awk '{v[NR]=$1} END{print v[int((NR+1)/2)]}'; }

declare -A starts rsss
for _ in $(seq $runs); do
  for which in floor sorted nimbrook; do
    case $which in
      floor) launch "$floor" ;;
      sorted) launch "$floor" --sorted ;;
      nimbrook) launch "$binary" ;;
    esac
    sleep $settle
    starts[$which]+="$startup_ms "
    rsss[$which]+="$(rss_kb) "
    finish
  done
done
floor_ms=$(echo ${starts[floor]} | tr ' ' '\n' | median)
app_ms=$(echo ${starts[nimbrook]} | tr ' ' '\n' | median)
floor_kb=$(echo ${rsss[floor]} | tr ' ' '\n' | median)
sorted_ms=$(echo ${starts[sorted]} | tr ' ' '\n' | median)
sorted_kb=$(echo ${rsss[sorted]} | tr ' ' '\n' | median)
app_kb=$(echo ${rsss[nimbrook]} | tr ' ' '\n' | median)

launch "$binary"
sleep 2
rows=20
clock_ticks=$(getconf CLK_TCK)
cpu_at() { awk '{print $14 + $15}' "/proc/$app/stat"; }  # utime + stime: this process only
cpu_start=$(cpu_at)
sleep "$seconds"
cpu_end=$(cpu_at)
long_kb=$(rss_kb)
cpu_s=$(awk -v a="$cpu_start" -v b="$cpu_end" -v t="$clock_ticks" 'BEGIN{printf "%.2f", (b - a) / t}')
finish

echo "start to icon, ms, each run: Nimbrook ${starts[nimbrook]}; minimal ${starts[floor]}; sorted ${starts[sorted]}"
mb() { awk -v k="$1" 'BEGIN{printf "%.1f", k/1024}'; }
verdict() { if awk "BEGIN{exit !($1)}"; then echo met; else echo MISSED; fi; }
printf '%-44s %10s %10s  %s\n' "tray app, ${rows} machines, panel opened once" "Nimbrook" "minimal" "target"
printf '%-44s %7d ms %7d ms  <= minimal %s\n' "process start to tray icon (median of $runs)" \
  "$app_ms" "$floor_ms" "$(verdict "$app_ms <= $floor_ms")"
printf '%-44s %7s MB %7s MB  <= minimal + 3 MB %s\n' "resident memory after ${settle} s (median)" \
  "$(mb "$app_kb")" "$(mb "$floor_kb")" "$(verdict "$app_kb <= $floor_kb + 3072")"
printf '%-44s %7d ms %7s MB  (the minimal tray sorting its labels as the list must)\n' \
  "  beside: minimal, labels in the locale's order" "$sorted_ms" "$(mb "$sorted_kb")"
printf '%-44s %7s MB %10s  <= 40 MB %s\n' "resident memory after ${seconds} s" "$(mb "$long_kb")" "" \
  "$(verdict "$long_kb <= 40960")"
printf '%-44s %8s s %10s  <= 0.5 s %s\n' "CPU over ${seconds} s (tool runs excluded)" "$cpu_s" "" \
  "$(verdict "$cpu_s <= 0.5")"
