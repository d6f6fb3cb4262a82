#!/usr/bin/python3
"""Reads the JSON files bench/compare.sh leaves (SIDE.PROGRAM.ROUND.json,
SIDE base or head) and prints each benchmark's median CPU time per
iteration for both sides and head / base."""
import collections
import json
import pathlib
import statistics
import sys


def times(folder):
    """{(program, benchmark): {side: [ms, ...]}} over every round."""
    found = collections.defaultdict(lambda: collections.defaultdict(list))
    for path in sorted(pathlib.Path(folder).glob("*.*.*.json")):
        side, program, _ = path.name.split(".", 2)
        for run in json.loads(path.read_text())["benchmarks"]:
            if run.get("run_type", "iteration") != "iteration":
                continue
            scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[run.get("time_unit", "ns")]
            found[(program, run["name"])][side].append(run["cpu_time"] * scale)
    return found


def main(folder):
    rows = times(folder)
    width = max((len(name) for _, name in rows), default=10)
    print(f"{'benchmark':<{width}}  {'base ms':>10}  {'head ms':>10}  {'head/base':>9}")
    for (program, name), sides in rows.items():
        if not sides.get("base") or not sides.get("head"):
            print(f"{name:<{width}}  only in {'head' if sides.get('head') else 'base'}")
            continue
        base, head = statistics.median(sides["base"]), statistics.median(sides["head"])
        print(f"{name:<{width}}  {base:10.3f}  {head:10.3f}  {head / base:9.3f}")


if __name__ == "__main__":
    main(sys.argv[1])
