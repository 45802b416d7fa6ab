#!/usr/bin/python3
"""Prints what a screen reader sees of Nimbrook's panel over AT-SPI: one line
per push button ("button NAME | DESCRIPTION") and per editable text
("text CONTENT"). The panel is a popup, which AT-SPI lists under no
application: like a screen reader, this finds it through the focus. It moves
the focus down and back up (with xdotool) and walks the window of the
object that took it.
usage: a11y_tree.py      (needs python3-pyatspi, xdotool and a running AT-SPI bus)"""
import subprocess
import sys

import pyatspi
from gi.repository import GLib

focused = []


def on_focus(event):
    if event.detail1 == 1 and event.source is not None:
        focused.append(event.source)


def walk(node, depth=0):
    if node is None or depth > 40:
        return
    # Rows kept for later use are hidden: a screen reader does not see them.
    if not node.getState().contains(pyatspi.STATE_SHOWING):
        return
    role = node.getRoleName()
    if role == "push button":
        print(f"button {node.name} | {node.description}")
    elif role in ("text", "entry"):
        try:
            text = node.queryText().getText(0, -1)
        except NotImplementedError:
            text = ""
        editable = node.getState().contains(pyatspi.STATE_EDITABLE)
        print(f"text {text}" + ("" if editable else " [read-only]"))
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), depth + 1)


attempts = [0]


def move_focus():
    # Until the focus is seen to move, or five tries have gone by.
    if focused or attempts[0] == 5:
        GLib.timeout_add(500, stop)
        return False
    attempts[0] += 1
    subprocess.run(["xdotool", "key", "Down", "Up"], check=False)
    return True


def stop():
    pyatspi.Registry.stop()
    return False


pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
GLib.timeout_add(700, move_focus)
pyatspi.Registry.start()

if not focused:
    print("nothing took the focus", file=sys.stderr)
    sys.exit(1)
top = focused[-1]
while top.parent is not None and top.parent.getRoleName() != "application":
    top = top.parent
walk(top)
