#!/usr/bin/env bash
# End to end under KDE Plasma 5.27 on X11 (kwin_x11, kded5, plasmashell, the
# KDE portal), as an unprivileged user (Plasma 6: plasma_wayland_e2e.sh):
#  - the icon in Plasma's tray, from our pixmap and from the installed symbolic
#    icon, on Breeze's light and dark bars: contrast and size of its ink;
#  - a click opens the panel at the icon; Activate(x, y) from the keyboard puts
#    it at x, y wherever the pointer is; typing works at every opening;
#  - the menu (right click) holds still over 20 s of polls, shows the online
#    dots, and entries chosen across polls all reach the vnc:// handler;
#  - a second `nimbrook` shows the panel and exits 0;
#  - Breeze Dark, switched while running, turns the panel dark;
#  - plasmashell restarted: the icon back.
# usage: plasma_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR     (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
# Plasma 6 (Debian 13) runs on Wayland: its own test.
[ "$("$(dirname "$0")/desktop/plasma.sh" major)" -lt 6 ] || exec "$(dirname "$0")/plasma_wayland_e2e.sh" "$@"
source "$(dirname "$0")/session_common.sh"
up_desktop plasma plasmashell kwin_x11 kded5 Xvfb xdotool busctl jq convert dbus-monitor
[ -x /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde ] || { echo "skipping: xdg-desktop-portal-kde is not installed"; exit 77; }
session_setup "$binary" "$artifacts"
results="$artifacts/plasma-results.txt"
: >"$results"
source "$here/plasma_common.sh"
panels() { log_count 'panel shown at'; }
last_panel() { sed -n 's/.*panel shown at \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log" | tail -1; }

# Where the icon is: what changed in the bar when it came.
start_and_find_icon
measure_icon() { # what [seconds to wait for it, 3 by default]
  local bar deadline=$((SECONDS + ${2:-3}))
  "$desk" run xdotool mousemove 300 200 # no hover on the icon
  while :; do
    "$desk" shot "$work/bar.png"
    bar=$(bar_colour "$work/bar.png" "$ix" 797)
    read -r ratio strong width height < <(ink_on_bar "$work/bar.png" "$ix" "$iy" 22 "$bar")
    awk "BEGIN { exit !($ratio >= 4.5 && $width >= 12 && $height >= 12) }" && break
    [ $SECONDS -lt $deadline ] || break
    sleep 0.5
  done
  note "Plasma, $1: contrast $ratio:1 on $bar, ink ${width}x${height} ($strong pixels at 3:1)"
  awk "BEGIN { exit !($ratio >= 4.5 && $width >= 12 && $height >= 12) }" || {
    convert "$work/bar.png" -crop 400x60+880+740 +repage "$artifacts/plasma-bar-failed.png"
    tail -20 "$work/plasma.log" 2>/dev/null
    fail "the icon does not read ($1)"; }
}
measure_icon "light, binary alone"
convert "$work/bar.png" -crop 400x60+880+740 +repage "$artifacts/plasma-bar-light.png"

# A click: the panel at the icon, above the bar. Typing at every opening.
for opening in 1 2 3; do
  shown=$(panels)
  "$desk" click "$ix" "$iy"
  wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "a click did not open the panel"
  read -r px py pw ph < <(last_panel)
  [ "$ix" -ge "$px" ] && [ "$ix" -le $((px + pw)) ] && [ $((py + ph)) -le 760 ] ||
    fail "the panel is not at the icon: $px,$py ${pw}x$ph for the icon at $ix,$iy"
  sleep 2 # past the 2 s in which the machine just opened is not opened again
  before=$(vnc_lines)
  if [ "$opening" -lt 3 ]; then
    "$desk" type air
    "$desk" key Return
    wait_for 5 sh -c "[ \$(wc -l <'$work/vnc.log') -gt $before ]" || fail "typing at opening $opening opened nothing"
    tail -1 "$work/vnc.log" | grep -q '100.120.206.7' || fail "typing \"air\" opened $(tail -1 "$work/vnc.log")"
  else
    # After a close by Escape: Down and Return.
    "$desk" key Escape
    sleep 0.5
    "$desk" click "$ix" "$iy"
    sleep 0.7
    "$desk" key Down
    "$desk" key Return
    wait_for 5 sh -c "[ \$(wc -l <'$work/vnc.log') -gt $before ]" || fail "Down and Return after an Escape opened nothing"
  fi
done
[ "$opening" -eq 3 ] && note "Plasma: the panel opened at the icon; typing at the 1st and 2nd openings, Down and Return after an Escape all reached the handler"
"$desk" shot "$artifacts/plasma-panel.png"

# Activate(x, y), as keyboard navigation of the tray sends it: the panel there.
"$desk" run xdotool mousemove 300 200
shown=$(panels)
busctl --user call "$service" /StatusNotifierItem org.kde.StatusNotifierItem Activate ii 1109 778
wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "Activate did not open the panel"
read -r px py pw ph < <(last_panel)
note "Plasma: Activate(1109, 778) with the pointer at 300,200 opened the panel at $px,$py ${pw}x$ph"
[ 1109 -ge "$px" ] && [ 1109 -le $((px + pw)) ] && [ $((py + ph)) -le 778 ] && [ "$py" -gt 300 ] ||
  fail "the panel is not at the position Activate gave"
"$desk" key Escape

# The menu, open over 20 s of polls; entries chosen across polls.
menu_holds_still plasma Plasma 20
menu_choices_arrive Plasma

# A second start.
shown=$(panels)
"$desk" run "$work/bin/nimbrook" >"$work/second.log" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "a second start ended with $status"
wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "no panel after a second start"
[ "$(WAIT=0 "$here/desktop/sni-items.sh" | grep -c '^item ')" -eq 1 ] || fail "a second icon appeared"
note "Plasma: a second start exits 0 and shows the panel; one icon"

# Breeze Dark while the panel is open.
read -r px py pw ph < <(last_panel)
lightness() { "$desk" shot "$work/shot.png"; convert "$work/shot.png" -crop "$((pw - 20))x20+$((px + 10))+$((py + ph - 24))" -colorspace Gray -format '%[fx:int(100*mean)]' info:; }
light=$(lightness)
"$desk" scheme BreezeDark >/dev/null
wait_for 5 grep -q 'colours: dark' "$work/app.log" || fail "the switch to Breeze Dark did not arrive"
sleep 1
dark=$(lightness)
note "Plasma: panel lightness $light% → $dark% on the switch to Breeze Dark"
[ "$dark" -lt 30 ] && [ "$light" -gt 60 ] || fail "the panel did not turn dark"
"$desk" key Escape
sleep 1
measure_icon "dark, binary alone"
convert "$work/bar.png" -crop 400x60+880+740 +repage "$artifacts/plasma-bar-dark.png"

# The package's icons: Plasma prefers the symbolic icon, recoloured to its bar.
install_symbolic_icon
kill "$app"; wait "$app" 2>/dev/null
: >"$work/app.log"
start_app
WAIT=10 "$here/desktop/sni-items.sh" Nimbrook >/dev/null || fail "no item after a restart"
sleep 2
measure_icon "dark, symbolic icon installed"
"$desk" scheme BreezeLight >/dev/null
sleep 2
measure_icon "light, symbolic icon installed"

# plasmashell restarted: kded5 keeps the items (and keeps saying a host is
# there, so no window is due), and the new shell shows the icon again.
pkill -u "$DESK_USER" -x plasmashell
# A new plasmashell exits at once while the old one still holds its bus name.
old_shell_gone() { ! ps -u "$DESK_USER" -o stat=,comm= | awk '$2 == "plasmashell" && $1 !~ /^Z/' | grep -q .; }
wait_for 15 old_shell_gone || fail "plasmashell did not exit"
"$desk" run plasmashell --no-respawn >"$work/plasma.log" 2>&1 &
sleep 2
# A new plasmashell draws its panel in 5 to 15 s on a busy machine.
measure_icon "light, after plasmashell restarted" 30
! grep -q 'GNOME' "$work/app.log" || fail "a message speaks of GNOME on Plasma"

# 20, 200 and 5,000 machines: the menu fits a 1280x720 screen, Quit at its end is in reach
# with the pointer and works, and plasmashell keeps answering while it opens.
shell_kb() { awk '/VmRSS/ { print $2 }' "/proc/$(pgrep -o -u "$DESK_USER" -x plasmashell)/status"; }
shell_answers() {
  "$desk" run busctl --user call org.kde.plasmashell /PlasmaShell org.freedesktop.DBus.Properties \
    Get ss org.kde.PlasmaShell editMode >/dev/null
}
probe_shell() { # the slowest answer, in ms, while "$@" runs
  ( while :; do s=$(date +%s%N); shell_answers; echo $(( ($(date +%s%N) - s) / 1000000 )); sleep 0.03; done ) >"$work/probe.txt" &
  local probe=$!
  sleep 1; "$@"; sleep 1.5
  kill "$probe"; wait "$probe" 2>/dev/null
  sort -n "$work/probe.txt" | tail -1
}
# "X Y W H" of the open menu: plasmashell's mapped window that is no panel.
menu_window() {
  local id
  for id in $("$desk" run xdotool search --onlyvisible --classname plasmashell 2>/dev/null); do
    printf '%s\n' "$("$desk" run xdotool getwindowgeometry --shell "$id" | tr '\n' ' ' |
      sed -n 's/.*X=\([0-9-]*\) Y=\([0-9-]*\) WIDTH=\([0-9]*\) HEIGHT=\([0-9]*\).*/\1 \2 \3 \4/p')"
  done | awk '$3 < 1000 && $4 > 100' | tail -1
}
show_all_shown() { WAIT=0 "$here/desktop/sni-items.sh" Nimbrook | grep '^menu Show All Machines' | grep -vq hidden; }
idle=$(probe_shell true)
# Opening the menu once starts discovery in the restarted Nimbrook.
"$desk" click "$ix" "$iy" right
sleep 1
"$desk" key Escape
for n in 20 200 5000; do
  /usr/bin/python3 "$data/make_tailscale_status.py" --peers "$n" --macos-fraction 1 --seed 5 >"$work/many.json"
  chmod a+r "$work/many.json" && mv "$work/many.json" "$FAKE_TAILSCALE_REPORT"
  wait_for 15 show_all_shown || fail "no \"Show All Machines…\" with $n machines"
  before_kb=$(shell_kb)
  worst=$(probe_shell "$desk" click "$ix" "$iy" right)
  read -r mx my mw mh <<<"$(menu_window)"
  [ -n "${mh:-}" ] || fail "no menu with $n machines"
  "$desk" shot "$artifacts/plasma-menu-$n.png"
  note "Plasma, $n machines: menu ${mw}x$mh at $mx,$my; slowest answer $worst ms while it opened ($idle ms idle); plasmashell memory $(( ($(shell_kb) - before_kb) / 1024 )) MB more"
  [ "$mh" -le 720 ] && [ "$my" -ge 0 ] || fail "the menu is ${mh} px high at y=$my, past a 1280x720 screen"
  [ "$worst" -le $((idle + 100)) ] || fail "plasmashell took $worst ms to answer while the menu opened"
  if [ "$n" = 5000 ]; then
    # Quit is the last entry: the pointer there, a click.
    "$desk" click $((mx + 40)) $((my + mh - 16))
    wait_for 5 sh -c "! pgrep -u '$DESK_USER' -x nimbrook" || fail "Quit did not end Nimbrook"
    note "Plasma: Quit chosen with the pointer from the menu of $n machines ended Nimbrook"
  else
    "$desk" key Escape
    sleep 0.5
  fi
done
echo "PASS"
