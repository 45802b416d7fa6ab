#!/usr/bin/python3
"""What a large Tailscale report costs `nimbrook --list`: wall time and peak
resident memory, beside an empty report's in the same run (the floor: the
local network's settling time, the process's own size).

Reports: empty; a realistic tailnet of 100,000 peers (40 % Macs) from
tests/data/make_tailscale_status.py; and a flood of about two million minimal
Mac peers in just under the runner's 192 MiB limit.
usage: report_bench.py BINARY ROOT"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

binary, root = sys.argv[1], sys.argv[2]
work = tempfile.mkdtemp(prefix="nimbrook-report-bench-")


def write_flood(path, peers):
    # Written as it is made: this process stays small, and so does the peak
    # memory its children are charged with from the fork.
    with open(path, "w") as f:
        f.write('{"BackendState":"Running","Peer":{')
        for i in range(peers):
            f.write(f'{"," if i else ""}"{i:06x}":{{"DNSName":"m{i}.t.","OS":"macOS",'
                    f'"TailscaleIPs":["100.64.{i >> 8 & 255}.{i & 255}"],"Online":true}}')
        f.write("}}")


reports = {"empty": os.path.join(work, "empty.json"),
           "100,000 peers": os.path.join(work, "tailnet.json"),
           "2,073,917 minimal Macs": os.path.join(work, "flood.json")}
with open(reports["empty"], "w") as f:
    f.write('{"BackendState":"Running","Peer":{}}')
with open(reports["100,000 peers"], "w") as f:
    subprocess.run([sys.executable, os.path.join(root, "tests/data/make_tailscale_status.py"),
                    "--peers", "100000", "--seed", "1"], stdout=f, check=True)
write_flood(reports["2,073,917 minimal Macs"], 2073917)


def measure(report):
    config = os.path.join(work, "config-" + os.path.basename(report))
    os.makedirs(os.path.join(config, "Nimbrook"), exist_ok=True)
    tool = os.path.join(config, "tailscale")
    with open(tool, "w") as f:
        f.write(f"#!/bin/sh\nexec cat '{report}'\n")
    os.chmod(tool, 0o755)
    with open(os.path.join(config, "Nimbrook", "Nimbrook.conf"), "w") as f:
        f.write(f"[General]\nTailscaleCLIPath={tool}\n")
    started = time.monotonic()
    # Long enough for the flood to be read: its figure is memory, not time.
    process = subprocess.Popen([binary, "--list", "--wait", "60"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL,
                               env=dict(os.environ, XDG_CONFIG_HOME=config))
    lines = process.stdout.read().count(b"\n")
    _, status, usage = os.wait4(process.pid, 0)
    return time.monotonic() - started, usage.ru_maxrss / 1024, lines, status


rows = {}
for label, report in reports.items():
    runs = [measure(report) for _ in range(3)]
    rows[label] = (statistics.median(r[0] for r in runs), max(r[1] for r in runs), runs[0][2],
                   any(r[3] != 0 for r in runs))

empty_time = rows["empty"][0]
targets = {"100,000 peers": (empty_time + 0.5, 300), "2,073,917 minimal Macs": (None, 1024)}
failures = 0
print(f"{'report':<24} {'MB':>6} {'--list':>8} {'peak RSS':>10} {'lines':>7}  target")
for label, (seconds, rss, lines, failed) in rows.items():
    size = os.path.getsize(reports[label]) / 1e6
    limit_time, limit_rss = targets.get(label, (None, None))
    note = []
    if limit_time is not None:
        note.append(f"≤ {limit_time:.2f} s")
    if limit_rss is not None:
        note.append(f"< {limit_rss} MB")
    missed = failed or (limit_time is not None and seconds > limit_time) or \
        (limit_rss is not None and rss >= limit_rss)
    failures += missed
    print(f"{label:<24} {size:>6.1f} {seconds:>6.2f} s {rss:>7.1f} MB {lines:>7}  "
          f"{', '.join(note)}{'  MISSED' if missed else ''}")
subprocess.run(["rm", "-rf", work])
sys.exit(1 if failures else 0)
