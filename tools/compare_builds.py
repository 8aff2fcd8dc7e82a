#!/usr/bin/env python3
"""Runs two builds of tvconv-tree over the same sites and compares everything.

Each scenario is a sequence of runs over one site (a first run, an unchanged
re-run, a re-run after sources changed and targets were edited by hand,
--check, --diff, --no-copy, --keep-references, --force, -j 1 and -j 4).
Both builds run at the same absolute paths, one after the other, and every
exit status, standard output and error, report file, record-independent
target tree (names, kinds, modes, contents) is compared byte for byte.

  tools/compare_builds.py OLD_BUILD NEW_BUILD [--files 5000] [--keep DIR]

OLD_BUILD and NEW_BUILD are build directories holding src/tree/tvconv-tree.
Exits 1 and prints the first differences when the builds disagree.
"""

import argparse
import difflib
import hashlib
import importlib.util
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def bench_site(root, files):
    spec = importlib.util.spec_from_file_location("tree_bench", os.path.join(ROOT, "bench", "tree.py"))
    mod = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(mod)
    mod.make_site(root, files)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def odd_site(root):
    """Names and contents that every report must escape or refuse."""
    write(os.path.join(root, "index.html"), b"<p>^if($a eq b){x}{y} ^item[z] $price</p>\n")
    write(os.path.join(root, "_menu.cfg"), b"@menu[]\n<ul>^items[]</ul>\n")
    write(os.path.join(root, "tavrin.cfg"), b"@auto[]\n$x[1]\n")
    write(os.path.join(root, "uses.html"), b"^macro_use[_menu.cfg]\n^macro_use[/inc/gone.cfg]\n")
    write(os.path.join(root, "bom.html"), b"\xef\xbb\xbf<p>^ascii[x]</p>\n")
    write(os.path.join(root, "wide.html"), "<p>hi</p>\n".encode("utf-16"))
    write(os.path.join(root, "nul.html"), b"<p>a\x00b</p>\n")
    write(os.path.join(root, "syntax.html"), b"<p>^if(\n")
    write(os.path.join(root, "deep.html"), b"^if(1){" * 20000 + b"\n")
    write(os.path.join(root, "sp ace/na\xffme.html"), b"<b>^ascii[1] ^sql{select 1}</b>\n")
    write(os.path.join(root, "ctl/a\nb\x1b[31m.html"), b"<i>\xe2\x80\xae^math:sqrt(4)</i>\n")
    write(os.path.join(root, "a.cfg"), b"@a[]\n1\n")
    write(os.path.join(root, "_a.cfg"), b"@a[]\n2\n")
    write(os.path.join(root, ".git/config"), b"[core]\n")
    write(os.path.join(root, "img/logo.gif"), bytes(range(256)) * 8)
    write(os.path.join(root, "run.sh"), b"#!/bin/sh\necho hi\n")
    os.chmod(os.path.join(root, "run.sh"), 0o755)
    os.makedirs(os.path.join(root, "empty"), exist_ok=True)
    os.symlink("index.html", os.path.join(root, "link.html"))
    os.symlink("/etc/hostname", os.path.join(root, "out.html"))


def snapshot(target):
    """Every entry of the target tree: kind, mode and content hash."""
    lines = []
    if not os.path.isdir(target):
        return "(no target)\n"
    for r, ds, fs in os.walk(target):
        ds.sort()
        for name in sorted(ds + fs):
            p = os.path.join(r, name)
            st = os.lstat(p)
            rel = os.path.relpath(p, target).encode("utf-8", "surrogateescape")
            if os.path.islink(p):
                what = "link " + os.readlink(p)
            elif os.path.isdir(p):
                what = "dir"
            else:
                with open(p, "rb") as f:
                    what = "file " + hashlib.sha256(f.read()).hexdigest()[:16]
            lines.append("%r %o %s" % (rel, st.st_mode & 0o7777, what))
    return "\n".join(lines) + "\n"


def scenario_steps(work):
    src, tgt = os.path.join(work, "src"), os.path.join(work, "tgt")
    state = ["--state", os.path.join(work, "record.json")]
    reports = ["--report", os.path.join(work, "r.json"), "--html", os.path.join(work, "r.html"),
               "--sarif", os.path.join(work, "r.sarif")]
    full = state + reports + [src, tgt]

    def change(_):
        n = 0
        for r, ds, fs in sorted(os.walk(src)):
            ds.sort()
            for f in sorted(fs):
                p = os.path.join(r, f)
                if f.endswith(".html") and not os.path.islink(p) and n < 25:
                    with open(p, "ab") as fh:
                        fh.write(b"<p>changed ^ascii[q]</p>\n")
                    n += 1
        n = 0
        for r, ds, fs in sorted(os.walk(tgt)):
            ds.sort()
            for f in sorted(fs):
                if f.endswith(".html") and n < 10:
                    with open(os.path.join(r, f), "ab") as fh:
                        fh.write(b"<!-- by hand -->\n")
                    n += 1

    return [
        ("first", ["-j", "2"] + full, None),
        ("unchanged", ["-j", "2"] + full, None),
        ("changed", ["-j", "2"] + full, change),
        ("again", ["-j", "1"] + full, None),
        ("check", ["--check"] + reports + [src], None),
        ("diff", ["--diff", "-j", "4", src], None),
        ("force", ["--force", "-j", "4"] + full, None),
        ("no-copy", ["--no-copy", "--keep-references"] + state + [src, tgt + "2"], None),
    ]


def run_build(tree, work, site_maker):
    """Runs every step with `tree`; returns (step, part, bytes) triples."""
    if os.path.exists(work):
        shutil.rmtree(work)
    os.makedirs(work)
    site_maker(os.path.join(work, "src"))
    out = []
    env = dict(os.environ, XDG_CACHE_HOME=os.path.join(work, "cache"), LC_ALL="C")
    for name, args, before in scenario_steps(work):
        if before:
            before(None)
        p = subprocess.run([tree] + args, capture_output=True, env=env, stdin=subprocess.DEVNULL)
        out.append((name, "exit", b"%d\n" % p.returncode))
        out.append((name, "stdout", p.stdout))
        out.append((name, "stderr", p.stderr))
        for rep in ("r.json", "r.html", "r.sarif"):
            path = os.path.join(work, rep)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    out.append((name, rep, f.read()))
                os.remove(path)
        out.append((name, "target", snapshot(os.path.join(work, "tgt")).encode()))
    return out


def compare(old, new, label):
    bad = 0
    for (step, part, a), (_, _, b) in zip(old, new):
        if a == b:
            continue
        bad += 1
        print("DIFFERS: %s: %s / %s" % (label, step, part))
        da = a.decode("utf-8", "replace").splitlines()
        db = b.decode("utf-8", "replace").splitlines()
        for line in list(difflib.unified_diff(da, db, "old", "new", lineterm=""))[:40]:
            print("   " + line)
    return bad


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("old")
    p.add_argument("new")
    p.add_argument("--files", type=int, default=5000)
    p.add_argument("--keep", help="a folder to work in, kept afterwards")
    a = p.parse_args()
    work = a.keep or tempfile.mkdtemp(prefix="tvconv-compare.")
    sites = {
        "example": lambda d: shutil.copytree(os.path.join(ROOT, "examples", "site"), d, symlinks=True),
        "odd": odd_site,
        "generated": lambda d: bench_site(d, a.files),
    }
    bad = 0
    try:
        for label, maker in sites.items():
            place = os.path.join(work, "site")
            old = run_build(os.path.join(a.old, "src", "tree", "tvconv-tree"), place, maker)
            new = run_build(os.path.join(a.new, "src", "tree", "tvconv-tree"), place, maker)
            n = compare(old, new, label)
            print("%s: %d parts compared, %d differ" % (label, len(old), n))
            bad += n
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
