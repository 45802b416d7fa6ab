#!/usr/bin/python3
"""A stand-in desktop notification server on the session bus: records every
Notify call as one JSON line in LOG and, like a user clicking the
notification, invokes its default action a moment later.
usage: notification_server.py LOG [SECONDS]     (needs python3-dbus, python3-gi)"""
import json
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
NAME = "org.freedesktop.Notifications"
log_path = sys.argv[1]
seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 120


class Server(dbus.service.Object):
    def __init__(self, bus):
        self.next_id = 0
        super().__init__(dbus.service.BusName(NAME, bus), "/org/freedesktop/Notifications")

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.next_id += 1
        nid = self.next_id
        with open(log_path, "a", encoding="utf-8") as log:
            record = {"id": nid, "app": str(app), "icon": str(icon), "summary": str(summary),
                      "body": str(body), "actions": [str(a) for a in actions]}
            log.write(json.dumps(record, ensure_ascii=False) + "\n")
        if "default" in actions:
            GLib.timeout_add(500, self.click, nid)
        return dbus.UInt32(nid)

    def click(self, nid):
        self.ActionInvoked(dbus.UInt32(nid), "default")
        self.NotificationClosed(dbus.UInt32(nid), dbus.UInt32(2))
        return False

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["actions", "body"]

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("stand-in", "nimbrook tests", "1.0", "1.2")

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, nid):
        self.NotificationClosed(nid, dbus.UInt32(3))

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, nid, key):
        pass

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, nid, reason):
        pass


server = Server(dbus.SessionBus())
print("notification server up", flush=True)
loop = GLib.MainLoop()
GLib.timeout_add_seconds(seconds, loop.quit)
loop.run()
