#!/usr/bin/env bash
# End to end under GNOME Shell 43 (headless, Wayland) with the AppIndicator
# extension, as an unprivileged user:
#  - the icon on GNOME's bar, drawn from our pixmap (binary alone) and from the
#    installed symbolic icon: contrast and size of its ink;
#  - a click shows the menu; with it open, 20 s of polls change nothing
#    (dbus-monitor); machines carry their online dot; entries clicked across
#    polls all reach the vnc:// handler;
#  - a second `nimbrook` shows the running one's panel and exits 0, and the
#    panel takes typing at every opening;
#  - the extension switched off: the panel in a window, with GNOME's message;
#    switched on again: the icon back, the window gone;
#  - the dark preference through the real XDG portal turns the window dark.
# usage: gnome_e2e.sh NIMBROOK_BINARY ARTIFACTS_DIR     (exit 77: cannot run here)
set -uo pipefail
binary=$1 artifacts=$2
source "$(dirname "$0")/session_common.sh"
up_desktop gnome gnome-shell gdbus busctl jq convert dbus-monitor gsettings
[ -x /usr/libexec/xdg-desktop-portal ] && [ -x /usr/libexec/xdg-desktop-portal-gtk ] ||
  { echo "skipping: xdg-desktop-portal-gtk is not installed"; exit 77; }
session_setup "$binary" "$artifacts"
indicator=ubuntu-appindicators@ubuntu.com
results="$artifacts/gnome-results.txt"
: >"$results"
note() { echo "$*"; echo "$*" >>"$results"; }

"$desk" run gsettings set org.gnome.desktop.interface color-scheme default
"$desk" run /usr/libexec/xdg-desktop-portal-gtk >"$work/portal-gtk.log" 2>&1 &
# The backend running before the portal asks for it: started by the bus
# instead, it would lack the display.
gtk_backend_up() {
  "$desk" run busctl --user call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
    NameHasOwner s org.freedesktop.impl.portal.desktop.gtk 2>/dev/null | grep -q true
}
wait_for 10 gtk_backend_up || fail "the GTK portal backend did not start: $(tail -3 "$work/portal-gtk.log")"
# Only the GTK backend: another one installed (KDE's) must not be tried here.
mkdir -p "$work/portals" && cp /usr/share/xdg-desktop-portal/portals/gtk.portal "$work/portals/" && chmod -R a+rX "$work/portals"
"$desk" run env XDG_DESKTOP_PORTAL_DIR="$work/portals" /usr/libexec/xdg-desktop-portal -r >"$work/portal.log" 2>&1 &
wait_for 10 "$desk" run busctl --user call org.freedesktop.portal.Desktop /org/freedesktop/portal/desktop \
  org.freedesktop.portal.Settings Read ss org.freedesktop.appearance color-scheme >/dev/null ||
  fail "the portal does not answer: $(tail -3 "$work/portal.log")"

# The newest indicator: the one of a Nimbrook just stopped may linger a moment.
js_item='Object.entries(Main.panel.statusArea).filter(([k]) => k.startsWith("appindicator-")).pop()'
# "X Y" of the indicator's centre, or nothing while there is none.
icon_at() {
  "$desk" eval "let e = $js_item; if (!e) ''; else { let [x, y] = e[1].get_transformed_position();
    let [w, h] = e[1].get_transformed_size(); isNaN(x + y + w + h) || w === 0 ? '' :
    Math.round(x + w / 2) + ' ' + Math.round(y + h / 2); }" | tr -d '"'
}
wait_icon() { local i; for i in $(seq 50); do pos=$(icon_at); [ -n "$pos" ] && return 0; sleep 0.2; done; return 1; }
entry_listed() { [ -n "$(entry_at "$1")" ]; }
menu_open() { [ "$("$desk" eval "let e = $js_item; !!(e && e[1].menu.isOpen)")" = true ]; }
# "X Y" of the centre of the menu entry whose label starts with $1.
entry_at() {
  "$desk" eval "let e = $js_item; let item = e[1].menu._getMenuItems().find(i => i.label && i.label.text.startsWith('$1'));
    if (!item) ''; else { let [x, y] = item.get_transformed_position(); let [w, h] = item.get_transformed_size();
    Math.round(x + w / 2) + ' ' + Math.round(y + h / 2); }" | tr -d '"'
}
measure_icon() { # what
  local bar try
  # The extension draws the icon a moment after it places the button, and
  # the button may still move as the bar lays itself out: asked again each time.
  for try in $(seq 10); do
    sleep 0.5
    pos=$(icon_at)
    read -r ix iy <<<"$pos"
    "$desk" shot "$work/bar.png"
    bar=$(bar_colour "$work/bar.png" 600 3)
    read -r ratio strong width height < <(ink_on_bar "$work/bar.png" "$ix" "$iy" 24 "$bar")
    awk "BEGIN { exit !($ratio >= 4.5 && $width >= 12 && $height >= 12) }" && break
  done
  note "GNOME, $1: contrast $ratio:1 on $bar, ink ${width}x${height} ($strong pixels at 3:1)"
  awk "BEGIN { exit !($ratio >= 4.5 && $width >= 12 && $height >= 12) }" || {
    cp "$work/bar.png" "$artifacts/gnome-screen-failed.png"
    fail "the icon does not read on GNOME's bar ($1) at $ix,$iy"; }
}

# The binary alone: GNOME draws the pixmap.
start_app
wait_icon || fail "no icon on GNOME's bar"
measure_icon "binary alone"
convert "$work/bar.png" -crop 400x32+880+0 +repage "$artifacts/gnome-bar.png"
kill "$app"; wait "$app" 2>/dev/null

# With the package's icons: GNOME draws the symbolic icon in its bar's colour.
install_symbolic_icon
: >"$work/app.log"
start_app
wait_icon || fail "no icon on GNOME's bar after a restart"
measure_icon "symbolic icon installed"

# A click shows the menu. (Clicked before the extension has read the menu, a
# new item takes a click for a double click and is activated: wait as a person
# would.)
menu_box() {
  "$desk" eval "let e = $js_item; let a = e[1].menu.actor; let [x, y] = a.get_transformed_position();
    let [w, h] = a.get_transformed_size(); [x, y, w, h].map(Math.round).join(' ')" | tr -d '"'
}
menu_read() { [ "$("$desk" eval "let e = $js_item; e[1].menu.numMenuItems > 0")" = true ]; }
wait_for 10 menu_read || fail "the extension did not read the menu"
read -r ix iy <<<"$pos"
"$desk" click "$ix" "$iy"
wait_for 5 menu_open || fail "a click did not show the menu"
wait_for 10 entry_listed Guest ||
  fail "the menu lists no machines"
sleep 1
"$desk" shot "$artifacts/gnome-menu.png"
# Counted inside the menu only: GNOME 48's wallpaper is close to that green.
read -r mx my mw mh <<<"$(menu_box)"
green=$(convert "$artifacts/gnome-menu.png" -alpha off -crop "${mw}x$mh+$mx+$my" +repage -fuzz 12% -fill black +opaque '#34c759' -fill white -opaque '#34c759' -format '%[fx:int(mean*w*h)]' info:)
note "GNOME: the open menu shows $green pixels of the online dot's green"
[ "$green" -gt 10 ] || fail "no online dot in GNOME's menu"

# 20 s of polls with the menu open.
"$desk" run dbus-monitor --session "type='signal',interface='com.canonical.dbusmenu'" >"$work/signals.txt" 2>&1 &
monitor=$!
sleep 20
kill "$monitor" 2>/dev/null
menu_open || fail "the menu closed by itself"
layouts=$(grep -c 'member=LayoutUpdated' "$work/signals.txt")
note "GNOME: menu open 20 s over polls: $layouts LayoutUpdated, $(grep -c 'member=ItemsPropertiesUpdated' "$work/signals.txt") ItemsPropertiesUpdated"
[ "$layouts" -eq 0 ] || fail "the layout changed $layouts times while nothing did"
"$desk" key Escape

# Entries clicked one after the other over two polls: each reaches the handler.
before=$(wc -l <"$work/vnc.log")
clicks=0
end=$(( $(date +%s) + 12 ))
while [ "$(date +%s)" -lt "$end" ]; do
  "$desk" click "$ix" "$iy"
  wait_for 3 menu_open || fail "the menu did not open for click $((clicks + 1))"
  # Where the entry stays once the menu has finished sliding in (GNOME 48
  # animates it).
  at=$(entry_at Guest)
  for try in $(seq 10); do
    sleep 0.1
    again=$(entry_at Guest)
    [ "$again" != "$at" ] || break
    at=$again
  done
  [ -n "$at" ] || fail "no Guest entry in the menu"
  "$desk" click ${at% *} ${at#* }
  clicks=$((clicks + 1))
  sleep 2.1 # a machine just opened is not opened again for 2 s
done
wait_for 10 sh -c "[ \$(wc -l <'$work/vnc.log') -ge $((before + clicks)) ]"
arrived=$(( $(wc -l <"$work/vnc.log") - before ))
note "GNOME: $arrived of $clicks menu clicks across polls reached the handler"
[ "$arrived" -eq "$clicks" ] || fail "clicks were lost"

# A second start shows the panel; it takes the keys at each opening.
for opening in 1 2; do
  shown=$(log_count 'panel shown at')
  # As GNOME's launcher starts it: with a token that lets it take the focus.
  token=$("$desk" eval 'const Gio = imports.gi.Gio;
    global.create_app_launch_context(global.display.get_current_time_roundtrip(), -1).get_startup_notify_id(
      Gio.AppInfo.create_from_commandline("nimbrook", "Nimbrook", 0), [])' | tr -d '"')
  "$desk" run env XDG_ACTIVATION_TOKEN="$token" "$work/bin/nimbrook" >"$work/second.log" 2>&1
  status=$?
  [ "$status" -eq 0 ] || fail "a second start ended with $status: $(cat "$work/second.log")"
  wait_for 5 sh -c "[ \$(grep -c 'panel shown at' '$work/app.log') -gt $shown ]" || fail "no panel after a second start"
  sleep 2 # past the 2 s in which the machine just opened is not opened again
  before=$(wc -l <"$work/vnc.log")
  "$desk" type air
  "$desk" key Return
  wait_for 5 sh -c "[ \$(wc -l <'$work/vnc.log') -gt $before ]" || {
    "$desk" shot "$artifacts/gnome-typing-failed.png"
    fail "typing at opening $opening opened nothing (focus: $("$desk" eval 'let w = global.display.focus_window; w ? w.get_title() : "none"'))"; }
  tail -1 "$work/vnc.log" | grep -q '100.120.206.7' || fail "typing \"air\" opened $(tail -1 "$work/vnc.log")"
done
note "GNOME: a second start exits 0 and shows the panel; typing worked at both openings"

# The extension switched off: a window, and GNOME's words; on again: the icon.
"$desk" run gnome-extensions disable "$indicator"
wait_for 8 grep -q 'panel shown in a window' "$work/app.log" || fail "no window after the extension went off"
grep -q 'install or enable the AppIndicator extension' "$work/app.log" || fail "no GNOME message"
note "GNOME: extension off → $(grep -o 'panel shown in a window' "$work/app.log" | head -1)"

# Dark, with the window open.
window_shown() { [ -n "$(window_rect)" ]; }
window_rect() {
  "$desk" eval 'let w = global.get_window_actors().map(a => a.meta_window).find(w => w.get_title() === "Nimbrook");
    if (!w) ""; else { let r = w.get_frame_rect(); [r.x, r.y, r.width, r.height].join(" "); }' | tr -d '"'
}
wait_for 5 window_shown ||
  fail "no Nimbrook window on GNOME"
read -r wx wy ww wh <<<"$(window_rect)"
echo "window at $wx,$wy ${ww}x$wh"
lightness() { "$desk" shot "$work/shot.png"; convert "$work/shot.png" -alpha off -crop "$((ww - 20))x20+$((wx + 10))+$((wy + wh - 24))" -colorspace Gray -format '%[fx:int(100*mean)]' info:; }
light=$(lightness)
"$desk" run gsettings set org.gnome.desktop.interface color-scheme prefer-dark
wait_for 5 grep -q 'colours: dark' "$work/app.log" || fail "the dark preference did not arrive"
sleep 0.5
dark=$(lightness)
"$desk" shot "$artifacts/gnome-dark-window.png"
note "GNOME: window lightness $light% → $dark% on the switch to dark"
[ "$dark" -lt 30 ] && [ "$light" -gt 60 ] || {
  cp "$work/shot.png" "$artifacts/gnome-screen-failed.png"
  fail "the window did not turn dark"; }

"$desk" run gnome-extensions enable "$indicator"
wait_for 10 grep -q 'panel window closed: the tray icon took its place' "$work/app.log" ||
  fail "the icon did not come back with the extension"
wait_icon || fail "no icon after the extension came back"
note "GNOME: extension on again → the icon took the window's place"

# 20, 200 and 5,000 machines: the menu fits a 1280x720 screen under the bar, Quit at its end
# is in reach and works, and the shell keeps answering while the menu opens.
shell_kb() { awk '/VmRSS/ { print $2 }' "/proc/$(pgrep -o -x gnome-shell)/status"; }
# The slowest of the shell's answers to a trivial Eval, in ms, while "$@" runs.
probe_shell() {
  ( while :; do s=$(date +%s%N); "$desk" eval 1 >/dev/null; echo $(( ($(date +%s%N) - s) / 1000000 )); sleep 0.03; done ) >"$work/probe.txt" &
  local probe=$!
  sleep 1; "$@"; sleep 1.5
  kill "$probe"; wait "$probe" 2>/dev/null
  sort -n "$work/probe.txt" | tail -1
}
# As the extension has read the menu, or else as Nimbrook exports it on its own
# bus name: GNOME 48's extension reads a closed menu only when it opens, and
# GNOME 43's, switched back on, may find the item again without listing it
# with its watcher. What the extension draws is checked once the menu is open.
own_item() { echo "org.kde.StatusNotifierItem-$(pgrep -o -u "$DESK_USER" -x nimbrook)-1"; }
show_all_shown() {
  [ "$("$desk" eval "let e = $js_item; e[1].menu._getMenuItems().some(i => i.visible && i.label && i.label.text.startsWith('Show All Machines'))")" = true ] ||
    "$here/desktop/sni-items.sh" "$(own_item)" 2>/dev/null |
    grep -qx 'menu Show All Machines…'
}
idle=$(probe_shell true)
for n in 20 200 5000; do
  /usr/bin/python3 "$data/make_tailscale_status.py" --peers "$n" --macos-fraction 1 --seed 5 \
    >"$work/many.json"
  chmod a+r "$work/many.json" && mv "$work/many.json" "$FAKE_TAILSCALE_REPORT"
  wait_for 15 show_all_shown || {
    "$desk" eval 'Object.keys(Main.panel.statusArea).join(" ")'
    "$here/desktop/sni-items.sh" || true
    "$here/desktop/sni-items.sh" "$(own_item)" || true
    fail "no \"Show All Machines…\" with $n machines"; }
  before_kb=$(shell_kb)
  read -r ix iy <<<"$(icon_at)"
  worst=$(probe_shell "$desk" click "$ix" "$iy")
  menu_open || fail "the menu did not open with $n machines"
  read -r mx my mw mh <<<"$(menu_box)"
  quit=$(entry_at Quit)
  "$desk" shot "$artifacts/gnome-menu-$n.png"
  note "GNOME, $n machines: menu ${mw}x$mh at $mx,$my, Quit at $quit; slowest Eval $worst ms while it opened ($idle ms idle); shell memory $(( ($(shell_kb) - before_kb) / 1024 )) MB more"
  [ $((my + mh)) -le 720 ] || fail "the menu reaches y=$((my + mh)), past a 1280x720 screen"
  [ -n "$quit" ] && [ "${quit#* }" -lt 720 ] || fail "Quit is out of reach at '$quit'"
  # A shell held up by the menu answers seconds late; one busy 2-core machine
  # has made it 184 ms late now and then without any such cause.
  [ "$worst" -le $((idle + 250)) ] || fail "the shell took $worst ms to answer while the menu opened"
  if [ "$n" = 5000 ]; then
    "$desk" click ${quit% *} ${quit#* }
    wait_for 5 sh -c "! pgrep -u '$DESK_USER' -x nimbrook" || fail "Quit did not end Nimbrook"
    note "GNOME: Quit chosen from the menu of $n machines ended Nimbrook"
  else
    "$desk" key Escape
    wait_for 5 sh -c "! '$desk' eval \"let e = $js_item; e[1].menu.isOpen\" | grep -q true"
  fi
done
echo "PASS"
