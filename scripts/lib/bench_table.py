"""Prints Google Benchmark JSON results as a table of measurements, floors and targets."""
import json
import sys

# measurement -> (floor, target description, check on (items/s, ratio to floor))
TARGETS = {
    "identityFromDisplayName": ("identityFloorByteSort", ">= 2,000,000 names/s",
                                lambda rate, ratio: rate >= 2_000_000),
    # A 10,000-peer report (13.6 MB), decoded strictly into sorted records,
    # beside simdjson's on-demand scan that only picks the names out.
    # Each peer is checked by a parse of its own after a scan of the whole
    # report, so that memory follows the largest peer, not the report.
    "parseLargeReport": ("parseFloorOnDemand", "<= 3.5x floor", lambda rate, ratio: ratio <= 3.5),
    "parseLargeReportOnce": ("parseFloorOnDemand", "(no target)", None),
    # One poll's work for 1,000 peers, on one thread and on a thread per poll.
    "pollWork/threadPerPoll:0": ("pollWork/threadPerPoll:0", "(the cheaper design)", None),
    "pollWork/threadPerPoll:1": ("pollWork/threadPerPoll:0", "(the cheaper design)", None),
    "merge/1000": ("mergeFloorByteSort/1000", "(no target)", None),
    "merge/10000": ("mergeFloorByteSort/10000", "<= 15x floor", lambda rate, ratio: ratio <= 15),
    # Runs on the UI thread at every local-network change: a small part of the
    # 100 ms the event loop may ever be held.
    "mergeLocalIntoSortedTailscale/10000": ("mergeFloorByteSort/10000", "<= 10 ms",
                                            lambda rate, ratio: 10_100 / rate <= 0.010),
    # A tick's settings read on the UI thread, the file unchanged (/0) or
    # changed (/1), whatever it holds: never near the 100 ms the event loop
    # may be held. Saving runs on a thread of its own.
    "settingsTick/typical/0": ("-", "<= 1 ms", lambda rate, ratio: 1 / rate <= 0.001),
    "settingsTick/typical/1": ("-", "<= 10 ms", lambda rate, ratio: 1 / rate <= 0.010),
    "settingsTick/hugeList/0": ("-", "<= 1 ms", lambda rate, ratio: 1 / rate <= 0.001),
    "settingsTick/hugeList/1": ("-", "<= 100 ms", lambda rate, ratio: 1 / rate <= 0.100),
    "settingsTick/fiftyMegabytes/0": ("-", "<= 1 ms", lambda rate, ratio: 1 / rate <= 0.001),
    "settingsTick/fiftyMegabytes/1": ("-", "<= 100 ms", lambda rate, ratio: 1 / rate <= 0.100),
    "settingsSavePin": ("-", "(off the UI thread)", None),
}


def main(path):
    with open(path, encoding="utf-8") as f:
        report = json.load(f)
    medians = {}
    for b in report["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        name = b.get("run_name", b["name"])
        medians[name] = b
    ok = True
    print(f"{'benchmark':<38} {'time':>10} {'items/s':>12} {'floor time':>11} {'x floor':>8}  target")
    for name, (floor_name, target, check) in TARGETS.items():
        if name not in medians:
            continue
        b, floor = medians[name], medians.get(floor_name)
        unit = b.get("time_unit", "ns")
        rate = b.get("items_per_second", 0.0)
        ratio = b["real_time"] / floor["real_time"] if floor else float("nan")
        verdict = ""
        if check is not None:
            passed = check(rate, ratio)
            ok &= passed
            verdict = "met" if passed else "MISSED"
        floor_time = f"{floor['real_time']:.2f} {unit}" if floor else "-"
        print(f"{name:<38} {b['real_time']:>7.2f} {unit} {rate:>12,.0f} {floor_time:>11} {ratio:>7.1f}x  {target} {verdict}")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
