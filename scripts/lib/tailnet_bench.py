#!/usr/bin/python3
"""What watching Tailscale costs, against the real CLI: the CPU time a minute
of `nimbrook --watch` takes itself and takes in the tool runs it starts, with
the real `tailscale` of the test tailnet (tests/tailnet/) and with the
stand-in tool printing the same report, one after the other in one run; and
the real CLI's own cost per call. As root (the tailnet needs a namespace).
usage: tailnet_bench.py BINARY ROOT [SECONDS]"""
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

binary, root = sys.argv[1], sys.argv[2]
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60
tailnet = os.path.join(root, "tests/tailnet/tailnet.sh")
state = os.environ.get("NIMBROOK_TAILNET_DIR", "/tmp/nimbrook-tailnet")
tick = os.sysconf("SC_CLK_TCK")
work = tempfile.mkdtemp(prefix="nimbrook-tailnet-bench-")


def cpu(pid):
    """(own, children's) CPU seconds of a live process, from /proc."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    utime, stime, cutime, cstime = (int(v) for v in fields[11:15])
    return (utime + stime) / tick, (cutime + cstime) / tick


def watch_minute(tool, extra_env=None):
    config = os.path.join(work, os.path.basename(tool))
    os.makedirs(os.path.join(config, "Nimbrook"), exist_ok=True)
    with open(os.path.join(config, "Nimbrook", "Nimbrook.conf"), "w") as f:
        f.write(f"[General]\nTailscaleCLIPath={tool}\n")
    env = dict(os.environ, XDG_CONFIG_HOME=config, **(extra_env or {}))
    process = subprocess.Popen([binary, "--watch", "--json"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, env=env)
    time.sleep(seconds)
    own, runs = cpu(process.pid)
    process.terminate()
    process.wait(10)
    per_minute = 60 / seconds
    return own * per_minute, runs * per_minute


def cli_call_cost(tool, calls=20):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    started = time.monotonic()
    for _ in range(calls):
        subprocess.run([tool, "status", "--json"], stdout=subprocess.DEVNULL, check=True)
    wall = (time.monotonic() - started) / calls
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu_time = (after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime) / calls
    return wall, cpu_time


built = subprocess.run([os.path.join(root, "tests/tailnet/build.sh")], check=True,
                       capture_output=True, text=True).stdout.strip()
subprocess.run([tailnet, "up", built], check=True)
try:
    real = os.path.join(state, "tailscale")
    report = os.path.join(work, "report.json")
    with open(report, "w") as f:
        f.write(subprocess.run([real, "status", "--json"], check=True, capture_output=True,
                               text=True).stdout)
    peers = len(json.load(open(report))["Peer"])
    report_kb = os.path.getsize(report) / 1000
    stand_in = os.path.join(root, "tests/data/fake-tailscale")
    rows = [("real tailscale", *watch_minute(real), *cli_call_cost(real)),
            ("stand-in, same report", *watch_minute(stand_in, {"FAKE_TAILSCALE_REPORT": report}),
             *cli_call_cost(stand_in))]
finally:
    subprocess.run([tailnet, "down"])
    subprocess.run(["rm", "-rf", work])

print(f"Watching Tailscale ({peers} peers, {report_kb:.1f} KB report), "
      f"CPU seconds a minute over {seconds:.0f} s:")
print(f"{'tool':<24} {'nimbrook':>9} {'tool runs':>10} {'one call':>9} {'its CPU':>8}")
for name, own, runs, wall, call_cpu in rows:
    print(f"{name:<24} {own:>7.3f} s {runs:>8.3f} s {wall * 1000:>6.1f} ms {call_cpu * 1000:>5.1f} ms")
