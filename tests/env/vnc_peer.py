#!/usr/bin/python3
"""A stand-in screen-sharing host: listens on IP:PORT and advertises the
service over mDNS with python3-zeroconf until SECONDS pass or SIGTERM.
usage: vnc_peer.py NAME IPV4 [PORT] [SECONDS] [--no-listen]"""
import signal
import socket
import sys
import threading
import time

from zeroconf import IPVersion, ServiceInfo, Zeroconf

import screen_sharing_listener

args = [a for a in sys.argv[1:] if not a.startswith("--")]
name, ip = args[0], args[1]
port = int(args[2]) if len(args) > 2 else 5900
seconds = float(args[3]) if len(args) > 3 else 600
listen = "--no-listen" not in sys.argv

stop = threading.Event()
signal.signal(signal.SIGTERM, lambda *_: stop.set())
signal.signal(signal.SIGINT, lambda *_: stop.set())

if listen:
    screen_sharing_listener.start(ip, port, stop)

host = "".join(c if c.isalnum() else "-" for c in name).strip("-").lower() or "peer"
zc = Zeroconf(interfaces=[ip], ip_version=IPVersion.V4Only)
info = ServiceInfo("_rfb._tcp.local.", f"{name}._rfb._tcp.local.",
                   addresses=[socket.inet_aton(ip)], port=port, properties={},
                   server=f"{host}-{port}.local.")
zc.register_service(info)
print(f"advertising {name!r} on {ip}:{port}", flush=True)
deadline = time.monotonic() + seconds
while not stop.is_set() and time.monotonic() < deadline:
    stop.wait(0.2)
zc.unregister_service(info)  # goodbye packets: browsers see it leave at once
zc.close()
