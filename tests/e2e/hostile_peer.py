#!/usr/bin/python3
"""Other programs on the session bus ($DBUS_SESSION_BUS_ADDRESS), as a hostile
or broken one would be (see hostile_bus.py):

  hostile_peer.py notifier LOG   a notification server that records each Notify
                                 in LOG and "clicks" each one 5 times; quits on
                                 SIGTERM
  hostile_peer.py impostor ID    waits for the notification server's name,
                                 takes it and clicks notification ID 5 times
  hostile_peer.py portal SECONDS OUT  owns the portal's name; on SIGUSR1 sends
                                 ~870 colour scheme changes a second for
                                 SECONDS, then writes how many to OUT
  hostile_peer.py hang NAME      owns NAME and never answers anything"""
import json
import sys
import time

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NOTIFY = "org.freedesktop.Notifications"
PORTAL = "org.freedesktop.portal.Desktop"
mode = sys.argv[1]

if mode == "hang":
    bus = dbus.SessionBus()  # no main loop: nothing is ever answered
    bus.request_name(sys.argv[2])
    print("hanging", flush=True)
    time.sleep(600)
    sys.exit(0)

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
loop = GLib.MainLoop()


class Notifier(dbus.service.Object):
    def __init__(self, log):
        self.log, self.next_id = log, 0
        super().__init__(dbus.service.BusName(NOTIFY, bus), "/org/freedesktop/Notifications")

    @dbus.service.method(NOTIFY, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.next_id += 1
        with open(self.log, "a", encoding="utf-8") as log:
            log.write(json.dumps({"id": self.next_id, "summary": str(summary),
                                  "actions": [str(a) for a in actions]}, ensure_ascii=False) + "\n")
        if "default" in actions:
            GLib.timeout_add(300, self.click, self.next_id)
        return dbus.UInt32(self.next_id)

    def click(self, nid):
        for _ in range(5):
            self.ActionInvoked(dbus.UInt32(nid), "default")
        return False

    @dbus.service.method(NOTIFY, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.signal(NOTIFY, signature="us")
    def ActionInvoked(self, nid, key):
        pass


class Impostor(dbus.service.Object):
    def __init__(self):
        super().__init__(bus, "/org/freedesktop/Notifications")

    @dbus.service.signal(NOTIFY, signature="us")
    def ActionInvoked(self, nid, key):
        pass


class Portal(dbus.service.Object):
    def __init__(self):
        super().__init__(dbus.service.BusName(PORTAL, bus), "/org/freedesktop/portal/desktop")
        self.sent = 0

    @dbus.service.method("org.freedesktop.portal.Settings", in_signature="ss", out_signature="v")
    def Read(self, group, key):
        return dbus.UInt32(0, variant_level=1)

    @dbus.service.signal("org.freedesktop.portal.Settings", signature="ssv")
    def SettingChanged(self, group, key, value):
        pass

    def burst(self):
        for _ in range(87):  # every 100 ms: ~870 a second
            self.sent += 1
            self.SettingChanged("org.freedesktop.appearance", "color-scheme",
                                dbus.UInt32(1 + self.sent % 2, variant_level=1))
        return True


if mode == "notifier":
    Notifier(sys.argv[2])
    print("notifier up", flush=True)
    loop.run()
elif mode == "impostor":
    nid = int(sys.argv[2])
    daemon = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    while daemon.NameHasOwner(NOTIFY, dbus_interface="org.freedesktop.DBus"):
        time.sleep(0.05)
    name = dbus.service.BusName(NOTIFY, bus)
    impostor = Impostor()
    time.sleep(0.5)  # Nimbrook sees the new owner
    for _ in range(5):
        impostor.ActionInvoked(dbus.UInt32(nid), "default")
    GLib.timeout_add(500, loop.quit)
    loop.run()
    print("impostor done", flush=True)
elif mode == "portal":
    import signal
    portal = Portal()
    seconds, out = float(sys.argv[2]), sys.argv[3]

    def start_burst():
        source = GLib.timeout_add(100, portal.burst)

        def stop():
            GLib.source_remove(source)
            with open(out, "w") as f:
                f.write(f"portal sent {portal.sent}\n")
            return False
        GLib.timeout_add(int(seconds * 1000), stop)
        return False
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, start_burst)
    print("portal up", flush=True)
    loop.run()
