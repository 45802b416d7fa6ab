#!/usr/bin/python3
"""What a crowded link costs, measured against the real test network.

A stand-in responder in the peer namespace advertises, all at once, services
that answer, services on a closed port and services at an address nobody
holds (tests/env/crowd_peer.py). With them present, `nimbrook --watch --json`
starts; printed per scenario: the time until every answering service is
listed, the peak number of open descriptors, the CPU time per minute once
the crowd has been seen (STEADY_FROM to the end of the run), the peak
resident memory, and whether the Tailscale machines are still listed.
The quiet link (answering services only) is the floor of the same run.
usage: crowd_bench.py BINARY ROOT   (as root, with the test network up)"""
import json
import os
import select
import subprocess
import sys
import tempfile
import threading
import time

binary, root = sys.argv[1], sys.argv[2]
env_dir = os.path.join(root, "tests", "env")
peer_ns, peer_ip = os.environ["NIMBROOK_PEER_NS"], os.environ["NIMBROOK_PEER_IP"]
gone_ip = peer_ip.rsplit(".", 1)[0] + ".99"  # on the link, held by nobody
ticks = os.sysconf("SC_CLK_TCK")
STEADY_FROM = 30

# (tag, answering, refused, unanswered, seconds to run, targets)
SCENARIOS = [
    ("Quiet", 200, 0, 0, 40, {}),
    ("Crowd", 200, 400, 400, 90, {"listed_s": 3, "fds": 128, "cpu_per_min_s": 1}),
    ("Throng", 400, 800, 800, 45, {"fds": 128}),
]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks


def peak_rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return 0.0


def run(tag, answering, refused, unanswered, seconds):
    peer = subprocess.Popen(["ip", "netns", "exec", peer_ns, "/usr/bin/python3",
                             os.path.join(env_dir, "crowd_peer.py"), tag, peer_ip, gone_ip,
                             str(answering), str(refused), str(unanswered)],
                            stdout=subprocess.PIPE, text=True)
    if not select.select([peer.stdout], [], [], 60)[0] or peer.stdout.readline().strip() != "ready":
        peer.kill()
        raise SystemExit(f"{tag}: the crowd did not come up")
    time.sleep(2)  # the host's daemon has taken in the announcements
    config = tempfile.mkdtemp(prefix="nimbrook-crowd-")
    os.makedirs(os.path.join(config, "Nimbrook"))
    with open(os.path.join(config, "Nimbrook", "Nimbrook.conf"), "w") as f:
        f.write(f"[General]\nTailscaleCLIPath={root}/tests/data/fake-tailscale\n")
    started = time.monotonic()
    app = subprocess.Popen([binary, "--watch", "--json"], stdout=subprocess.PIPE, text=True,
                           stderr=subprocess.DEVNULL, env=dict(os.environ, XDG_CONFIG_HOME=config))
    result = {"listed_s": None, "fds": 0, "tailscale": False}
    wanted = {f"{tag} Reachable {i}" for i in range(answering)}
    done = threading.Event()

    def sample():
        while not done.is_set():
            try:
                result["fds"] = max(result["fds"], len(os.listdir(f"/proc/{app.pid}/fd")))
            except OSError:
                pass
            done.wait(0.01)

    def read():
        for line in app.stdout:
            try:
                macs = json.loads(line)["macs"]
            except (ValueError, KeyError):
                continue
            names = {mac["name"] for mac in macs}
            result["tailscale"] = any(mac.get("source") == "Tailscale" for mac in macs)
            if result["listed_s"] is None and wanted <= names:
                result["listed_s"] = time.monotonic() - started

    threading.Thread(target=sample, daemon=True).start()
    threading.Thread(target=read, daemon=True).start()
    try:
        time.sleep(STEADY_FROM)
        steady_start = cpu_seconds(app.pid)
        time.sleep(seconds - STEADY_FROM)
        result["cpu_per_min_s"] = (cpu_seconds(app.pid) - steady_start) * 60 / (seconds - STEADY_FROM)
        result["rss_mb"] = peak_rss_mb(app.pid)
    finally:
        done.set()
        app.terminate()
        app.wait(10)
        peer.terminate()
        peer.wait(30)
    time.sleep(3)  # goodbyes heard: the next crowd starts on an empty cache
    return result


failures = 0
print(f"{'link':<28} {'all listed':>10} {'peak fds':>9} {'CPU s/min':>10} {'peak RSS':>9}  Tailscale")
for tag, answering, refused, unanswered, seconds, targets in SCENARIOS:
    r = run(tag, answering, refused, unanswered, seconds)
    label = f"{answering}+{refused} refused+{unanswered} silent" if refused else f"{answering} quiet"
    listed = f"{r['listed_s']:.2f} s" if r["listed_s"] is not None else "never"
    print(f"{label:<28} {listed:>10} {r['fds']:>9} {r['cpu_per_min_s']:>10.2f} "
          f"{r['rss_mb']:>6.1f} MB  {'listed' if r['tailscale'] else 'MISSING'}")
    misses = [key for key, limit in targets.items() if r[key] is None or r[key] >= limit]
    if not r["tailscale"] or r["listed_s"] is None:
        misses.append("listing")
    if misses:
        failures += 1
        print(f"  above target: {', '.join(misses)} (targets: {targets})")
sys.exit(1 if failures else 0)
