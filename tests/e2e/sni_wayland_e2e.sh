#!/usr/bin/env bash
# End to end on Wayland (sway, with waybar's tray as StatusNotifierItem host),
# as an unprivileged user: the item is registered with a menu of the machines
# and commands; a click on the icon opens the panel as a focused, floating
# window of the panel's size (Wayland lets the compositor place it); the icon
# reads on the black bar; Ctrl+1 hands a vnc:// address over and closes the
# panel; Escape closes it too.
# usage: sni_wayland_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR     (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
[ -d /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms ] &&
  ls /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms | grep -q wayland ||
  { echo "skipping: Qt's Wayland plugin (qt6-wayland) is not installed"; exit 77; }
source "$(dirname "$0")/session_common.sh"
up_desktop wayland-sni sway waybar wtype grim busctl jq convert cc
session_setup "$binary" "$artifacts"
start_app

item="$work/item.txt"
WAIT=10 "$here/desktop/sni-items.sh" Nimbrook >"$item" || fail "no StatusNotifierItem registered"
service=$(grep -o '^item=[^/ ]*' "$item" | cut -d= -f2)
menu=$(sed -n 's/^Menu=//p' "$item")
busctl --user call "$service" "$menu" com.canonical.dbusmenu AboutToShow i 0 >/dev/null ||
  fail "the menu at $menu does not answer"
wait_for 5 sh -c "'$here/desktop/sni-items.sh' Nimbrook | grep -q '^menu Guest'" || fail "the menu lists no machine"
"$here/desktop/sni-items.sh" Nimbrook >"$artifacts/wayland-sni-item.txt"
for label in 'Refresh' 'Check for Updates…' 'Quit'; do
  grep -qx "menu $label" "$artifacts/wayland-sni-item.txt" || fail "the menu has no \"$label\""
done

sleep 1
"$desk" shot "$work/bar.png"
read -r ratio strong < <(contrast_on_bar "$work/bar.png" "$TRAY_X" "$TRAY_Y" 22 '#000000')
echo "icon contrast on the black bar: $ratio:1 ($strong pixels at 3:1 or more)"
awk "BEGIN { exit !($ratio >= 3 && $strong >= 20) }" || fail "the icon does not read on a black bar"

panel_window() { "$desk" tree | grep 'name="Nimbrook"'; }
"$desk" click "$TRAY_X" "$TRAY_Y"
wait_for 5 panel_window || fail "a click on the icon opened no panel window: $("$desk" tree)"
window=$(panel_window)
echo "panel window: $window"
grep -q 'floating' <<<"$window" || fail "the panel is tiled, not floating"
wait_for 3 sh -c "'$desk' tree | grep 'name=\"Nimbrook\"' | grep -q focused=true" || fail "the panel has no focus"
grep -q ' 240x' <<<"$window" || fail "the panel is not 240 wide"
sleep 2.5 # the local network settling
"$desk" shot "$artifacts/wayland-panel.png"

"$desk" key ctrl+1
wait_for 5 test -s "$work/vnc.log" || fail "Ctrl+1 opened nothing"
wait_for 5 sh -c "! '$desk' tree | grep -q 'name=\"Nimbrook\"'" || fail "the panel stayed open after Ctrl+1"
echo "Ctrl+1 opened $(tail -1 "$work/vnc.log") and closed the panel"

"$desk" click "$TRAY_X" "$TRAY_Y"
wait_for 5 panel_window || fail "a second click opened no panel"
"$desk" key Escape
wait_for 5 sh -c "! '$desk' tree | grep -q 'name=\"Nimbrook\"'" || fail "Escape did not close the panel"
echo "Escape closed the panel"

# The menu as the bar draws it, on right-click.
"$desk" click "$TRAY_X" "$TRAY_Y" right
sleep 1.5
"$desk" shot "$artifacts/wayland-menu.png"
"$desk" key Escape
echo "PASS"
