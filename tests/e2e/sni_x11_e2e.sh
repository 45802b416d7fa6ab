#!/usr/bin/env bash
# End to end on X11 whose tray is a StatusNotifierItem host (xfce4-panel's Status
# Tray, with the xfwm4 window manager), as an unprivileged user: the item is
# registered with a pixmap (and the icon's name once it is installed) and a
# menu that lists the machines and the three commands; a click opens the panel
# at the click, below the bar; the icon reads on the white bar; Ctrl+1 and a
# menu item each hand a vnc:// address to the desktop's handler, and the panel
# is closed afterwards.
# usage: sni_x11_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR     (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
source "$(dirname "$0")/session_common.sh"
WM=1 up_desktop x11-sni xfce4-panel xfwm4 Xvfb xdotool busctl jq convert
session_setup "$binary" "$artifacts"
start_app

item="$work/item.txt"
WAIT=10 "$here/desktop/sni-items.sh" Nimbrook >"$item" || fail "no StatusNotifierItem registered"
cp "$item" "$artifacts/x11-sni-item.txt"
# The binary alone names no icon: none is installed, and a host that finds
# no icon by its name may show a placeholder instead of the pixmap.
grep -qx 'IconName=' "$item" || fail "an icon name with no icon installed: $(grep IconName "$item")"
grep -q '^IconPixmap=[0-9]' "$item" || fail "no icon pixmap"
service=$(grep -o '^item=[^/ ]*' "$item" | cut -d= -f2)
menu=$(sed -n 's/^Menu=//p' "$item")
# What a host does when the user opens the menu.
busctl --user call "$service" "$menu" com.canonical.dbusmenu AboutToShow i 0 >/dev/null ||
  fail "the menu at $menu does not answer"
wait_for 5 sh -c "'$here/desktop/sni-items.sh' Nimbrook | grep -q '^menu Guest'" ||
  fail "the menu does not list the machines: $("$here/desktop/sni-items.sh" Nimbrook | grep '^menu')"
"$here/desktop/sni-items.sh" Nimbrook >"$item"
for label in 'Refresh' 'Check for Updates…' 'Quit'; do
  grep -qx "menu $label" "$item" || fail "the menu has no \"$label\": $(grep '^menu' "$item")"
done
echo "menu: $(grep -c '^menu ' "$item") entries, $(grep '^menu ' "$item" | head -1)"

# The icon on the white bar.
sleep 1
"$desk" shot "$work/bar.png"
read -r ratio strong < <(contrast_on_bar "$work/bar.png" "$TRAY_X" "$TRAY_Y" 22 '#ffffff')
echo "icon contrast on the white bar: $ratio:1 ($strong pixels at 3:1 or more)"
awk "BEGIN { exit !($ratio >= 3 && $strong >= 20) }" || fail "the icon does not read on a white bar"

# A click on the icon: the panel at the click, inside the screen, below the bar.
shown=$(log_count 'panel shown at')
"$desk" click "$TRAY_X" "$TRAY_Y"
wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "a click did not open the panel"
read -r px py pw ph < <(sed -n 's/.*panel shown at \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log" | tail -1)
echo "panel at $px,$py ${pw}x$ph"
[ "$py" -ge 30 ] && [ $((px + pw)) -le 1280 ] && [ $((py + ph)) -le 800 ] && [ "$px" -ge 0 ] ||
  fail "the panel is not inside the screen below the bar: $px,$py ${pw}x$ph"
[ $((TRAY_X - px)) -ge 0 ] && [ $((TRAY_X - px)) -le "$pw" ] || fail "the panel is not at the click"
sleep 2.5 # the local network settling
"$desk" shot "$artifacts/x11-sni-panel.png"

hidden=$(log_count 'panel hidden')
"$desk" key ctrl+1
wait_for 5 test -s "$work/vnc.log" || fail "Ctrl+1 opened nothing"
wait_for 5 sh -c "[ \$(grep -c 'panel hidden' '$work/app.log') -gt $hidden ]" || fail "the panel stayed open after Ctrl+1"
echo "Ctrl+1 opened $(tail -1 "$work/vnc.log") and closed the panel"

# A machine chosen from the exported menu, as a menu-only host would (after
# the 2 s in which a machine just opened is not opened again).
sleep 2
layout=$(busctl --user --json=short -- call "$service" "$menu" com.canonical.dbusmenu GetLayout iias 0 -1 0)
id=$(jq -r '[.data[1][2][] | .data | select((.[1].label.data // "") | test("^Guest"))][0][0]' <<<"$layout")
[ -n "$id" ] && [ "$id" != null ] || fail "no machine item in the menu layout"
before=$(wc -l <"$work/vnc.log")
busctl --user call "$service" "$menu" com.canonical.dbusmenu Event isvu "$id" clicked s "" 0
wait_for 5 sh -c "[ \$(wc -l <'$work/vnc.log') -gt $before ]" || fail "the menu item opened nothing"
echo "the menu item opened $(tail -1 "$work/vnc.log")"

# With the package's symbolic icon installed, the item names it.
kill "$app"; wait "$app" 2>/dev/null
install_symbolic_icon
start_app
WAIT=10 "$here/desktop/sni-items.sh" Nimbrook >"$item" || fail "no StatusNotifierItem registered again"
grep -qx 'IconName=io.github.nimbrook.nimbrook-symbolic' "$item" ||
  fail "no icon name with the icon installed: $(grep IconName "$item")"
echo "PASS"
