#!/bin/bash
# sni-items.sh: what a StatusNotifierItem host would draw, read from the current session bus
# ($DBUS_SESSION_BUS_ADDRESS), so a test can assert on the tray icon and its menu.
#
#   sni-items.sh          the watcher and one line per registered item:
#                           watcher pid=1234 (waybar) host=true items=1
#                           item Nimbrook :1.5/StatusNotifierItem pid=1300 status=Active
#   sni-items.sh ITEM     one item's properties and its DBusMenu (com.canonical.dbusmenu GetLayout);
#                         ITEM is an Id ("Nimbrook"), a bus name (":1.5", read even when
#                         the watcher does not list it) or a registered entry:
#                           item=:1.5/StatusNotifierItem pid=1300
#                           Id=Nimbrook  Title=...  Status=Active  Category=...  IconName=
#                           ItemIsMenu=false  Menu=/NO_DBUSMENU  IconPixmap=22x22,22x22
#                           ToolTip=Nimbrook    (one per line; "-" for a property the item lacks)
#                           menu New Connection  one line per entry, two spaces per level;
#                           menu ----            separators; [disabled], [hidden],
#                           menu _Quit           [checkmark=0] and ">" (submenu) marked
#                         (no "menu" lines when Menu is absent or "/NO_DBUSMENU")
# WAIT=SECONDS (default 0): wait that long for the watcher and the item to appear.
# Exit status: 0 found; 1 no watcher on the bus, or no such item. Prints no environment.
# Packages (installed when missing): systemd (for busctl) jq. Works as the session's user, or as
# root on the buses of the desktops here (they let root connect).
set -euo pipefail
WAIT=${WAIT:-0}
W=(org.kde.StatusNotifierWatcher /StatusNotifierWatcher org.kde.StatusNotifierWatcher)

for p in systemd jq; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "$p" >&2
done

bus() { busctl --user --json=short "$@"; }
pid_of() { bus call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
             GetConnectionUnixProcessID s "$1" 2>/dev/null | jq -r '.data[0]' || echo '?'; }
registered() { bus get-property "${W[@]}" RegisteredStatusNotifierItems | jq -r '.data[]'; }
split() { # ENTRY -> "SERVICE PATH" (some watchers keep only the service name)
  case $1 in */*) echo "${1%%/*} /${1#*/}" ;; *) echo "$1 /StatusNotifierItem" ;; esac; }
props() { bus call "$1" "$2" org.freedesktop.DBus.Properties GetAll s org.kde.StatusNotifierItem; }

# find ITEM: the registered entry whose Id, bus name or text is ITEM
find_item() {
  local entry service path
  for entry in $(registered); do
    read -r service path < <(split "$entry")
    if [ "$entry" = "$1" ] || [ "$service" = "$1" ] ||
       [ "$(props "$service" "$path" 2>/dev/null | jq -r '.data[0].Id.data // ""')" = "$1" ]; then
      echo "$entry"; return 0
    fi
  done
  # An item's own bus name is read even when the watcher does not list it.
  case $1 in
    :*|org.kde.StatusNotifierItem-*)
      props "$1" /StatusNotifierItem >/dev/null 2>&1 && { echo "$1/StatusNotifierItem"; return 0; } ;;
  esac
  return 1
}

end=$(( $(date +%s) + WAIT ))
until bus get-property "${W[@]}" IsStatusNotifierHostRegistered >/dev/null 2>&1; do
  [ "$(date +%s)" -lt "$end" ] || { echo "no StatusNotifierWatcher on the session bus" >&2; exit 1; }
  sleep 0.2
done

if [ $# -eq 0 ]; then
  owner=$(bus call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
            GetNameOwner s org.kde.StatusNotifierWatcher | jq -r '.data[0]')
  wpid=$(pid_of "$owner")
  echo "watcher pid=$wpid ($(cat "/proc/$wpid/comm" 2>/dev/null || echo '?'))" \
       "host=$(bus get-property "${W[@]}" IsStatusNotifierHostRegistered | jq -r .data)" \
       "items=$(registered | wc -l)"
  for entry in $(registered); do
    read -r service path < <(split "$entry")
    props "$service" "$path" | jq -r --arg e "$entry" --arg pid "$(pid_of "$service")" \
      '"item \(.data[0].Id.data // "?") \($e) pid=\($pid) status=\(.data[0].Status.data // "?")"'
  done
  exit 0
fi

until entry=$(find_item "$1"); do
  [ "$(date +%s)" -lt "$end" ] || { echo "no registered item '$1'" >&2; exit 1; }
  sleep 0.2
done
read -r service path < <(split "$entry")
echo "item=$entry pid=$(pid_of "$service")"
props "$service" "$path" | jq -r '.data[0] as $d
  | (("Id", "Title", "Status", "Category", "IconName", "ItemIsMenu", "Menu") as $k
     | "\($k)=\(if $d | has($k) then $d[$k].data | tostring else "-" end)"),
    "IconPixmap=\([$d.IconPixmap.data // [] | .[] | "\(.[0])x\(.[1])"] | join(","))",
    "ToolTip=\($d.ToolTip.data[2] // "-")"'
menu=$(props "$service" "$path" | jq -r '.data[0].Menu.data // ""')
[ -n "$menu" ] && [ "$menu" != /NO_DBUSMENU ] || exit 0
bus -- call "$service" "$menu" com.canonical.dbusmenu GetLayout iias 0 -1 0 | jq -r '
  def entry(depth):
    .[1] as $p
    | (if depth > 0 then
         "menu " + ([range(depth - 1) | "  "] | join(""))
         + (if $p.type.data == "separator" then "----" else ($p.label.data // "") end)
         + (if $p.enabled.data == false then " [disabled]" else "" end)
         + (if $p.visible.data == false then " [hidden]" else "" end)
         + (if ($p["toggle-type"].data // "") != ""
            then " [\($p["toggle-type"].data)=\($p["toggle-state"].data)]" else "" end)
         + (if $p["children-display"].data == "submenu" then " >" else "" end)
       else empty end),
      (.[2][] | .data | entry(depth + 1));
  .data[1] | entry(0)'
