#!/usr/bin/env python3
"""The gaps between a program's frames, from the swap times that
liblinkweave_swap_times.so wrote while preloaded into it (one line per swap: the
CLOCK_MONOTONIC nanoseconds at which the swap was called and at which it returned).

Usage: frame_gaps.py FILE [FROM_NS [TO_NS]]
prints the frames, the frames per second, and the median, 99th percentile and longest
gap between the calls of successive swaps, in milliseconds, of the swaps called from
FROM_NS up to TO_NS (the whole file by default). Other scripts import it: swaps(),
gaps(), summary() and describe()."""
import math
import statistics
import sys


def swaps(path, since_ns=0, until_ns=None):
    """(called, returned) nanosecond pairs of the swaps called within [since_ns, until_ns]."""
    found = []
    with open(path) as lines:
        for line in lines:
            fields = line.split()
            if len(fields) != 2:
                continue  # a line cut short by a kill
            called, returned = int(fields[0]), int(fields[1])
            if called >= since_ns and (until_ns is None or called <= until_ns):
                found.append((called, returned))
    return found


def gaps(pairs):
    """Milliseconds between the calls of successive swaps."""
    return [(b[0] - a[0]) / 1e6 for a, b in zip(pairs, pairs[1:])]


def summary(pairs):
    """frames, frames per second, median, 99th percentile (nearest rank) and longest gap in ms;
    None with fewer than two swaps."""
    between = gaps(pairs)
    if not between:
        return None
    ordered = sorted(between)
    p99 = ordered[max(0, math.ceil(0.99 * len(ordered)) - 1)]
    seconds = (pairs[-1][0] - pairs[0][0]) / 1e9
    return {"frames": len(pairs), "fps": len(between) / seconds if seconds > 0 else 0.0,
            "median": statistics.median(ordered), "p99": p99, "longest": ordered[-1]}


def describe(pairs):
    """summary() as one line of text."""
    s = summary(pairs)
    if s is None:
        return "fewer than two frames"
    return (f"{s['frames']} frames, {s['fps']:.0f} a second; gap median {s['median']:.1f} ms, "
            f"99th percentile {s['p99']:.1f} ms, longest {s['longest']:.1f} ms")


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    since = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    until = int(sys.argv[3]) if len(sys.argv) > 3 else None
    print(describe(swaps(sys.argv[1], since, until)))


if __name__ == "__main__":
    main()
