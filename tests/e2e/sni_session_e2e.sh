#!/usr/bin/env bash
# End to end on X11 with a StatusNotifierItem host (xfce4-panel), as an
# unprivileged user, through what a menu host sees over D-Bus:
#  - the menu holds still: no LayoutUpdated over 20 s of unchanged polls with
#    the menu open, and every click fired across a poll reaches the handler;
#  - machines show online or offline by the entry's icon;
#  - a second `nimbrook` shows the running one's panel and exits 0;
#  - the panel takes the keyboard at a second opening too;
#  - the desktop's dark preference (the real XDG portal, xdg-desktop-portal-gtk
#    reading GSettings) turns the open panel dark;
#  - the host gone for good leaves the panel in a window; back, it takes over.
# usage: sni_session_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR     (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
source "$(dirname "$0")/session_common.sh"
WM=1 up_desktop x11-sni xfce4-panel xfwm4 Xvfb xdotool busctl jq convert dbus-monitor gsettings
[ -x /usr/libexec/xdg-desktop-portal ] && [ -x /usr/libexec/xdg-desktop-portal-gtk ] ||
  { echo "skipping: xdg-desktop-portal-gtk is not installed"; exit 77; }
session_setup "$binary" "$artifacts"
# The portal and its GTK backend, as the session bus starts them on first use.
"$desk" run gsettings set org.gnome.desktop.interface color-scheme default
"$desk" run env XDG_CURRENT_DESKTOP=GNOME /usr/libexec/xdg-desktop-portal-gtk >"$work/portal-gtk.log" 2>&1 &
# The backend running before the portal asks for it: started by the bus
# instead, it would lack the display.
gtk_backend_up() {
  "$desk" run busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
    NameHasOwner s org.freedesktop.impl.portal.desktop.gtk 2>/dev/null | grep -q true
}
wait_for 10 gtk_backend_up || fail "the GTK portal backend did not start: $(tail -3 "$work/portal-gtk.log")"
# Only the GTK backend: another one installed (KDE's) must not be tried here.
mkdir -p "$work/portals" && cp /usr/share/xdg-desktop-portal/portals/gtk.portal "$work/portals/" && chmod -R a+rX "$work/portals"
"$desk" run env XDG_DESKTOP_PORTAL_DIR="$work/portals" env XDG_CURRENT_DESKTOP=GNOME /usr/libexec/xdg-desktop-portal -r >"$work/portal.log" 2>&1 &
wait_for 10 "$desk" run busctl --user call org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
  org.freedesktop.portal.Settings Read ss org.freedesktop.appearance color-scheme >/dev/null ||
  fail "the portal does not answer: $(tail -3 "$work/portal.log")"
start_app

item="$work/item.txt"
WAIT=10 "$here/desktop/sni-items.sh" Nimbrook >"$item" || fail "no StatusNotifierItem registered"
service=$(grep -o '^item=[^/ ]*' "$item" | cut -d= -f2)
menu=$(sed -n 's/^Menu=//p' "$item")
dbusmenu() { busctl --user --json=short -- call "$service" "$menu" com.canonical.dbusmenu "$@"; }
layout() { dbusmenu GetLayout iias 0 -1 0; }
entry_id() { layout | jq -r --arg p "$1" '[.data[1][2][] | .data | select((.[1].label.data // "") | startswith($p))][0][0]'; }

# The menu open, as a host holds it: AboutToShow, "opened", the layout read.
dbusmenu AboutToShow i 0 >/dev/null || fail "the menu does not answer"
dbusmenu Event isvu 0 opened s "" 0
wait_for 8 sh -c "'$here/desktop/sni-items.sh' Nimbrook | grep -q '^menu Guest'" || fail "no machines in the menu"
sleep 1
revision=$(layout | jq -r '.data[0]')
cafe=$(entry_id 'Café Mac') guest=$(entry_id 'Guest')
[ "$cafe" != null ] && [ "$guest" != null ] || fail "no entries for Café Mac and Guest's MacBook Pro"

# Online at a glance: a picture on every machine, the offline one's its own.
icon_of() { dbusmenu GetProperty is "$1" icon-data | jq -r '.data[0].data | @json' | md5sum | cut -c1-8; }
[ "$(icon_of "$guest")" != "$(icon_of "$cafe")" ] || fail "online and offline entries look the same"
dbusmenu GetProperty is "$cafe" icon-data >/dev/null || fail "the offline entry has no icon"
echo "online and offline entries carry different icons"

# 20 s of unchanged polls with the menu open.
"$desk" run dbus-monitor --session "type='signal',interface='com.canonical.dbusmenu'" >"$work/signals.txt" 2>&1 &
monitor=$!
sleep 20
kill "$monitor" 2>/dev/null
layouts=$(grep -c 'member=LayoutUpdated' "$work/signals.txt")
properties=$(grep -c 'member=ItemsPropertiesUpdated' "$work/signals.txt")
echo "over 20 s of polls with the menu open: $layouts LayoutUpdated, $properties ItemsPropertiesUpdated"
[ "$layouts" -eq 0 ] || fail "the layout changed $layouts times while nothing did"
[ "$(layout | jq -r '.data[0]')" = "$revision" ] || fail "the revision moved while nothing changed"
[ "$(entry_id 'Guest')" = "$guest" ] || fail "an entry's id changed across polls"

# Clicks fired across polls, each after the 2 s in which a machine just
# opened is not opened again: each one arrives. The quarter-second clicks in
# between are one session each time.
before=$(wc -l <"$work/vnc.log")
for _ in $(seq 6); do
  for _ in $(seq 8); do dbusmenu Event isvu "$guest" clicked s "" 0 || fail "a click was refused"; sleep 0.25; done
  sleep 0.1
done
wait_for 10 sh -c "[ \$(wc -l <'$work/vnc.log') -ge $((before + 6)) ]" ||
  fail "$(( $(wc -l <"$work/vnc.log") - before )) of 6 click bursts reached the handler"
sleep 1
[ $(( $(wc -l <"$work/vnc.log") - before )) -eq 6 ] ||
  fail "$(( $(wc -l <"$work/vnc.log") - before )) sessions for 6 bursts of 8 clicks"
echo "40 of 40 clicks across polls reached the handler"
busctl --user call "$service" "$menu" com.canonical.dbusmenu Event isvu 999999 clicked s "" 0 2>/dev/null &&
  fail "a click on an entry that is not there was taken"
dbusmenu Event isvu 0 closed s "" 0

# A second start: the running one shows its panel; this one leaves at once.
shown=$(log_count 'panel shown at')
"$desk" run "$work/bin/nimbrook" >"$work/second.log" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "the second start ended with $status: $(cat "$work/second.log")"
wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "the running one did not show its panel"
[ "$(WAIT=0 "$here/desktop/sni-items.sh" | grep -c '^item ')" -eq 1 ] || fail "a second icon appeared"
echo "a second start showed the panel and exited 0"
"$desk" key Escape
sleep 0.5

# The keyboard at a second opening, after a close by Escape.
"$desk" click "$TRAY_X" "$TRAY_Y"
wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $((shown + 1)) ]" || fail "a click did not open the panel"
sleep 0.5
"$desk" key Escape
sleep 0.5
"$desk" click "$TRAY_X" "$TRAY_Y"
sleep 0.7
before=$(wc -l <"$work/vnc.log")
"$desk" run xdotool type --delay 60 air
"$desk" key Return
wait_for 5 sh -c "[ \$(wc -l <'$work/vnc.log') -gt $before ]" || fail "typing at a later opening opened nothing"
tail -1 "$work/vnc.log" | grep -q '100.120.206.7' || fail "typing \"air\" opened $(tail -1 "$work/vnc.log")"
echo "typed at the third opening: $(tail -1 "$work/vnc.log")"

# Dark, while open.
"$desk" click "$TRAY_X" "$TRAY_Y"
wait_for 5 grep -q 'panel shown at' "$work/app.log"
sleep 0.7
read -r px py pw ph < <(sed -n 's/.*panel shown at \([0-9-]*\),\([0-9-]*\) \([0-9]*\)x\([0-9]*\).*/\1 \2 \3 \4/p' "$work/app.log" | tail -1)
lightness() { "$desk" shot "$work/shot.png"; convert "$work/shot.png" -crop "$((pw - 20))x20+$((px + 10))+$((py + ph - 24))" -colorspace Gray -format '%[fx:int(100*mean)]' info:; }
light=$(lightness)
"$desk" run gsettings set org.gnome.desktop.interface color-scheme prefer-dark
wait_for 5 grep -q 'colours: dark' "$work/app.log" || fail "the dark preference did not arrive: $(tail -3 "$work/portal.log")"
sleep 0.5
dark=$(lightness)
"$desk" shot "$artifacts/sni-panel-dark.png"
echo "panel lightness: $light% before, $dark% after the switch to dark"
[ "$dark" -lt 30 ] && [ "$light" -gt 60 ] || fail "the panel did not turn dark ($light% → $dark%)"
"$desk" key Escape

# The host gone for good: a window; back: the icon again, the window gone.
pkill -u "$DESK_USER" -x xfce4-panel
wait_for 8 grep -q 'panel shown in a window' "$work/app.log" || fail "no window after the host went away"
echo "host gone: $(grep -c 'panel shown in a window' "$work/app.log") window"
"$desk" run xfce4-panel >"$work/panel.log" 2>&1 &
wait_for 15 grep -q 'panel window closed: the tray icon took its place' "$work/app.log" ||
  fail "the icon did not come back with the host"
WAIT=5 "$here/desktop/sni-items.sh" Nimbrook >/dev/null || fail "no item with the new host"
echo "host back: the icon took the window's place"
echo "PASS"
