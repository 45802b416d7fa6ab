#!/usr/bin/python3
"""Churn for the soak: advertises up to MAX stand-in screen-sharing services
from the peer namespace, adding and withdrawing them at random, some with
hostile names, plus one marker service toggled every PERIOD seconds whose
changes are logged (epoch seconds, "add"/"remove") for latency checks.
usage: soak_peers.py IPV4 LOGFILE [MAX] [PERIOD]"""
import random
import signal
import socket
import sys
import threading
import time

from zeroconf import IPVersion, ServiceInfo, Zeroconf

import screen_sharing_listener

ip, log_path = sys.argv[1], sys.argv[2]
maximum = int(sys.argv[3]) if len(sys.argv) > 3 else 100
period = float(sys.argv[4]) if len(sys.argv) > 4 else 20
port = 5900

stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
signal.signal(signal.SIGINT, lambda *_: stop.set())

screen_sharing_listener.start(ip, port, stop, backlog=64)

HOSTILE = ["<b>Studio</b>", "Robert'); DROP TABLE macs;--", "Zoë’s \u202eMacBook", "日本語のMac",
           "tab\there", "%s%s%n", "A" * 60, "\U0001F34E Studio", "Studio", "STUDIO", "  spaced  out  "]

zc = Zeroconf(interfaces=[ip], ip_version=IPVersion.V4Only)
live = {}


def info(name):
    host = f"soak-{abs(hash(name)) % 100000}"
    return ServiceInfo("_rfb._tcp.local.", f"{name}._rfb._tcp.local.", addresses=[socket.inet_aton(ip)],
                       port=port, properties={}, server=f"{host}.local.")


def add(name):
    if name in live:
        return
    try:
        service = info(name)
        zc.register_service(service, allow_name_change=False)
        live[name] = service
    except Exception as error:  # a name zeroconf itself refuses
        print(f"skipped {name!r}: {error}", file=sys.stderr, flush=True)


def remove(name):
    service = live.pop(name, None)
    if service:
        zc.unregister_service(service)


with open(log_path, "a", buffering=1) as log:
    marker_on = False
    next_marker = time.time() + 5
    counter = 0
    while not stop.is_set():
        now = time.time()
        if now >= next_marker:
            if marker_on:
                remove("Soak Marker")
                log.write(f"{time.time():.3f} remove\n")
            else:
                add("Soak Marker")
                log.write(f"{time.time():.3f} add\n")
            marker_on = not marker_on
            next_marker = now + period
            continue
        if len(live) < maximum and random.random() < 0.6:
            counter += 1
            name = random.choice(HOSTILE) if random.random() < 0.15 else f"Soak Host {counter}"
            if name != "Soak Marker":
                add(name)
        elif live:
            name = random.choice([n for n in live if n != "Soak Marker"] or [None])
            if name:
                remove(name)
        stop.wait(random.uniform(0.2, 1.5))

for name in list(live):
    remove(name)
zc.close()
