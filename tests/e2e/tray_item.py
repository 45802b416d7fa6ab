"""What the Python end-to-end scripts share: the names of the tray protocols,
a failure that ends the script, and Nimbrook's item and menu on a bus, found
as a tray host finds them."""
import sys
import time

import dbus

MENU = "com.canonical.dbusmenu"
PROPS = "org.freedesktop.DBus.Properties"
ITEM = "org.kde.StatusNotifierItem"
WATCHER = "org.kde.StatusNotifierWatcher"


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


def tray_item(bus, seconds=15):
    """(service, item path, item, menu) of the first item the watcher holds."""
    watcher = bus.get_object(WATCHER, "/StatusNotifierWatcher")
    deadline = time.time() + seconds
    while not (items := watcher.Get(WATCHER, "RegisteredStatusNotifierItems", dbus_interface=PROPS)):
        if time.time() > deadline:
            fail("no tray item")
        time.sleep(0.1)
    service, _, path = str(items[0]).partition("/")
    item_path = "/" + (path or "StatusNotifierItem")
    item = bus.get_object(service, item_path)
    menu_path = item.Get(ITEM, "Menu", dbus_interface=PROPS)
    menu = dbus.Interface(bus.get_object(service, menu_path), MENU)
    return service, item_path, item, menu


def open_menu(menu):
    """Opens the menu as a host does: Nimbrook starts discovering then."""
    menu.AboutToShow(0)
    menu.Event(0, "opened", dbus.String("", variant_level=1), dbus.UInt32(0))
