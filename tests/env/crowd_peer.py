#!/usr/bin/python3
"""A crowded link: advertises REACHABLE + REFUSED + UNANSWERED `_rfb._tcp`
services at once with python3-zeroconf's asyncio API. The reachable ones
point at listeners on IP (ports 20000 up), the refused ones at closed ports
of IP (ports 40000 up), the unanswered ones at GONE, an address nobody holds.
Prints "ready" once all are registered; withdraws them on SIGTERM.
usage: crowd_peer.py TAG IP GONE REACHABLE REFUSED UNANSWERED
(names: "TAG Reachable N", "TAG Refused N", "TAG Unanswered N")"""
import asyncio
import signal
import socket
import sys

from zeroconf import IPVersion, ServiceInfo
from zeroconf.asyncio import AsyncZeroconf

tag, ip, gone = sys.argv[1], sys.argv[2], sys.argv[3]
reachable, refused, unanswered = (int(n) for n in sys.argv[4:7])


def service(name, address, port, host):
    return ServiceInfo("_rfb._tcp.local.", f"{name}._rfb._tcp.local.",
                       addresses=[socket.inet_aton(address)], port=port, properties={},
                       server=f"{host}.local.")


async def main():
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    loop.add_signal_handler(signal.SIGTERM, stop.set)
    loop.add_signal_handler(signal.SIGINT, stop.set)

    async def accept(reader, writer):
        writer.close()

    servers = [await asyncio.start_server(accept, ip, 20000 + i) for i in range(reachable)]
    up, down = f"{tag}-up".lower(), f"{tag}-gone".lower()
    infos = ([service(f"{tag} Reachable {i}", ip, 20000 + i, up) for i in range(reachable)] +
             [service(f"{tag} Refused {i}", ip, 40000 + i, up) for i in range(refused)] +
             [service(f"{tag} Unanswered {i}", gone, 5900, down) for i in range(unanswered)])
    zc = AsyncZeroconf(interfaces=[ip], ip_version=IPVersion.V4Only)
    # Registered in batches: each one probes its name for a quarter second.
    for start in range(0, len(infos), 250):
        tasks = [await zc.async_register_service(info, cooperating_responders=True)
                 for info in infos[start:start + 250]]
        await asyncio.gather(*tasks)
    print("ready", flush=True)
    await stop.wait()
    await zc.async_unregister_all_services()
    await zc.async_close()
    for server in servers:
        server.close()


asyncio.run(main())
