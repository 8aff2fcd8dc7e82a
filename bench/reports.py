#!/usr/bin/env python3
"""Size, peak memory and Chromium load time of the reports on a large site.

Generates a deterministic site of N templates (default 5,000) with about 16
findings each: operators with no counterpart, remarked in the output, on
lines of ordinary markup, some of them long, some with markup and bytes that
are not UTF-8. Runs tvconv-tree once with --report, --sarif and --html, and
prints the run's wall time and peak resident memory, each report's size,
the SARIF log's number of results, and how long headless Chromium takes to
load the HTML page (bench/html_load.mjs, through playwright-core).

  bench/reports.py [--tree build/src/tree/tvconv-tree] [--files 5000]
                   [--npm build/npm] [--long] [--loads 3] [--keep DIR]

--long makes the page's worst case instead: every line about 240 bytes,
findings 8 lines apart, so that no two share a line of context.

Timing depends on the machine and its load: these figures are checked here,
never in the test suite.
"""

import argparse
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# Constructions that convert with a finding each (a warning), and one a page
# that only rewrites a reference (a note).
FINDINGS = [b"^ascii[$x]", b"^macro_exists[m%d]", b"^ascii[<b>x</b>]"]


def make_site(root, files, per_page=16):
    words = b"lorem ipsum dolor sit amet consectetur adipiscing elit sed do".split()
    os.makedirs(root, exist_ok=True)
    with open(os.path.join(root, "_menu.cfg"), "wb") as f:
        f.write(b"@menu[]\n<ul></ul>\n")
    for i in range(files):
        d = os.path.join(root, "s%02d" % (i % 50))
        os.makedirs(d, exist_ok=True)
        lines = [b"<html><body>"]
        for n in range(per_page * 4):
            text = b" ".join(words[(i + n + k) % len(words)] for k in range(8))
            if n % 4 == 1:
                text += b" " + FINDINGS[(i + n) % len(FINDINGS)].replace(b"%d", b"%d" % n)
            if n % 23 == 5:
                text += b" " + b"long " * 150  # a line longer than the page shows
            if n % 31 == 7:
                text += b" caf\xe9"  # a byte that is not UTF-8
            lines.append(text)
        lines.append(b"^macro_use[/_menu.cfg]")
        lines.append(b"</body></html>")
        with open(os.path.join(d, "p%d.html" % i), "wb") as f:
            f.write(b"\n".join(lines) + b"\n")


def make_long_site(root, files, per_page=16):
    """The page's worst case: every line long, findings 8 lines apart, so
    that no two share a line of context."""
    for i in range(files):
        d = os.path.join(root, "s%02d" % (i % 50))
        os.makedirs(d, exist_ok=True)
        lines = []
        for n in range(per_page * 8):
            text = b"lorem ipsum dolor sit amet %d " % n * 8
            if n % 8 == 4:
                text += b" ^ascii[$x]"
            lines.append(text)
        with open(os.path.join(d, "p%d.html" % i), "wb") as f:
            f.write(b"\n".join(lines) + b"\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--tree", default=os.path.join(HERE, "..", "build", "src", "tree", "tvconv-tree"))
    ap.add_argument("--files", type=int, default=5000)
    ap.add_argument("--npm", default=os.path.join(HERE, "..", "build", "npm"))
    ap.add_argument("--long", action="store_true",
                    help="long context lines that no two findings share")
    ap.add_argument("--loads", default="3", help="Chromium loads to take the median of")
    ap.add_argument("--keep", help="generate the site and reports here and keep them")
    args = ap.parse_args()

    work = args.keep or tempfile.mkdtemp(prefix="tvconv-reports-")
    try:
        site, out = os.path.join(work, "site"), os.path.join(work, "out")
        shutil.rmtree(work, ignore_errors=True)
        (make_long_site if args.long else make_site)(site, args.files)
        paths = {k: os.path.join(work, "r." + k) for k in ("json", "sarif", "html")}
        start = time.monotonic()
        run = subprocess.run(
            [args.tree, "--state", os.path.join(work, "st.json"), "--report", paths["json"],
             "--sarif", paths["sarif"], "--html", paths["html"], site, out],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wall = time.monotonic() - start
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        with open(paths["json"], "rb") as f:
            findings = len(json.load(f)["diagnostics"])
        with open(paths["sarif"], "rb") as f:
            results = len(json.load(f)["runs"][0]["results"])
        print(f"site: {args.files} templates, {findings} findings; exit {run.returncode}")
        print(f"run: {wall:.1f} s, peak resident memory {peak / 1024:.0f} MB")
        for k, p in paths.items():
            print(f"--{'report' if k == 'json' else k}: {os.path.getsize(p) / 1e6:.1f} MB")
        print(f"SARIF results: {results}")
        tail = run.stderr.decode("utf-8", "replace").splitlines()[-2:]
        print("terminal ends:", *tail, sep="\n  ")
        load = subprocess.run(["node", os.path.join(HERE, "html_load.mjs"), args.npm, paths["html"], args.loads],
                              capture_output=True, text=True)
        print(load.stdout.strip() or load.stderr.strip())
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
