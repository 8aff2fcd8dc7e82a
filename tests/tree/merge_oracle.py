#!/usr/bin/env python3
"""Checks tvconv-tree's three-way merge against `git merge-file` as an oracle.

  merge_oracle.py MERGE_FILE_HELPER [CASES [SEED]]

For hand-written cases and CASES generated ones (random line edits to a
base, on both sides), the helper (tests/tree/merge_file.cpp) must give the
same merge, conflict markers included, and the same number of conflicts as
`git merge-file -p`; each conflicting hunk it reports must be the one git
marks at that line, with the base lines git's zealous diff3 style shows.
Prints one line per difference; exits 1 if there is any.
"""
import os
import random
import subprocess
import sys
import tempfile

LABELS = ["page.html (target, edited by hand)", "page.html (last conversion)",
          "page.html (new conversion)"]

HAND_WRITTEN = [
    # (base, ours, theirs)
    ("a\nb\nc\n", "a\nB\nc\n", "a\nb\nC\n"),           # apart: clean
    ("a\nb\nc\n", "a\nX\nc\n", "a\nY\nc\n"),           # the same line: conflict
    ("a\nb\nc\n", "a\nX\nc\n", "a\nX\nc\n"),           # the same change: clean
    ("a\nb\nc\n", "a\nb\nc\n", "z\na\nb\nc\n"),        # theirs only
    ("a\nb\nc\n", "a\nc\n", "a\nb2\nc\n"),             # delete against change
    ("a\nb\nc", "a\nb\nc\n", "a\nb\nc"),               # final line feed added
    ("a\nb\nc", "a\nb\nX", "a\nb\nY"),                 # no final line feed, conflict
    ("", "x\n", "y\n"),                                # both add to nothing
    ("", "", "y\n"),
    ("a\n", "", "a\nb\n"),                             # ours emptied the page
    ("1\n2\n3\n4\n5\n6\n7\n8\n", "1\nX\n3\n4\n5\n6\nY\n8\n", "1\nZ\n3\n4\n5\n6\nW\n8\n"),
    ("a\n{\n}\nb\n", "a\n{\nx\n}\nb\n", "a\n{\ny\n}\nb\n"),  # folded by punctuation
    ("<p>\n^if(1){\nx\n}\n</p>\n", "<p>\n^if(1){\nx edited\n}\n</p>\n",
     "<p class=\"n\">\n^if(1){\nx\n}\n</p>\n"),
]

WORDS = ["<p>", "</p>", "{", "}", "^if($a){", "x", "y", "$v", "", "text", "text", "a b"]


def generated(rng):
    base = [rng.choice(WORDS) + (str(rng.randrange(4)) if rng.random() < 0.5 else "")
            for _ in range(rng.randrange(0, 14))]

    def edit(lines):
        lines = list(lines)
        for _ in range(rng.randrange(0, 4)):
            op = rng.randrange(3)
            at = rng.randrange(len(lines) + 1)
            new = rng.choice(WORDS) + str(rng.randrange(9))
            if op == 0 or not lines:
                lines.insert(at, new)
            elif op == 1:
                del lines[min(at, len(lines) - 1)]
            else:
                lines[min(at, len(lines) - 1)] = new
        return lines

    def text(lines):
        s = "\n".join(lines)
        return s + "\n" if lines and rng.random() < 0.85 else s

    return text(base), text(edit(base)), text(edit(base))


def hunks(text):
    """(line, ours, base, theirs) of each conflict git marked in `text`."""
    out, state, cur = [], None, None
    for n, line in enumerate(text.splitlines(keepends=True), 1):
        bare = line.rstrip("\n")
        if state is None and bare.startswith("<<<<<<<"):
            cur, state = [n, "", "", ""], 1
            out.append(cur)
        elif state == 1 and bare.startswith("|||||||"):
            state = 2
        elif state in (1, 2) and bare == "=======":
            state = 3
        elif state == 3 and bare.startswith(">>>>>>>"):
            state = None
        elif state:
            cur[state] += line
    return out


def run(cmd):
    p = subprocess.run(cmd, capture_output=True)
    return p.returncode, p.stdout.decode("utf-8", "surrogateescape")


def compare(helper, case, name, stats):
    problems = []
    with tempfile.TemporaryDirectory() as d:
        paths = []
        for side, text in zip(("ours", "base", "theirs"), (case[1], case[0], case[2])):
            paths.append(os.path.join(d, side))
            with open(paths[-1], "w") as f:
                f.write(text)
        labels = [x for label in LABELS for x in ("-L", label)]
        want = run(["git", "merge-file", "-p"] + labels + paths)
        got = run([helper] + paths + LABELS)
        if want != got:
            problems.append(f"{name}: git merge-file gives {want!r}, the merge {got!r}")
            return problems
        stats["conflicting" if want[0] else "clean"] += 1
        _, zdiff3 = run(["git", "merge-file", "-p", "--zdiff3"] + labels + paths)
        status, listed = run([helper, "--hunks"] + paths + LABELS)
        expected = hunks(want[1])
        bases = hunks(zdiff3)
        reported = listed.split("@")[1:]
        if len(reported) != len(expected):
            problems.append(f"{name}: {len(reported)} hunks reported, git marks {len(expected)}")
            return problems
        for i, (entry, (line, ours, _, theirs)) in enumerate(zip(reported, expected)):
            head, rest = entry.split("\n", 1)
            at, known = head.split()
            base = bases[i][2] if i < len(bases) and bases[i][1] == ours and \
                bases[i][3] == theirs else None
            shown = f"<{ours}|{base if known == '1' else ''}>{theirs}"
            if int(at) != line or rest != shown or (known == "1") != (base is not None):
                problems.append(f"{name}: hunk {i + 1} reported as {entry!r}, git has "
                                f"line {line} {shown!r} (base {'known' if base is not None else 'unknown'})")
            stats["hunks"] += 1
            stats["bases known"] += known == "1"
    return problems


def main(argv):
    if len(argv) < 1:
        print(__doc__, file=sys.stderr)
        return 2
    helper = argv[0]
    count = int(argv[1]) if len(argv) > 1 else 300
    rng = random.Random(int(argv[2]) if len(argv) > 2 else 20261210)
    stats = {"clean": 0, "conflicting": 0, "hunks": 0, "bases known": 0}
    problems = []
    for i, case in enumerate(HAND_WRITTEN):
        problems += compare(helper, case, f"hand-written case {i + 1}", stats)
    for i in range(count):
        problems += compare(helper, generated(rng), f"generated case {i + 1}", stats)
    for p in problems:
        print(p)
    print(", ".join(f"{v} {k}" for k, v in stats.items()))
    print(f"{len(HAND_WRITTEN) + count - len(problems)} passed, {len(problems)} failed")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
