#!/usr/bin/env bash
# The tray app under Xvfb with a real tray and 20 machines listed: time from
# process start to the tray icon, resident memory after 60 s, and the CPU time
# Nimbrook itself used over those 60 s (the tool's own runs excluded).
# usage: tray_bench.sh NIMBROOK_BINARY [SECONDS]
set -uo pipefail
binary=$1
seconds=${2:-60}
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

start=$(date +%s%N)
QT_LOGGING_RULES="nimbrook.app.info=true" "$binary" >"$work/app.log" 2>&1 &
app=$!
pids+=($app)
deadline=$(( $(date +%s%N) + 10000000000 ))
until grep -q 'tray icon set' "$work/app.log"; do
  kill -0 "$app" 2>/dev/null || { cat "$work/app.log"; fail "nimbrook exited"; }
  [ "$(date +%s%N)" -lt "$deadline" ] || fail "no tray icon within 10 s"
  sleep 0.002
done
shown=$(date +%s%N)
startup_ms=$(( (shown - start) / 1000000 ))

wait_until 10 grep -q 'icon geometry' "$work/app.log" || fail "the tray gave no icon geometry"
read -r x y w h < <(sed -n 's/.*icon geometry \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log")
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
sleep 2
rows=20

clock_ticks=$(getconf CLK_TCK)
cpu_at() { awk '{print $14 + $15}' "/proc/$app/stat"; }  # utime + stime: this process only
cpu_start=$(cpu_at)
sleep "$seconds"
cpu_end=$(cpu_at)
rss_kb=$(awk '/VmRSS/{print $2}' "/proc/$app/status")
cpu_s=$(awk -v a="$cpu_start" -v b="$cpu_end" -v t="$clock_ticks" 'BEGIN{printf "%.2f", (b - a) / t}')

verdict() { if awk "BEGIN{exit !($1)}"; then echo met; else echo MISSED; fi; }
printf '%-44s %10s  %s\n' "tray app, ${rows} machines, panel opened once" "value" "target"
printf '%-44s %7d ms  <= 300 ms %s\n' "process start to tray icon" "$startup_ms" "$(verdict "$startup_ms <= 300")"
printf '%-44s %7.1f MB  <= 40 MB %s\n' "resident memory after ${seconds} s" "$(awk -v k="$rss_kb" 'BEGIN{print k/1024}')" "$(verdict "$rss_kb <= 40960")"
printf '%-44s %8s s  <= 0.5 s %s\n' "CPU over ${seconds} s (tool runs excluded)" "$cpu_s" "$(verdict "$cpu_s <= 0.5")"
