#!/usr/bin/env bash
# End to end under KDE Plasma 6 on Wayland (kwin_wayland, kded6, plasmashell),
# as an unprivileged user; plasma_e2e.sh hands over to it where Plasma 6 is
# the installed Plasma (Debian 13):
#  - the icon in Plasma's tray, and its ink: contrast and size on Breeze's bar;
#  - a click opens the panel by the icon, just above the bar, where KWin shows
#    it (read from KWin itself); typing works at every opening, and a click
#    elsewhere closes it;
#  - the menu (right click) holds still over polls and shows the online dots;
#    entries chosen across polls all reach the vnc:// handler;
#  - a second `nimbrook` shows the panel and exits 0.
# usage: plasma_wayland_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR     (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
source "$(dirname "$0")/session_common.sh"
up_desktop plasma plasmashell kwin_wayland kded6 Xvfb xdotool busctl jq convert dbus-monitor
session_setup "$binary" "$artifacts"
results="$artifacts/plasma-wayland-results.txt"
: >"$results"
source "$here/plasma_common.sh"
# "X Y W H" of Nimbrook's window as KWin shows it.
panel_window() { "$desk" windows | awk '$5 == "nimbrook" { print $1, $2, $3, $4 }' | tail -1; }
panel_shown() { [ -n "$(panel_window)" ]; }
panel_gone() { [ -z "$(panel_window)" ]; }

# Where the icon is: what changed in the bar when it came. The bar floats:
# drawn over y 748-792 of the 60 px KWin keeps for it at the bottom.
"$desk" point 300 200
start_and_find_icon
bar=$(bar_colour "$work/after.png" "$ix" 789)
read -r ratio strong width height < <(ink_on_bar "$work/after.png" "$ix" "$iy" 22 "$bar")
note "Plasma 6, Breeze: contrast $ratio:1 on $bar, ink ${width}x${height} ($strong pixels at 3:1)"
awk "BEGIN { exit !($ratio >= 4.5 && $width >= 12 && $height >= 12) }" || {
  convert "$work/after.png" -crop 400x60+880+740 +repage "$artifacts/plasma-wayland-bar-failed.png"
  fail "the icon does not read"; }

# A click: the panel by the icon, just above the bar, as KWin shows it; the
# keyboard its at every opening; a click elsewhere closes it.
for opening in 1 2 3; do
  shown=$(log_count 'panel shown at')
  "$desk" click "$ix" "$iy"
  wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "a click did not open the panel"
  sleep 1
  read -r px py pw ph <<<"$(panel_window)"
  [ -n "${ph:-}" ] || fail "KWin shows no Nimbrook window"
  note "Plasma 6, opening $opening: KWin shows the panel at $px,$py ${pw}x$ph for the icon at $ix,$iy"
  [ "$ix" -ge "$px" ] && [ "$ix" -lt $((px + pw)) ] || fail "the panel is not over the icon"
  [ $((py + ph)) -le 748 ] && [ $((py + ph)) -ge 728 ] || fail "the panel is not just above the bar"
  [ "$opening" = 1 ] && "$desk" shot "$artifacts/plasma-wayland-panel.png"
  sleep 1.5 # past the 2 s in which the machine just opened is not opened again
  before=$(vnc_lines)
  "$desk" type air
  "$desk" key Return
  wait_for 5 sh -c "[ \$(wc -l <'$work/vnc.log') -gt $before ]" || {
    "$desk" shot "$artifacts/plasma-wayland-typing-failed.png"
    fail "typing at opening $opening opened nothing"; }
  tail -1 "$work/vnc.log" | grep -q '100.120.206.7' || fail "typing \"air\" opened $(tail -1 "$work/vnc.log")"
  wait_for 3 panel_gone || fail "the panel stayed after a choice"
done
note "Plasma 6: typing at three openings reached the handler"
"$desk" click "$ix" "$iy"
wait_for 5 panel_shown || fail "no panel"
"$desk" click 300 300
wait_for 5 panel_gone || fail "a click elsewhere left the panel open"
note "Plasma 6: a click elsewhere closed the panel"

# The list grows and shrinks while the panel is open: it stays against the bar.
"$desk" click "$ix" "$iy"
wait_for 5 panel_shown || fail "no panel"
cp "$FAKE_TAILSCALE_REPORT" "$work/three.json"
/usr/bin/python3 "$data/make_tailscale_status.py" --peers 6 --macos-fraction 1 --seed 5 >"$work/six.json"
height_changed() { [ "$(panel_window | cut -d' ' -f4)" != "$1" ]; }
for report in six three; do
  read -r _ _ _ was <<<"$(panel_window)"
  install -m 644 "$work/$report.json" "$FAKE_TAILSCALE_REPORT.new" && mv "$FAKE_TAILSCALE_REPORT.new" "$FAKE_TAILSCALE_REPORT"
  wait_for 12 height_changed "$was" || fail "the panel kept its height with the $report machines' report"
  sleep 1
  read -r px py pw ph <<<"$(panel_window)"
  note "Plasma 6: the list changed under the open panel ($report machines' report): ${pw}x$was → ${pw}x$ph, at $px,$py"
  [ $((py + ph)) -le 748 ] && [ $((py + ph)) -ge 728 ] || fail "the panel left the bar as it changed size"
done
"$desk" key Escape

# The menu, open over two polls; entries chosen across polls.
menu_holds_still plasma-wayland "Plasma 6" 11
menu_choices_arrive "Plasma 6"

# A second start: the panel, where KWin centres it (no click to go by).
shown=$(log_count 'panel shown at')
"$desk" run "$work/bin/nimbrook" >"$work/second.log" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "a second start ended with $status"
wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "no panel after a second start"
wait_for 5 panel_shown || fail "KWin shows no panel after a second start"
[ "$(WAIT=0 "$here/desktop/sni-items.sh" | grep -c '^item ')" -eq 1 ] || fail "a second icon appeared"
note "Plasma 6: a second start exits 0 and shows the panel at $(panel_window | awk '{ print $1 "," $2 }'); one icon"
echo "PASS"
