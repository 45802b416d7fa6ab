#!/usr/bin/python3
"""Two Nimbrook trays (one per session bus, one home) and an editor racing them
over one Nimbrook.conf; then the choices that cannot be saved.

usage: settings_race.py CONF BUS_A BUS_B NOTIFIED_LOG ROUNDS

Each round pins or unpins Café Mac in tray A and turns "Notify When Online"
for Guest's MacBook Pro on or off in tray B, both through the icon's menu as a
host clicks it, while a third writer saves the file 0-30 ms later with a
comment line of its own. In the first half of the rounds that writer takes the
lock file as QSettings does: every round must end with both choices and every
comment in the file. In the second half it is an editor that takes no lock:
every comment must still be there (an editor that read the file before a
choice was saved and saves after it writes the choice away; no program can
keep that from happening). Throughout, each tray must answer a menu call
within 100 ms.
Prints what it measured; exits 1 on the first failure."""
import fcntl
import os
import random
import socket
import sys
import time

import dbus

from tray_item import fail, open_menu, tray_item

conf, bus_a, bus_b, notified_log, rounds = sys.argv[1:6]
rounds = int(rounds)
worst_answer = 0.0


def menu_of(address):
    menu = tray_item(dbus.bus.BusConnection(address))[3]
    open_menu(menu)
    return menu


def entry(menu, submenu, name):
    """The id of `name`'s entry in the submenu labelled `submenu`."""
    deadline = time.time() + 15
    while time.time() < deadline:
        _, (_, _, children) = menu.GetLayout(0, -1, [])
        for _, props, grandchildren in children:
            if str(props.get("label", "")).replace("_", "") != submenu:
                continue
            for child_id, child_props, _ in grandchildren:
                if str(child_props.get("label", "")).replace("_", "").startswith(name):
                    return int(child_id)
        time.sleep(0.2)
    fail(f"no entry for {name} under {submenu}")


def answer_time(*menus):
    """How long each tray takes to answer a trivial call; the worst is kept."""
    global worst_answer
    for menu in menus:
        started = time.monotonic()
        menu.GetLayout(0, 0, [])
        worst_answer = max(worst_answer, time.monotonic() - started)


def click(menu, entry_id):
    menu.Event(entry_id, "clicked", dbus.String("", variant_level=1), dbus.UInt32(0))


def listed(key):
    """The names under `key` in [General], as written (one line each)."""
    with open(conf, encoding="utf-8") as f:
        for line in f:
            if line.startswith(key + "="):
                return [name.strip() for name in line.split("=", 1)[1].split(",")]
    return []


def editor_save(line):
    """Saves the file as an editor does: read, add a line, write beside, rename."""
    with open(conf, encoding="utf-8") as f:
        text = f.read()
    with open(conf + ".editor", "w", encoding="utf-8") as f:
        f.write(text + line + "\n")
    os.rename(conf + ".editor", conf)


def locked_save(line):
    """Saves the file as a program using QSettings does: under its lock file."""
    lock_path = conf + ".lock"
    deadline = time.time() + 5
    while True:
        try:
            fd = os.open(lock_path, os.O_CREAT | os.O_EXCL | os.O_WRONLY, 0o644)
            break
        except FileExistsError:
            if time.time() > deadline:
                fail("the lock file was never free")
            time.sleep(0.002)
    with os.fdopen(fd, "w") as lock:
        lock.write(f"{os.getpid()}\npython3\n{socket.gethostname()}\n")
        lock.flush()
        fcntl.flock(lock, fcntl.LOCK_EX)
        editor_save(line)
        os.unlink(lock_path)


def wait_until(what, check, seconds=5):
    deadline = time.time() + seconds
    while not check():
        if time.time() > deadline:
            fail(f"{what}; the file:\n" + open(conf, encoding="utf-8").read())
        answer_time(menu_a, menu_b)
        time.sleep(0.02)


menu_a, menu_b = menu_of(bus_a), menu_of(bus_b)
pin_cafe = entry(menu_a, "Pin to Top", "Café Mac")
notify_guest = entry(menu_b, "Notify When Online", "Guest")

# The race.
random.seed(7)
comments = []
started = time.time()
def comments_kept():
    return all(c in open(conf, encoding="utf-8").read().splitlines() for c in comments)


for n in range(rounds):
    locking = n < rounds // 2
    pinned, notified = n % 2 == 0, n % 2 == 0
    click(menu_a, pin_cafe)
    click(menu_b, notify_guest)
    time.sleep(random.uniform(0, 0.03))
    comments.append(f"; edit {n}")
    (locked_save if locking else editor_save)(comments[-1])
    if locking:
        wait_until(f"round {n}: a choice or an edit lost",
                   lambda: ("caf-mac" in listed("PinnedMachines")) == pinned
                   and ("guests-macbook-pro" in listed("NotifyWhenOnline")) == notified
                   and comments_kept())
    else:
        time.sleep(0.2)  # both trays have saved by now
        wait_until(f"round {n}: an edit lost", comments_kept, 1)
print(f"{rounds // 2} rounds beside a locking writer: no choice and no edit lost; "
      f"{rounds - rounds // 2} beside an editor: no edit lost; {time.time() - started:.1f} s; "
      f"slowest answer {worst_answer * 1000:.0f} ms", flush=True)
if worst_answer > 0.1:
    fail(f"a tray took {worst_answer * 1000:.0f} ms to answer")


def said(text, seconds=5):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if os.path.exists(notified_log) and text in open(notified_log, encoding="utf-8").read():
            return
        answer_time(menu_a)
        time.sleep(0.05)
    fail(f"not said: {text}")


# Café Mac unpinned, whatever the editor left.
if "caf-mac" in listed("PinnedMachines"):
    click(menu_a, pin_cafe)
    wait_until("Café Mac not unpinned", lambda: "caf-mac" not in listed("PinnedMachines"))
time.sleep(0.5)

# A file the user made read-only: the pin is refused, said, and not kept.
before = open(conf, encoding="utf-8").read()
os.chmod(conf, 0o444)
click(menu_a, pin_cafe)
said("Couldn’t save the pin: Nimbrook.conf is read-only")
if open(conf, encoding="utf-8").read() != before:
    fail("a read-only file was written")
os.chmod(conf, 0o644)
with open(conf, "a", encoding="utf-8") as f:
    f.write("PinnedMachines=guests-macbook-pro\n")
time.sleep(11)  # two ticks: nothing of the refused pin comes back
if listed("PinnedMachines") != ["guests-macbook-pro"]:
    fail("the refused pin was written later over the user's edit")
print("read-only: refused and said; the user's later edit kept over two ticks", flush=True)

# Another program holds the lock (as QSettings takes it) for 3 s.
lock_path = conf + ".lock"
with open(lock_path, "w") as lock:
    lock.write(f"{os.getpid()}\npython3\n{socket.gethostname()}\n")
    lock.flush()
    fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    held = time.monotonic()
    click(menu_a, pin_cafe)
    said("Couldn’t save the pin: Nimbrook.conf is in use by another program")
    while time.monotonic() - held < 3:
        answer_time(menu_a)
        time.sleep(0.05)
os.unlink(lock_path)
if listed("PinnedMachines") != ["guests-macbook-pro"]:
    fail("written under another program's lock")
print(f"lock held 3 s: refused and said; slowest answer {worst_answer * 1000:.0f} ms", flush=True)
if worst_answer > 0.1:
    fail(f"a tray took {worst_answer * 1000:.0f} ms to answer")
print("PASS", flush=True)
