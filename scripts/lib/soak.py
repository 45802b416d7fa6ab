#!/usr/bin/python3
"""Runs `nimbrook --watch --json` for MINUTES under churn and prints a summary.

Churn: the stand-in Tailscale tool cycles through normal, hang, garbage, huge
and error modes; up to 100 services (some with hostile names) come and go in
the peer namespace, with a marker service toggled every 20 s; avahi-daemon is
killed and restarted every 2 minutes; a default route flaps every 30 s.
Sampled every second: resident memory, descriptors, threads, zombie children;
the main thread's longest stall comes from the watch's heartbeat.
usage: soak.py BINARY MINUTES ROOT"""
import atexit
import json
import os
import re
import signal
import subprocess
import sys
import shutil
import tempfile
import threading
import time

binary, minutes, root = sys.argv[1], float(sys.argv[2]), sys.argv[3]
duration = minutes * 60
env_dir = os.path.join(root, "tests", "env")
peer_ns = os.environ["NIMBROOK_PEER_NS"]
peer_ip = os.environ["NIMBROOK_PEER_IP"]
root_if = os.environ["NIMBROOK_ROOT_IF"]

work = tempfile.mkdtemp(prefix="nimbrook-soak-")
children = []  # what we started, stopped at exit however we get there


def clean_up():
    for child in children:
        if child.poll() is None:
            child.kill()
            child.wait()
    subprocess.run(["ip", "route", "del", "default", "via", os.environ.get("NIMBROOK_PEER_IP", ""),
                    "metric", "4242"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(work, ignore_errors=True)


atexit.register(clean_up)
home = os.path.join(work, "home")
os.makedirs(os.path.join(home, ".config", "Nimbrook"))
mode_file = os.path.join(work, "mode")
with open(mode_file, "w") as f:
    f.write("normal")
with open(os.path.join(home, ".config", "Nimbrook", "Nimbrook.conf"), "w") as f:
    f.write(f"[General]\nTailscaleCLIPath={env_dir}/soak-tailscale\n")
marker_log = os.path.join(work, "marker.log")

environment = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   NIMBROOK_SOAK_MODE_FILE=mode_file, NIMBROOK_HEARTBEAT="1",
                   FAKE_TAILSCALE_REPORT=os.path.join(root, "tests", "data", "tailscale", "running-3-macs.json"))

peers = subprocess.Popen(["ip", "netns", "exec", peer_ns, "/usr/bin/python3", os.path.join(env_dir, "soak_peers.py"),
                          peer_ip, marker_log, "100", "20"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
app = subprocess.Popen([binary, "--watch", "--json"], env=environment, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, text=True)
children.extend([app, peers])
start = time.time()

# Output: (time, set of names, tailscaleState) for every line.
updates = []
max_gap = [0]


def read_stdout():
    for line in app.stdout:
        try:
            report = json.loads(line)
        except json.JSONDecodeError:
            continue
        updates.append((time.time(), {m["name"] for m in report["macs"]}, report["tailscaleState"]))


# (time, longest stall in the 10 s before it, CPU time in that stall), from the heartbeat's reports.
recent_gaps = []


def read_stderr():
    for line in app.stderr:
        match = re.search(r"heartbeat: max gap (-?\d+) ms", line)
        if match:
            max_gap[0] = max(max_gap[0], int(match.group(1)))
        match = re.search(r"heartbeat: recent max gap (-?\d+) ms \((-?\d+) ms on the CPU\)", line)
        if match:
            recent_gaps.append((time.time() - start, int(match.group(1)), int(match.group(2))))


threading.Thread(target=read_stdout, daemon=True).start()
threading.Thread(target=read_stderr, daemon=True).start()


def sample(pid):
    def count(path):
        try:
            return len(os.listdir(path))
        except OSError:
            return -1
    rss = 0
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    rss = int(line.split()[1])
    except OSError:
        pass
    zombies = 0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            if int(fields[1]) == pid and fields[0] == "Z":
                zombies += 1
        except (OSError, IndexError, ValueError):
            pass
    return {"t": time.time() - start, "rss": rss, "fds": count(f"/proc/{pid}/fd"),
            "threads": count(f"/proc/{pid}/task"), "zombies": zombies}


modes = ["normal", "hang", "normal", "garbage", "normal", "huge", "normal", "exit-error"]
samples = []
next_mode, mode_index = start + 20, 0
next_avahi = start + 120
next_flap, route_on = start + 30, False
events = []
# The last 30 s are quiet: the tool behaves and nothing is restarted, so what
# the process holds at the end can be compared with what it held at 60 s.
settle_from = duration - 30
settled = False
while time.time() - start < duration:
    now = time.time()
    if app.poll() is not None:
        break
    if now - start >= settle_from and not settled:
        settled = True
        with open(mode_file, "w") as f:
            f.write("normal")
        if route_on:
            subprocess.run(["ip", "route", "del", "default", "via", peer_ip, "dev", root_if, "metric", "4242"],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            route_on = False
        events.append((now - start, "settling"))
    if settled:
        samples.append(sample(app.pid))
        time.sleep(max(0.0, 1.0 - (time.time() - now)))
        continue
    if now >= next_mode:
        mode_index = (mode_index + 1) % len(modes)
        with open(mode_file, "w") as f:
            f.write(modes[mode_index])
        events.append((now - start, "tool mode " + modes[mode_index]))
        next_mode = now + 20
    if now >= next_avahi:
        subprocess.run([os.path.join(env_dir, "netenv.sh"), "restart-avahi"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        events.append((now - start, "avahi restarted"))
        next_avahi = now + 120
    if now >= next_flap:
        action = "del" if route_on else "add"
        subprocess.run(["ip", "route", action, "default", "via", peer_ip, "dev", root_if, "metric", "4242"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        route_on = not route_on
        events.append((now - start, "route " + action))
        next_flap = now + 30
    samples.append(sample(app.pid))
    time.sleep(max(0.0, 1.0 - (time.time() - now)))

alive = app.poll() is None
if route_on:
    subprocess.run(["ip", "route", "del", "default", "via", peer_ip, "dev", root_if, "metric", "4242"])
final = sample(app.pid) if alive else None
app.send_signal(signal.SIGTERM)
try:
    status = app.wait(timeout=20)
except subprocess.TimeoutExpired:
    app.kill()
    status = "hung on SIGTERM"
peers.send_signal(signal.SIGTERM)
try:
    peers.wait(timeout=30)
except subprocess.TimeoutExpired:
    peers.kill()
time.sleep(0.5)

# Marker latencies: from each toggle to the first update that reflects it.
latencies = {"add": [], "remove": []}
with open(marker_log) as f:
    toggles = [(float(t), a) for t, a in (line.split() for line in f)]
for when, action in toggles:
    want = action == "add"
    for t, names, _ in updates:
        if t >= when and (("Soak Marker" in names) == want):
            latencies[action].append(t - when)
            break


def at(seconds):
    for s in samples:
        if s["t"] >= seconds:
            return s
    return samples[-1]


baseline = at(60)
later = [s for s in samples if s["t"] >= 60]
rss_growth = (max(s["rss"] for s in later[-20:]) - baseline["rss"]) / 1024 if later else 0
checks = [
    ("alive at the end", alive, "yes" if alive else "no"),
    ("exit status on SIGTERM", status == 0, str(status)),
    ("main thread: longest stall", max_gap[0] <= 100, f"{max_gap[0]} ms (<= 100)"),
    ("resident memory growth after minute 1", rss_growth < 2, f"{rss_growth:+.2f} MB (< 2)"),
    ("descriptors: at 60 s / end", final is not None and final["fds"] <= baseline["fds"],
     f"{baseline['fds']} / {final['fds'] if final else '-'}"),
    ("threads: at 60 s / end", final is not None and final["threads"] <= baseline["threads"],
     f"{baseline['threads']} / {final['threads'] if final else '-'}"),
    ("zombie children at the end", final is not None and final["zombies"] == 0,
     str(final["zombies"] if final else "-")),
    ("marker appears (max of %d)" % len(latencies["add"]),
     bool(latencies["add"]) and max(latencies["add"]) <= 7.0,
     f"{max(latencies['add']):.2f} s (<= 7)" if latencies["add"] else "never"),
    ("marker disappears (max of %d)" % len(latencies["remove"]),
     bool(latencies["remove"]) and max(latencies["remove"]) <= 3.0,
     f"{max(latencies['remove']):.2f} s (<= 3)" if latencies["remove"] else "never"),
]
print(f"soak: {minutes:g} min, {len(updates)} list updates, {len(events)} churn events, "
      f"peak RSS {max(s['rss'] for s in samples) / 1024:.1f} MB, "
      f"peak descriptors {max(s['fds'] for s in samples)}, peak threads {max(s['threads'] for s in samples)}")
for when, gap, cpu in sorted(recent_gaps, key=lambda g: -g[1])[:3]:
    during = [name for t, name in events if when - 10 <= t <= when]
    print(f"stall {gap} ms ({cpu} ms on the CPU) in the 10 s before {when:.0f} s; "
          f"churn then: {', '.join(during) or 'none'}")
print(f"{'check':<42} {'result':<8} value")
ok = True
for name, passed, value in checks:
    ok &= bool(passed)
    print(f"{name:<42} {'pass' if passed else 'FAIL':<8} {value}")
sys.exit(0 if ok else 1)
