#!/usr/bin/env python3
"""Whole-site speed of tvconv-tree beside `cp -r` of the same tree.

Generates a deterministic site of N files (templates of a few kilobytes
with constructions, macro files, and some binary files to copy) and times,
alternating, each at least --repeat times, median wall time:

  cp -r          copying the tree
  first run      tvconv-tree into an empty target (with its record)
  unchanged      tvconv-tree again over the same target: converts nothing,
                 writes nothing
  touched        after 1% of the sources changed

  bench/tree.py [--tree build-release/src/tree/tvconv-tree] [--files 5000]
                [--repeat 3] [--jobs N]
"""

import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def make_site(root, files):
    rng = random.Random(7)
    words = b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do".split()
    for i in range(files):
        d = os.path.join(root, "s%02d" % (i % 50), "d%d" % (i % 7))
        os.makedirs(d, exist_ok=True)
        kind = i % 20
        if kind == 0:
            with open(os.path.join(d, "_m%d.cfg" % i), "wb") as f:
                f.write(b"@m%d[a]\n<b>$a</b>\n" % i)
        elif kind == 1:
            with open(os.path.join(d, "img%d.gif" % i), "wb") as f:
                f.write(bytes(rng.randrange(256) for _ in range(2048)))
        else:
            parts = [b"<html><body>\n"]
            for line in range(60):
                text = b" ".join(rng.choice(words) for _ in range(10))
                if line % 9 == 0:
                    text += b" ^if[$x;^var[a];b] (c) $5"
                parts.append(text + b"\n")
            if i % 3 == 0:
                parts.append(b"^macro_use[_m%d.cfg]\n" % (i - i % 20))
            parts.append(b"</body></html>\n")
            with open(os.path.join(d, "p%d.html" % i), "wb") as f:
                f.write(b"".join(parts))


def timed(cmd, env=None):
    t = time.perf_counter()
    subprocess.run(cmd, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return time.perf_counter() - t


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--tree", default="build-release/src/tree/tvconv-tree")
    p.add_argument("--files", type=int, default=5000)
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--jobs", type=int, default=0)
    a = p.parse_args()

    work = tempfile.mkdtemp(prefix="tvconv-tree-bench.")
    try:
        src = os.path.join(work, "src")
        make_site(src, a.files)
        size = sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(src) for f in fs)
        jobs = ["-j", str(a.jobs)] if a.jobs else []
        times = {"cp -r": [], "first run": [], "unchanged": [], "touched": []}
        for k in range(a.repeat):
            cp_target = os.path.join(work, "cp")
            shutil.rmtree(cp_target, ignore_errors=True)
            subprocess.run(["sync"])
            times["cp -r"].append(timed(["cp", "-r", src, cp_target]))
            target = os.path.join(work, "out")
            state = os.path.join(work, "record.json")
            shutil.rmtree(target, ignore_errors=True)
            for f in (state, state + ".lock", state + ".journal"):
                if os.path.exists(f):
                    os.remove(f)
            cmd = [a.tree, "--state", state] + jobs + [src, target]
            times["first run"].append(timed(cmd))
            times["unchanged"].append(timed(cmd))
            # Touch 1% of the sources: new content, converted again.
            n = 0
            for r, _, fs in os.walk(src):
                for f in sorted(fs):
                    if f.endswith(".html") and n < a.files // 100:
                        with open(os.path.join(r, f), "ab") as fh:
                            fh.write(b"changed %d\n" % k)
                        n += 1
            times["touched"].append(timed(cmd))
        base = statistics.median(times["cp -r"])
        print("site: %d files, %.1f MB; median of %d runs" % (a.files, size / 1e6, a.repeat))
        print("| step | seconds | × cp -r |")
        print("|---|---|---|")
        for name, ts in times.items():
            m = statistics.median(ts)
            print("| %s | %.3f | %.2f |" % (name, m, m / base))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
