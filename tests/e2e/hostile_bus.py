#!/usr/bin/python3
"""Plays the hostile program on Nimbrook's session bus (see hostile_bus_e2e.sh).

usage: hostile_bus.py BUS WORK REPORT        Nimbrook with a tray on BUS
       hostile_bus.py --hung-watcher BUS WORK  Nimbrook beside a hung watcher

WORK holds vnc.log (the recording viewer), tool-env (the tool's environment at
its last run), app.log (Nimbrook's log); REPORT is the stand-in tool's report,
in which Café Mac (to be announced) comes online during the run. Each case is sent while a second
connection asks Nimbrook a trivial question (its item's Title) every 20 ms; the
case fails if an answer takes over 100 ms or Nimbrook dies. Prints one line a
case with what it measured; exits 1 at the first failure."""
import os
import subprocess
import sys
import threading
import time

import dbus

from tray_item import ITEM, PROPS, fail, open_menu, tray_item

script_started = time.monotonic()
here = os.path.dirname(os.path.abspath(__file__))
hung = sys.argv[1] == "--hung-watcher"
if hung:
    sys.argv.pop(1)
address, work = sys.argv[1:3]
peer_env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address)
LIMIT = 0.100


def app_log():
    return open(os.path.join(work, "app.log"), encoding="utf-8").read()


bus = dbus.bus.BusConnection(address)
if hung:
    # Nimbrook must answer on the bus and give up on the watcher in time.
    daemon = bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus")
    application = None
    worst = 0.0
    while "panel shown in a window" not in app_log():
        if time.monotonic() - script_started > 10:
            fail("no window beside a hung watcher within 10 s")
        if application is None:
            if daemon.NameHasOwner("io.github.nimbrook.nimbrook", dbus_interface="org.freedesktop.DBus"):
                application = bus.get_object("io.github.nimbrook.nimbrook",
                                             "/io/github/nimbrook/nimbrook")
            time.sleep(0.02)
            continue
        started = time.monotonic()
        try:
            application.GetAll("org.freedesktop.Application", dbus_interface=PROPS, timeout=5)
        except dbus.DBusException as error:
            if "UnknownObject" not in str(error) and "UnknownInterface" not in str(error):
                raise
        worst = max(worst, time.monotonic() - started)
        time.sleep(0.02)
    took = time.monotonic() - script_started
    print(f"hung watcher: the window after {took:.1f} s, slowest answer {worst * 1000:.0f} ms",
          flush=True)
    if took > 3.5 or worst > LIMIT:
        fail("too slow beside a hung watcher")
    print("PASS", flush=True)
    sys.exit(0)
report = sys.argv[3]
service, item_path, item, menu = tray_item(bus)
pid = int(bus.get_object("org.freedesktop.DBus", "/org/freedesktop/DBus").GetConnectionUnixProcessID(
    service, dbus_interface="org.freedesktop.DBus"))


class Probe(threading.Thread):
    """Asks the item's Title every 20 ms on a connection of its own."""

    def __init__(self):
        super().__init__(daemon=True)
        self.worst = 0.0
        self.unanswered = 0
        self.running = True

    def run(self):
        own = dbus.bus.BusConnection(address)
        title = own.get_object(service, item_path)
        while self.running:
            started = time.monotonic()
            try:
                title.Get(ITEM, "Title", dbus_interface=PROPS, timeout=5)
            except dbus.DBusException:
                self.unanswered += 1
            self.worst = max(self.worst, time.monotonic() - started)
            time.sleep(0.02)


def case(name, send, settle=1.0):
    probe = Probe()
    probe.start()
    started = time.monotonic()
    detail = send() or ""
    time.sleep(settle)
    probe.running = False
    probe.join()
    took = time.monotonic() - started
    try:
        os.kill(pid, 0)
    except OSError:
        fail(f"{name}: Nimbrook is gone")
    line = f"{name}: alive, slowest answer {probe.worst * 1000:.0f} ms over {took:.1f} s {detail}"
    print(line, flush=True)
    if probe.unanswered or probe.worst > LIMIT:
        fail(f"{name}: {probe.unanswered} unanswered, slowest {probe.worst * 1000:.0f} ms")


def layout():
    return menu.GetLayout(0, -1, [])[1]


def entry_id(label):
    for child_id, props, _ in layout()[2]:
        if str(props.get("label", "")).replace("__", "_").startswith(label):
            return int(child_id)
    fail(f"no entry {label}")


def group(entry, count, event="clicked"):
    events = [(dbus.Int32(entry), event, dbus.String("", variant_level=1), dbus.UInt32(0))] * count
    return menu.EventGroup(dbus.Array(events, signature="(isvu)"), timeout=30)


def vnc_lines():
    path = os.path.join(work, "vnc.log")
    return open(path).read().splitlines() if os.path.exists(path) else []


# The menu opened as a host opens it: discovery starts, the machines come.
open_menu(menu)
deadline = time.time() + 20
while len([c for c in layout()[2] if c[1].get("toggle-type") is None and "·" in str(c[1].get("label", ""))]) < 2:
    if time.time() > deadline:
        fail("no machines in the menu")
    time.sleep(0.2)

updates = entry_id("Check for Updates")
case("EventGroup of 10,000 clicks on Check for Updates", lambda: group(updates, 10_000) and "", 2)
windows = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Nimbrook$"],
                         capture_output=True, text=True).stdout.split()
if len(windows) != 1:
    fail(f"{len(windows)} alert windows, not one")
print("  one alert window shown", flush=True)

machine = next(int(c[0]) for c in layout()[2] if "·" in str(c[1].get("label", "")))
before = len(vnc_lines())
case("EventGroup of 100 clicks on a machine", lambda: group(machine, 100) and "", 3)
opened = len(vnc_lines()) - before
if opened != 1:
    fail(f"{opened} viewer launches for one burst")
print("  one viewer launch", flush=True)
before = len(vnc_lines())
for _ in range(2):  # a double click
    menu.Event(machine, "clicked", dbus.String("", variant_level=1), dbus.UInt32(0))
time.sleep(3)
if len(vnc_lines()) - before != 1:
    fail(f"{len(vnc_lines()) - before} viewer launches for a double click")
print("  a double click: one viewer launch", flush=True)

names = [f"name{i}" for i in range(100_000)] + ["label"]


def group_properties():
    started = time.monotonic()
    answer = menu.GetGroupProperties([dbus.Int32(machine)] * 10_000, names, timeout=30)
    return f"(answered in {(time.monotonic() - started) * 1000:.0f} ms, {len(answer)} item)"


case("GetGroupProperties: 10,000 copies of one id, 100,001 names", group_properties)


def layouts():
    answered, slowest = 0, 0.0
    for _ in range(40):  # 20 a second for 2 s
        started = time.monotonic()
        menu.GetLayout(0, -1, [], timeout=30)
        slowest = max(slowest, time.monotonic() - started)
        answered += 1
        time.sleep(max(0.0, 0.05 - (time.monotonic() - started)))
    return f"({answered} of 40 answered, slowest {slowest * 1000:.0f} ms)"


case("GetLayout 20 times a second", layouts, 0.2)


def activate_extreme():
    item_iface = dbus.Interface(item, ITEM)
    item_iface.Activate(dbus.Int32(-2**31), dbus.Int32(-2**31))
    return ""


case("Activate(INT_MIN, INT_MIN)", activate_extreme)
shown = [l for l in open(os.path.join(work, "app.log")).read().splitlines() if "panel shown at" in l]
if not shown:
    fail("the panel did not show")
x, y = (int(v) for v in shown[-1].split("panel shown at ")[1].split()[0].split(","))
if not (0 <= x < 800 and 0 <= y < 600):
    fail(f"the panel at {x},{y}, off the 800x600 screen")
print(f"  the panel at {x},{y}, on the screen", flush=True)


def activate_tokens():
    app = dbus.Interface(bus.get_object("io.github.nimbrook.nimbrook", "/io/github/nimbrook/nimbrook"),
                         "org.freedesktop.Application")
    app.Activate({"activation-token": "x" * 200 * 1024})
    app.Activate({"activation-token": "bogus token\n"})
    # As Plasma hands a click's token to the item, just before Activate.
    item_iface = dbus.Interface(item, ITEM)
    item_iface.ProvideXdgActivationToken("y" * 200 * 1024)
    item_iface.Activate(dbus.Int32(10), dbus.Int32(10))
    return ""


os.unlink(os.path.join(work, "tool-env"))
case("Activate with a 200 KiB and a bogus activation token, a 200 KiB one for the item", activate_tokens, 6)
environment = open(os.path.join(work, "tool-env")).read()
if "XDG_ACTIVATION_TOKEN" in environment or "DESKTOP_STARTUP_ID" in environment:
    fail("an activation token reached the tool's environment")
print("  no token in the tool's environment; the tool still runs", flush=True)


def cpu_seconds():
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def portal_spam():
    before, cpu = app_log().count("colours:"), cpu_seconds()
    sent = os.path.join(work, "portal-sent")
    subprocess.run(["pkill", "-USR1", "-f", "hostile_peer.py portal"], check=True)
    deadline = time.time() + 20
    while not os.path.exists(sent):
        if time.time() > deadline:
            fail("the portal did not finish")
        time.sleep(0.1)
    time.sleep(0.3)
    applied = app_log().count("colours:") - before
    if applied > 5 / 0.1 + 3:
        fail(f"{applied} palette changes applied in 5 s")
    if applied == 0:
        fail("no change applied: the portal was not heard")
    return f"({open(sent).read().strip()}; {applied} applied; {cpu_seconds() - cpu:.2f} s of CPU)"


case("The portal's owner sends ~870 changes a second for 5 s", portal_spam)


def announce_and_impostor():
    # Café Mac has been offline long enough: it comes online and is announced.
    time.sleep(max(0.0, 18 - (time.monotonic() - script_started)))
    text = open(report, encoding="utf-8").read()
    open(report + ".new", "w", encoding="utf-8").write(
        text.replace('"Online": false', '"Online": true'))
    os.rename(report + ".new", report)
    notified = os.path.join(work, "notified.log")
    deadline = time.time() + 12
    while not (os.path.exists(notified) and "Café Mac is online" in open(notified).read()):
        if time.time() > deadline:
            fail("Café Mac was not announced")
        time.sleep(0.1)
    time.sleep(2.5)  # the server clicked it five times; past the 2 s a machine waits
    after_clicks = len(vnc_lines())
    nid = open(notified).read().splitlines()[-1].split('"id": ')[1].split(",")[0]
    subprocess.run(["pkill", "-f", "hostile_peer.py notifier"])
    subprocess.run([sys.executable, os.path.join(here, "hostile_peer.py"), "impostor", nid],
                   env=peer_env, capture_output=True, timeout=30)
    time.sleep(1)
    return f"(opened {after_clicks} then {len(vnc_lines())})"


opened_before = len(vnc_lines())
case("A notification clicked 5 times, then its id sent by a new owner of the name",
     announce_and_impostor)
if len(vnc_lines()) - opened_before != 1:
    fail(f"{len(vnc_lines()) - opened_before} launches for one notification")
print("  one launch for one notification", flush=True)
print("PASS", flush=True)
