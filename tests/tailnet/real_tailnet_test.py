"""Nimbrook against a real tailnet (tailnet.sh): `nimbrook --watch --json`
follows what the real CLI reports as nodes stop and start, the daemon is
taken down, logged out, killed and frozen, and a node is added anew under a
name already taken. Each change must show within a bound and go back after.
Writes the measured times to ARTIFACTS_DIR/tailnet-results.txt.

usage: real_tailnet_test.py NIMBROOK_BINARY ARTIFACTS_DIR
       (exit 77 without NIMBROOK_TAILNET_BIN, the programs build.sh made)
"""
import json
import os
import queue
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TAILNET = os.path.join(HERE, "tailnet.sh")
STATE = os.environ.get("NIMBROOK_TAILNET_DIR", "/tmp/nimbrook-tailnet")
POLL = 5.0  # how often Nimbrook runs the CLI


def tailnet(*args, check=True):
    done = subprocess.run([TAILNET, *args], capture_output=True, text=True)
    if check and done.returncode != 0:
        fail(f"tailnet.sh {' '.join(args)}: {done.stderr.strip()}")
    return done.stdout


def fail(message):
    print("FAIL:", message, flush=True)
    sys.exit(1)


class Watch:
    """`nimbrook --watch --json`, each printed state kept with its arrival time."""

    def __init__(self, binary, config_home):
        env = dict(os.environ, XDG_CONFIG_HOME=config_home, QT_QPA_PLATFORM="offscreen")
        self.process = subprocess.Popen([binary, "--watch", "--json"], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True, env=env)
        self.states = queue.Queue()
        self.last = None
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.states.put((time.monotonic(), json.loads(line)))

    def wait(self, predicate, seconds, what):
        """Seconds from now until a state satisfies predicate (the last one
        printed counts too); fails after `seconds`."""
        started = time.monotonic()
        if self.last is not None and predicate(self.last):
            return 0.0
        while True:
            remaining = started + seconds - time.monotonic()
            try:
                when, state = self.states.get(timeout=max(remaining, 0))
            except queue.Empty:
                fail(f"{what}: not within {seconds} s; last: {json.dumps(self.last, ensure_ascii=False)}")
            self.last = state
            if predicate(state):
                return when - started

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def tailscale_macs(state):
    return {(m["name"], m["address"], m["online"]) for m in state["macs"] if m["source"] == "Tailscale"}


def reported_macs():
    """The Macs among the watched node's peers, as the real CLI reports them."""
    report = json.loads(tailnet("cli", "nimbrook-desk", "status", "--json"))
    return {(peer["HostName"], peer["TailscaleIPs"][0], peer["Online"])
            for peer in report["Peer"].values() if peer["OS"] == "macOS"}


def online(name, is_online=True):
    return lambda state: any(m["name"] == name and m["online"] == is_online
                             for m in state["macs"] if m["source"] == "Tailscale")


def tailscale_state(expected):
    return lambda state: state["tailscaleState"] == expected


def listed_again(state):
    return tailscale_state("ok")(state) and online("Studio")(state)


def main():
    binary, artifacts = sys.argv[1], sys.argv[2]
    built = os.environ.get("NIMBROOK_TAILNET_BIN")
    if not built:
        print("skipping: no test tailnet built (scripts/test builds it as root)")
        sys.exit(77)
    os.makedirs(artifacts, exist_ok=True)
    started = time.monotonic()
    tailnet("up", built)
    results = [f"tailnet up (control and 4 nodes): {time.monotonic() - started:.1f} s"]
    watch = None
    try:
        with tempfile.TemporaryDirectory() as config_home:
            os.makedirs(os.path.join(config_home, "Nimbrook"))
            with open(os.path.join(config_home, "Nimbrook", "Nimbrook.conf"), "w") as conf:
                conf.write(f"[General]\nTailscaleCLIPath={STATE}/tailscale\n")
            os.chmod(config_home, 0o755)
            watch = Watch(binary, config_home)
            run(watch, results)
    finally:
        if watch:
            watch.stop()
        tailnet("down", check=False)
    with open(os.path.join(artifacts, "tailnet-results.txt"), "w") as out:
        out.write("\n".join(results) + "\n")
    print("\n".join(results))
    print("PASS")


def run(watch, results):
    def measured(what, seconds):
        results.append(f"{what}: {seconds:.1f} s")

    # The list is the tailnet's Macs, by the names and addresses the CLI
    # reports; the Linux node is left out.
    expected = reported_macs()
    if {name for name, _, _ in expected} != {"Studio", "Kim's MacBook Air"}:
        fail(f"the tailnet is not as made: {expected}")
    measured("listed at start", watch.wait(lambda s: tailscale_macs(s) == expected, 15,
                                           f"the list is not the tailnet's {expected}"))
    if any(m["name"] == "build-box" for m in watch.last["macs"]):
        fail("the Linux node is listed among the Macs")

    # A peer's daemon stopped, then started.
    tailnet("stop", "Studio")
    measured("a peer's daemon stopped → offline", watch.wait(online("Studio", False), 2 * POLL + 5, "Studio offline"))
    tailnet("start", "Studio")
    measured("started again → online", watch.wait(online("Studio"), 2 * POLL + 5, "Studio back online"))

    # The watched daemon taken down and up.
    tailnet("cli", "nimbrook-desk", "down")
    measured("`tailscale down` → “Tailscale isn’t running”",
             watch.wait(tailscale_state("notRunning"), 2 * POLL + 5, "notRunning after down"))
    if any(m["source"] == "Tailscale" for m in watch.last["macs"]):
        fail("Tailscale machines still listed while Tailscale is down")
    tailnet("login", "nimbrook-desk")
    measured("`tailscale up` → listed again", watch.wait(
        listed_again, 2 * POLL + 10, "back after up"))

    # Logged out, then in again (control gives the node a new key and address).
    tailnet("cli", "nimbrook-desk", "logout")
    measured("`tailscale logout` → “Sign in to Tailscale”",
             watch.wait(tailscale_state("needsLogin"), 2 * POLL + 5, "needsLogin after logout"))
    tailnet("login", "nimbrook-desk")
    measured("logged in again → listed again", watch.wait(
        listed_again, 2 * POLL + 10, "back after login"))

    # The watched daemon killed: the CLI cannot reach it; then it starts again.
    tailnet("kill", "nimbrook-desk")
    measured("the watched daemon killed → “Tailscale isn’t running”",
             watch.wait(tailscale_state("notRunning"), 2 * POLL + 10, "notRunning after kill"))
    tailnet("start", "nimbrook-desk")
    measured("its daemon started again → listed again", watch.wait(
        listed_again, 2 * POLL + 20, "back after restart"))

    # The watched daemon frozen: every CLI run hangs until Nimbrook gives up
    # on it; the list must not stay as if nothing happened, and must come back.
    tailnet("freeze", "nimbrook-desk")
    frozen = watch.wait(lambda s: s["tailscaleState"] != "ok", 4 * POLL + 15, "a frozen daemon noticed")
    measured(f"the watched daemon frozen → “{watch.last['tailscaleState']}”", frozen)
    tailnet("thaw", "nimbrook-desk")
    measured("thawed → listed again", watch.wait(
        listed_again, 2 * POLL + 15, "back after thaw"))

    # Studio added anew under the same host name: control names the new node
    # studio-1, and the old one stays in the tailnet, offline, as the CLI
    # reports it: both are listed, the one that answers first.
    tailnet("renew", "Studio")
    watch.wait(lambda s: [(m["name"], m["online"]) for m in s["macs"] if m["name"] == "Studio"]
               == [("Studio", True), ("Studio", False)], 2 * POLL + 10,
               "the new Studio online, before the old one")
    studios = [m["id"] for m in watch.last["macs"] if m["name"] == "Studio"]
    results.append(f"Studio added anew: listed as {studios} (online, offline)")
    if tailscale_macs(watch.last) != reported_macs():
        fail(f"the list is not the tailnet's: {watch.last['macs']}")


if __name__ == "__main__":
    main()
