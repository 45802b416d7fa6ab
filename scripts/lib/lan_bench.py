#!/usr/bin/python3
"""Local-network latency, measured against the real test network.

For each kind of peer (IPv4-only with python3-zeroconf; dual-stack and
IPv6-only, each with a stock avahi-daemon of its own) a fresh service is
announced ROUNDS times; the time from the announcement to the machine in
`nimbrook --watch --json` is printed beside the time `avahi-browse -rp`,
running in the same run, took to resolve the same service. Then the host's
avahi-daemon is restarted ROUNDS times and the time from its answering again
to every stock peer being listed again is printed.
usage: lan_bench.py BINARY ROOT [ROUNDS]   (as root, with the test network up)"""
import json
import os
import queue
import statistics
import subprocess
import sys
import tempfile
import threading
import time

binary, root = sys.argv[1], sys.argv[2]
rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
env_dir = os.path.join(root, "tests", "env")
state = os.environ.get("NIMBROOK_NETENV_DIR", "/tmp/nimbrook-netenv")
peer_ns, peer_ip = os.environ["NIMBROOK_PEER_NS"], os.environ["NIMBROOK_PEER_IP"]
stock = {"dual-stack": "nimbrook-dual", "IPv6-only": "nimbrook-v6"}
stock_names = [os.environ["NIMBROOK_DUAL_PEER"], os.environ["NIMBROOK_V6_PEER"]]


class Lines:
    """Reads a process's lines on a thread, each with the time it arrived."""

    def __init__(self, command, **kwargs):
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, text=True, **kwargs)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put((time.monotonic(), line))

    def wait(self, accept, limit=15):
        """The arrival time of the first line `accept`s, or None after `limit` s."""
        deadline = time.monotonic() + limit
        while True:
            try:
                when, line = self.lines.get(timeout=max(0.01, deadline - time.monotonic()))
            except queue.Empty:
                return None
            if accept(line):
                return when

    def drain(self):
        while not self.lines.empty():
            self.lines.get_nowait()

    def stop(self):
        self.process.terminate()
        self.process.wait(5)


def listed(line):
    try:
        return {mac["name"] for mac in json.loads(line)["macs"]}
    except (ValueError, KeyError):
        return set()


def resolved_by_browse(name):
    escaped = "".join(c if c.isalnum() or c in "-_" else "\\%03d" % ord(c) for c in name)
    return lambda line: line.startswith("=;") and f";{escaped};" in line


def publisher(kind, name, port):
    if kind == "IPv4-only":
        return subprocess.Popen(["ip", "netns", "exec", peer_ns, "/usr/bin/python3",
                                 os.path.join(env_dir, "vnc_peer.py"), name, peer_ip, str(port), "60"],
                                stdout=subprocess.DEVNULL)
    with open(os.path.join(state, stock[kind], "publish.pid")) as f:
        holder = f.read().strip()
    # The peer's own bus, in its mount namespace; not the test network's.
    peer_env = {k: v for k, v in os.environ.items() if k != "DBUS_SYSTEM_BUS_ADDRESS"}
    return subprocess.Popen(["nsenter", "-t", holder, "-m", "-n", "avahi-publish", "-s", name,
                             "_rfb._tcp", "5900"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            env=peer_env)


def avahi_answers():
    """Whether the daemon answers on the bus at all (clients browse already while
    it is still registering its own host name)."""
    # Asked of the bus, not of Avahi: a call to a name nobody owns would try
    # to activate the daemon and take seconds to fail.
    return "boolean true" in subprocess.run(
        ["dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.DBus", "/",
         "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.Avahi"],
        capture_output=True, text=True).stdout


work = tempfile.mkdtemp(prefix="nimbrook-lan-bench-")
watch = Lines([binary, "--watch", "--json"], env=dict(os.environ, XDG_CONFIG_HOME=work),
              stderr=subprocess.DEVNULL)
browse = Lines(["avahi-browse", "-rp", "_rfb._tcp"], stderr=subprocess.DEVNULL)
time.sleep(3)
rows, failures = [], 0
try:
    for kind in ["IPv4-only", "dual-stack", "IPv6-only"]:
        ours, theirs = [], []
        for n in range(rounds):
            name = f"Bench {kind} {n}"
            watch.drain()
            browse.drain()
            start = time.monotonic()
            peer = publisher(kind, name, 5930 + n)
            seen = watch.wait(lambda line: name in listed(line))
            got = browse.wait(resolved_by_browse(name))
            peer.terminate()
            peer.wait(5)
            watch.wait(lambda line: name not in listed(line), 8)
            if seen is None or got is None:
                failures += 1
                print(f"{kind} round {n}: nimbrook {'missed' if seen is None else 'saw'} it, "
                      f"avahi-browse {'missed' if got is None else 'resolved'} it", file=sys.stderr)
                continue
            ours.append((seen - start) * 1000)
            theirs.append((got - start) * 1000)
        if ours:
            rows.append((kind, statistics.median(ours), max(ours), statistics.median(theirs)))

    back = []
    browse.stop()
    for n in range(rounds):
        watch.drain()
        restart = subprocess.Popen([os.path.join(env_dir, "netenv.sh"), "restart-avahi"],
                                   stdout=subprocess.DEVNULL)
        # Gone from the bus (its process may linger as a zombie for a while).
        while avahi_answers():
            time.sleep(0.01)
        answering = []

        def poll_daemon():
            while not avahi_answers():
                time.sleep(0.02)
            answering.append(time.monotonic())

        poller = threading.Thread(target=poll_daemon)
        poller.start()
        dropped = watch.wait(lambda line: not set(stock_names) & listed(line), 5)
        returned = watch.wait(lambda line: set(stock_names) <= listed(line))
        poller.join()
        if dropped is None:
            print(f"restart {n}: the stock peers were never dropped", file=sys.stderr)
        restart.wait(30)
        if returned is None:
            failures += 1
            print(f"restart {n}: the stock peers did not come back", file=sys.stderr)
        else:
            back.append(max(0.0, (returned - answering[0]) * 1000))
        time.sleep(1)
finally:
    watch.stop()
    if browse.process.poll() is None:
        browse.stop()

print(f"{'local network, announcement to listed':40} {'nimbrook':>10} {'worst':>8} "
      f"{'avahi-browse':>13} {'ratio':>6}  target")
status = 1 if failures else 0
for kind, median, worst, floor in rows:
    ratio = median / floor if floor else float("inf")
    ok = ratio <= 1.3
    status |= 0 if ok else 1
    print(f"{kind + ' peer (median of ' + str(rounds) + ')':40} {median:8.0f} ms {worst:5.0f} ms "
          f"{floor:10.0f} ms {ratio:6.2f}  <= 1.3x {'ok' if ok else 'MISSED'}")
if back:
    ok = max(back) <= 1000
    status |= 0 if ok else 1
    print(f"{'back after an avahi-daemon restart':40} {statistics.median(back):8.0f} ms "
          f"{max(back):5.0f} ms {'':>13} {'':>6}  <= 1000 ms {'ok' if ok else 'MISSED'}")
sys.exit(status)
