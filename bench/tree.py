#!/usr/bin/env python3
"""Whole-site speed and memory of tvconv-tree beside `cp -r` of the same tree.

Generates a deterministic site of N files (templates of about 9 KB with
constructions and findings, macro files, and a binary file per 20 files to
copy) and runs, alternating, each at least --repeat times:

  cp -r          copying the tree
  first run      tvconv-tree into an empty target (with its record)
  unchanged      tvconv-tree again over the same target: converts nothing,
                 writes nothing, prints every finding again
  touched        after 1% of the sources changed

For each step it prints the median wall time, user and system CPU, the
ratio to cp -r and the peak resident memory. Beside them:

  conversions    the CPU time of converting every template with the core
                 library alone, in one process (bench/convert_each.cpp,
                 compiled against the build's libtvconv_core.a): the first
                 run's user CPU is compared with it
  per file       how peak memory grows with the site: the first run and the
                 unchanged re-run on a site of N/5 files against N files, in
                 bytes per file. The tool holds no file's bytes after it is
                 written, so this stays small and flat; a regression that
                 keeps sources or outputs shows here at once.

With --baseline OLD_TREE, an earlier tvconv-tree runs in the same rotation
and the ratios new/old are printed too (build one from an older commit in a
worktree of its own, Release, TVCONV_TESTS=OFF).

  bench/tree.py [--tree build/src/tree/tvconv-tree] [--files 5000]
                [--repeat 3] [--jobs N] [--baseline OLD_TREE]

Timing depends on the machine and its load, so these figures are checked
here, never in the test suite.
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

HERE = os.path.dirname(os.path.abspath(__file__))


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
            for line in range(120):
                text = b" ".join(rng.choice(words) for _ in range(10))
                if line % 9 == 0:
                    text += b" ^if[$x;^var[a];b] (c) $5"
                # About one finding a template: an operator with no
                # counterpart, wrapped in a remark.
                if line % 40 == 1 and (i + line) % 3 == 0:
                    text += b" ^ascii[$x]"
                parts.append(text + b"\n")
            if i % 3 == 0:
                parts.append(b"^macro_use[_m%d.cfg]\n" % (i - i % 20))
            parts.append(b"</body></html>\n")
            with open(os.path.join(d, "p%d.html" % i), "wb") as f:
                f.write(b"".join(parts))


def measured(cmd):
    """Wall seconds, user and system CPU seconds, peak RSS in bytes, status.

    The CPU times are wait4's (GNU time's are in hundredths); the peak is
    GNU time's, since the rusage a Python parent gets counts the forked
    interpreter's memory too."""
    with tempfile.NamedTemporaryFile("r") as out:
        t = time.perf_counter()
        p = subprocess.Popen(["/usr/bin/time", "-q", "-f", "%M", "-o", out.name] + cmd,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(p.pid, 0)
        wall = time.perf_counter() - t
        peak_kb = out.read().split()[-1]
    return wall, usage.ru_utime, usage.ru_stime, int(peak_kb) * 1024, status


def reset(*paths):
    for p in paths:
        if os.path.isdir(p):
            shutil.rmtree(p)
        elif os.path.exists(p):
            os.remove(p)


def templates_of(src):
    out = []
    for r, _, fs in os.walk(src):
        out += [os.path.join(r, f) for f in fs if f.endswith((".html", ".cfg"))]
    return sorted(out)


def conversions_alone(tree, src, work):
    """CPU seconds of the conversions alone, or None when the helper cannot be built."""
    build = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(tree))))
    lib = os.path.join(build, "libtvconv_core.a")
    helper = os.path.join(work, "convert_each")
    cmd = ["c++", "-O2", "-std=c++20", "-I", os.path.join(HERE, "..", "src"),
           "-I", os.path.join(build, "generated"), os.path.join(HERE, "convert_each.cpp"),
           lib, "-o", helper]
    if not os.path.exists(lib) or subprocess.run(cmd, stderr=subprocess.DEVNULL).returncode:
        return None
    files = templates_of(src)
    out = subprocess.run([helper] + files, capture_output=True, text=True, check=True).stdout
    return float(out.split()[0])


def steps(tree, src, work, tag, jobs, k):
    """One round of the three tvconv-tree steps; returns {step: measurement}."""
    target = os.path.join(work, "out-" + tag)
    state = os.path.join(work, "record-" + tag)
    reset(target, state, state + ".lock", state + ".journal", state + ".bases")
    subprocess.run(["sync"])
    cmd = [tree, "--state", state] + jobs + [src, target]
    got = {"first run": measured(cmd), "unchanged": measured(cmd)}
    # Touch 1% of the sources: new content, converted again.
    n = 0
    for f in templates_of(src):
        if f.endswith(".html") and n < max(1, len(templates_of(src)) // 100):
            with open(f, "ab") as fh:
                fh.write(b"changed %s %d\n" % (tag.encode(), k))
            n += 1
    got["touched"] = measured(cmd)
    reset(target)
    return got


def median(ms, i):
    return statistics.median(m[i] for m in ms)


def per_file_growth(tree, work, files, jobs):
    """Bytes of peak memory per file, first run and re-run, from N/5 to N files."""
    peaks = {}
    for n in (files // 5, files):
        src = os.path.join(work, "growth-src")
        reset(src)
        make_site(src, n)
        target, state = os.path.join(work, "growth-out"), os.path.join(work, "growth-record")
        reset(target, state, state + ".lock", state + ".journal", state + ".bases")
        cmd = [tree, "--state", state] + jobs + [src, target]
        peaks[n] = (measured(cmd)[3], measured(cmd)[3])
        reset(src, target)
    small, big = peaks[files // 5], peaks[files]
    span = files - files // 5
    return (big[0] - small[0]) / span, (big[1] - small[1]) / span


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--tree", default="build/src/tree/tvconv-tree")
    p.add_argument("--baseline", help="an earlier tvconv-tree to compare with")
    p.add_argument("--files", type=int, default=5000)
    p.add_argument("--repeat", type=int, default=3)
    p.add_argument("--jobs", type=int, default=0)
    p.add_argument("--no-growth", action="store_true", help="skip the per-file memory figure")
    a = p.parse_args()

    work = tempfile.mkdtemp(prefix="tvconv-tree-bench.")
    try:
        src = os.path.join(work, "src")
        make_site(src, a.files)
        size = sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(src) for f in fs)
        jobs = ["-j", str(a.jobs)] if a.jobs else []
        trees = {"new": a.tree}
        if a.baseline:
            trees["old"] = a.baseline
        cp, runs = [], {tag: [] for tag in trees}
        for k in range(a.repeat):
            cp_target = os.path.join(work, "cp")
            reset(cp_target)
            subprocess.run(["sync"])
            cp.append(measured(["cp", "-r", src, cp_target]))
            reset(cp_target)
            for tag, tree in trees.items():
                runs[tag].append(steps(tree, src, work, tag, jobs, k))
        conversions = conversions_alone(a.tree, src, work)

        base = median(cp, 0)
        print("site: %d files, %.1f MB; median of %d runs%s" %
              (a.files, size / 1e6, a.repeat, ", -j %d" % a.jobs if a.jobs else ""))
        print("| step | binary | wall s | × cp -r | user s | sys s | peak MB | new/old wall | new/old peak |")
        print("|---|---|---|---|---|---|---|---|---|")
        print("| cp -r | | %.3f | 1.00 | %.3f | %.3f | %.1f | | |" %
              (base, median(cp, 1), median(cp, 2), median(cp, 3) / 1e6))
        for step in ("first run", "unchanged", "touched"):
            for tag in trees:
                ms = [r[step] for r in runs[tag]]
                ratio = ""
                if tag == "new" and "old" in runs:
                    old = [r[step] for r in runs["old"]]
                    ratio = "| %.2f | %.2f" % (median(ms, 0) / median(old, 0), median(ms, 3) / median(old, 3))
                else:
                    ratio = "| |"
                print("| %s | %s | %.3f | %.2f | %.3f | %.3f | %.1f %s |" %
                      (step, tag, median(ms, 0), median(ms, 0) / base, median(ms, 1),
                       median(ms, 2), median(ms, 3) / 1e6, ratio))
        if conversions is not None:
            user = median([r["first run"] for r in runs["new"]], 1)
            print("conversions alone: %.3f s CPU; first run's user CPU is %.2f× that" %
                  (conversions, user / conversions if conversions else float("nan")))
        else:
            print("conversions alone: n/a (no libtvconv_core.a beside --tree, or no c++)")
        peak = median([r["first run"] for r in runs["new"]], 3)
        print("peak memory per file (new, whole peak / files): %.0f B" % (peak / a.files))
        if not a.no_growth:
            for tag, tree in trees.items():
                first, again = per_file_growth(tree, work, a.files, jobs)
                print("peak memory growth per file, %d to %d files (%s): first run %.0f B, "
                      "unchanged re-run %.0f B" % (a.files // 5, a.files, tag, first, again))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
