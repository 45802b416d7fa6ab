# Shared by the Plasma end-to-end tests (plasma_e2e.sh on Plasma 5 with X11,
# plasma_wayland_e2e.sh on Plasma 6 with Wayland); sourced after
# session_common.sh and session_setup.
#   note TEXT...                     said, and kept in $results
#   settled_shot FILE                a screenshot once the screen holds still
#   start_and_find_icon              Nimbrook started; $ix,$iy the centre of its icon, $service
#                                    its item's bus name, $work/after.png the bar with it
#   menu_holds_still FILE NAME SECONDS  the menu opened over polls: no LayoutUpdated, online dots
#   menu_choices_arrive NAME         menu entries chosen across polls all reach the handler
# shellcheck shell=bash

note() { echo "$*"; echo "$*" >>"$results"; }
vnc_lines() { wc -l <"$work/vnc.log"; }

# settled_shot FILE: a screenshot once two in a row, 0.5 s apart, are the same
# (on a loaded machine the bar may still be painting itself).
settled_shot() {
  local deadline=$((SECONDS + 15))
  "$desk" shot "$1"
  while sleep 0.5 && [ $SECONDS -lt $deadline ]; do
    "$desk" shot "$work/shot-again.png"
    [ "$(compare -metric AE "$1" "$work/shot-again.png" null: 2>&1)" = 0 ] && return 0
    mv "$work/shot-again.png" "$1"
  done
}

# start_and_find_icon: Nimbrook started, and its icon found by what changed in
# the bar (60 px along the bottom) when it came.
start_and_find_icon() {
  local bw bh bx by
  settled_shot "$work/before.png"
  start_app
  WAIT=10 "$here/desktop/sni-items.sh" Nimbrook >"$work/item.txt" || fail "no StatusNotifierItem registered"
  service=$(grep -o '^item=[^/ ]*' "$work/item.txt" | cut -d= -f2)
  sleep 2
  settled_shot "$work/after.png"
  read -r bw bh bx by < <(convert "$work/before.png" "$work/after.png" -compose difference -composite \
    -crop 1280x60+0+740 +repage -colorspace Gray -threshold 8% -format '%@' info: | tr 'x+' '  ')
  [ -n "${bw:-}" ] && [ "$bw" -gt 0 ] || fail "no icon appeared in Plasma's tray"
  ix=$((bx + 11)) iy=$((740 + by + bh / 2)) # the new item is the leftmost of the tray
  echo "the bar changed over ${bw}x$bh+$bx+$by: the icon at $ix,$iy"
}

# menu_holds_still FILE NAME SECONDS: the menu opened with a right click and
# left open SECONDS (polls every 5 s): not one LayoutUpdated, and the online
# dots drawn. Its screenshot: $artifacts/FILE-menu.png.
menu_holds_still() {
  local file=$1 name=$2 seconds=$3 monitor layouts green
  "$desk" run dbus-monitor --session "type='signal',interface='com.canonical.dbusmenu'" >"$work/signals.txt" 2>&1 &
  monitor=$!
  sleep 0.5
  "$desk" click "$ix" "$iy" right
  sleep "$seconds"
  kill "$monitor" 2>/dev/null
  "$desk" shot "$artifacts/$file-menu.png"
  layouts=$(grep -c 'member=LayoutUpdated' "$work/signals.txt")
  note "$name: menu open $seconds s over polls: $layouts LayoutUpdated, $(grep -c 'member=ItemsPropertiesUpdated' "$work/signals.txt") ItemsPropertiesUpdated"
  [ "$layouts" -eq 0 ] || fail "the layout changed $layouts times while nothing did"
  green=$(convert "$artifacts/$file-menu.png" -fuzz 12% -fill black +opaque '#34c759' -fill white -opaque '#34c759' -format '%[fx:int(mean*w*h)]' info:)
  [ "$green" -gt 10 ] || fail "no online dot in Plasma's menu"
  "$desk" key Escape
}

# menu_choices_arrive NAME: the first machine chosen from the menu, again and
# again over two polls; every choice reaches the handler.
menu_choices_arrive() {
  local before clicks=0 end arrived
  sleep 2
  before=$(vnc_lines)
  end=$(( $(date +%s) + 12 ))
  while [ "$(date +%s)" -lt "$end" ]; do
    "$desk" click "$ix" "$iy" right
    sleep 0.5
    "$desk" key Down
    "$desk" key Return
    clicks=$((clicks + 1))
    sleep 2.1 # a machine just opened is not opened again for 2 s
  done
  wait_for 10 sh -c "[ \$(wc -l <'$work/vnc.log') -ge $((before + clicks)) ]"
  arrived=$(( $(vnc_lines) - before ))
  note "$1: $arrived of $clicks menu choices across polls reached the handler"
  [ "$arrived" -eq "$clicks" ] || fail "choices were lost"
}
