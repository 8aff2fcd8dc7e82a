#!/usr/bin/env python3
"""Checks that the converter's time grows at most linearly with its input.

For each family of inputs the script converts a size and its double with the
tvconv executable and prints the ratio of the processor times (the least of
a few runs each):

  plain      plain text of S bytes
  macros     N distinct macro definitions (prologue registry)
  helpers    N uses of one helper method (registry equality lookups)
  nesting    nested constructions of depth D, repeated to a fixed total size

A ratio near 2 is linear; a quadratic cost shows as 4. Exits 1 when a ratio
exceeds --limit.

  bench/scaling.py [--tvconv build/tvconv] [--runs 3] [--scale 1.0] [--limit 2.6]
"""

import argparse
import os
import subprocess
import sys
import tempfile


def plain(size):
    line = b"The quick brown fox jumps over the lazy dog 0123456789.\n"
    return (line * (size // len(line) + 1))[:size]


def macros(count):
    parts = [b"leading text\n"]
    for i in range(count):
        parts.append(b"@m%d\nbody of %d\n" % (i, i))
    parts.append(b"@main\nx\n")
    return b"".join(parts)


def helpers(count):
    return b"^item[price] " * count


def nesting(depth, total=4 << 20):
    block = b"^var[" * depth + b"x" + b"]" * depth + b"\n"
    return block * max(1, total // len(block))


FAMILIES = [
    # name, generator, first size, unit
    ("plain", plain, 64 << 20, "bytes"),
    ("macros", macros, 200000, "definitions"),
    ("helpers", helpers, 1000000, "uses"),
    ("nesting", nesting, 600, "levels"),
    ("nesting", nesting, 1200, "levels"),
]


def measure(tvconv, data, runs):
    """Least processor time (user and system) of `runs` conversions of `data`.

    Processor time rather than wall time, so that other work on the machine
    disturbs the ratios less."""
    with tempfile.NamedTemporaryFile() as f:
        f.write(data)
        f.flush()
        best = float("inf")
        for _ in range(runs):
            with open(f.name, "rb") as stdin:
                proc = subprocess.Popen([tvconv], stdin=stdin, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.PIPE)
                err = proc.stderr.read()
                _, status, usage = os.wait4(proc.pid, 0)
                proc.returncode = os.waitstatus_to_exitcode(status)
                proc.stderr.close()
            if proc.returncode != 0:
                sys.exit("tvconv failed: %s" % err.decode(errors="replace"))
            best = min(best, usage.ru_utime + usage.ru_stime)
    return best


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--tvconv", default=os.path.join(os.path.dirname(__file__), "..", "build",
                                                     "tvconv"))
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--scale", type=float, default=1.0,
                    help="multiply every size (nesting depths excepted)")
    ap.add_argument("--limit", type=float, default=2.6,
                    help="largest acceptable time ratio for a doubled input")
    args = ap.parse_args()

    print("%-8s %10s %10s %9s %9s %7s" %
          ("family", "size", "doubled", "cpu s", "cpu 2x", "ratio"))
    worst = 0.0
    for name, make, size, unit in FAMILIES:
        if name != "nesting":
            size = max(1, int(size * args.scale))
        t1 = measure(args.tvconv, make(size), args.runs)
        t2 = measure(args.tvconv, make(2 * size), args.runs)
        ratio = t2 / t1
        worst = max(worst, ratio)
        print("%-8s %10d %10d %9.3f %9.3f %7.2f  (%s)" %
              (name, size, 2 * size, t1, t2, ratio, unit))
    if worst > args.limit:
        print("a doubled input took %.2f times as long (limit %.2f)" % (worst, args.limit))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
