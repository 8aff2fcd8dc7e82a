#!/usr/bin/env python3
"""Throughput and memory benchmark of tvconv, measured against a sed anchor.

Generates six deterministic Tavrin 2 inputs:

  text       HTML-like lines with constructions sprinkled in, several @main
             and macro definitions (default 100 MB);
  dense      text-heavy lines with a construction about every 100 bytes
             (default 20 MB);
  construct  a construction on every line: nested ^if, ^context/^menu/^item,
             ^var, ^match and operators that register helper methods
             (default 20 MB);
  line       one single line without a line feed, with long blank runs
             (default 20 MB);
  blanks     one single line, about half of it runs of 1 KB to 100 KB of
             spaces, the rest words, one construction every 100 to 400 KB
             (default 20 MB);
  pages      HTML page templates as they are written: lines of about 65
             bytes, a construction about every 95 (^item, ^var, nested ^if),
             attribute quotes, $ prices, and a definition header every 200
             to 500 lines (default 16 MB).

For each input it runs the tvconv binary and, on the same file, the anchor
`sed -e 's/\\$/^$/g;s/[(){}"]/^&/g'`, alternating, several times each, and
prints the median throughput of both, the ratio tvconv/sed, tvconv's peak
resident memory, and the user and system CPU time of each program (with
the share of tvconv's CPU time spent in the kernel). With --baseline, an earlier tvconv binary runs in the same
rotation, and the ratio of the two throughputs is checked too. Each input is
also generated at twice its size to show how the time scales. All programs
write to /dev/null and run with LC_ALL=C.

--instructions counts, under callgrind, the instructions per input byte on
each input (a 5 MB cut), also without start-up (the instructions of
converting the one-line input "hello" taken off), and those of converting
that one line, for both binaries.

Throughput depends on the machine, so the figures are checked here, never in
the test suite. With --check the exit status is 1 when a target is missed.
Standard library only (and valgrind for --instructions).
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

MB = 1000 * 1000

SED_SCRIPT = r's/\$/^$/g;s/[(){}"]/^&/g'

# Targets: minimum tvconv/sed throughput ratio per input, minimum
# throughput against the --baseline binary, memory bound and time growth for
# a doubled input. The document is held whole until it is written, so peak
# memory is bounded relative to the output.
RATIO_TARGET = {"text": 1.0, "dense": 0.0, "construct": 0.19, "line": 1.5, "blanks": 1.5,
                "pages": 1.25}
# Against --baseline: pages at least 1.5 times as fast, every other input no
# more than 3% slower.
BASELINE_TARGET = {"pages": 1.5}
BASELINE_DEFAULT_TARGET = 0.97
# At most this share of tvconv's CPU time in the kernel.
KERNEL_SHARE_TARGET = {"pages": 0.15}
MEMORY_FACTOR = 1.1
MEMORY_SLACK = 16 * MB
SCALING_TARGET = 2.2
# Instructions per input byte, at most (--instructions), and of converting
# the one-line input, at most. The per-byte target was set on the whole
# 100 MB input, where start-up does not count; on the 5 MB cut the
# instructions of converting one line are taken off first. With --baseline
# the per-byte figure is also at most this share of the baseline's (by
# input; the default for the others).
INSTRUCTIONS_PER_BYTE_TARGET = {"text": 0.6 * 19.2, "pages": 16.0}
INSTRUCTIONS_BASELINE_SHARE = {}
INSTRUCTIONS_BASELINE_DEFAULT_SHARE = 1.03
STARTUP_INSTRUCTIONS_TARGET = 2_500_000

# --------------------------------------------------------------------------
# Input generation. Every generator draws from a seeded Random so that the
# same size gives the same bytes on every run and machine. Lines are built
# into a pool once and then picked at random, which keeps generating 100 MB
# quick while the file still looks irregular.

WORDS = (
    "price table row item value total name order date stock list page user "
    "cart amount count level first last index query shop news city region "
    "title label status code offer brand size color weight note text"
).split()

# Names of macro definitions; none contains "main" or "MIME_TYPES", which the
# scanner takes whole inside a macro header.
MACRO_NAMES = (
    "header_row price_cell footer nav_link user_box news_item page_title "
    "order_line stock_badge search_form city_list breadcrumbs"
).split()


def sentence(rng, lo=3, hi=9):
    return " ".join(rng.choice(WORDS) for _ in range(rng.randint(lo, hi)))


def plain_sentence(rng):
    # Text that is safe inside a parameter list: no ";", "[" or "]".
    s = sentence(rng).capitalize()
    r = rng.random()
    if r < 0.2:
        s += " (%d%%)" % rng.randint(1, 99)
    elif r < 0.3:
        s += " $%d.%02d" % (rng.randint(1, 999), rng.randint(0, 99))
    return s


def sprinkled_construction(rng):
    w = rng.choice(WORDS)
    forms = (
        lambda: "^var[%s]" % w,
        lambda: "^item[%s]" % w,
        lambda: "^if[^var[%s];%s;%s]" % (w, plain_sentence(rng), rng.choice(WORDS)),
        lambda: "^env[HTTP_%s]" % w.upper(),
        lambda: "^var[%s;.;%d]" % (w, rng.randint(0, 99)),
        lambda: "^macro[%s;%s;%d]" % (rng.choice(MACRO_NAMES), w, rng.randint(1, 9)),
        lambda: "^date[%d.%m.%Y]",
        lambda: "^menu[<li>^item[%s]</li>]" % w,
        lambda: "^eval[^var[%s]*%d]" % (w, rng.randint(2, 9)),
    )
    return rng.choice(forms)()


def html_line(rng):
    w = rng.choice(WORDS)
    n = rng.randint(0, 9999)
    forms = (
        lambda: '<tr><td class="%s">%s</td><td align="right">$%d.%02d</td></tr>'
        % (w, plain_sentence(rng), n % 500, n % 100),
        lambda: "<p>%s (see %s) and %s; %s.</p>" % (plain_sentence(rng), w, sentence(rng, 1, 3), sentence(rng)),
        lambda: '<div id="%s%d" style="margin: %dpx; padding: 0">%s</div>' % (w, n, n % 40, plain_sentence(rng)),
        lambda: '<a href="/%s/%s.html?id=%d&amp;page=%d">%s</a>' % (w, rng.choice(WORDS), n, n % 17, sentence(rng, 1, 4)),
        lambda: "\t\t<script>var o = {%s: %d, f: function(x) { return x * 2; }};</script>" % (w, n),
        lambda: "    <li>%s: %d items, $$%d total</li>" % (w.capitalize(), n % 90, n),
        lambda: '<img src="/img/%s_%d.gif" width="%d" height="%d" alt="%s">' % (w, n, n % 300, n % 200, sentence(rng, 1, 3)),
        lambda: "<td>%s</td>" % sentence(rng, 8, 20),
        lambda: "",
        lambda: "<!-- %s: %s ^^ 2 ^ 3 -->" % (w, sentence(rng)),
    )
    line = rng.choice(forms)()
    if rng.random() < 0.15:
        # A construction in the middle of a line, never at its start.
        cut = line.find(">") + 1 if ">" in line else len(line)
        line = line[:cut] + sprinkled_construction(rng) + line[cut:]
    return line


def macro_body(rng, lines):
    out = []
    for _ in range(lines):
        r = rng.random()
        if r < 0.3:
            out.append("<tr><td>$%s</td><td>^var[%s]</td></tr>" % (rng.choice("ab"), rng.choice(WORDS)))
        else:
            out.append(html_line(rng))
    return out


def gen_text(size, seed=1):
    """HTML-like text: four @main sections with macro definitions between."""
    rng = random.Random(seed)
    pool = [html_line(rng) + "\n" for _ in range(4000)]
    chunks = ["leading text that the conversion drops\n"]
    total = len(chunks[0])
    sections = 4
    macro = 0
    for s in range(sections):
        chunks.append("@main\n")
        # Leave room for the macro definitions that follow the section.
        target = size * (s + 1) // sections - (12 * 1024 if s < sections - 1 else 0)
        while total < target:
            line = pool[rng.randrange(len(pool))]
            chunks.append(line)
            total += len(line)
        if s == sections - 1:
            break
        for _ in range(3):
            name = MACRO_NAMES[macro % len(MACRO_NAMES)]
            macro += 1
            header = "@%s[a;b]\n" % name if macro % 2 else "@%s\n" % name
            body = "\n".join(macro_body(rng, 40)) + "\n"
            chunks.append(header + body)
            total += len(header) + len(body)
    return "".join(chunks)


def construction(rng, depth):
    """One random construction, nested up to `depth` levels."""
    w = rng.choice(WORDS)
    n = rng.randint(0, 999)

    def inner():
        if depth <= 0:
            return rng.choice(("^var[%s]" % w, "^item[%s]" % w, "%s %d" % (w, n), "^item[%d]" % (n % 5)))
        return construction(rng, depth - 1)

    forms = (
        lambda: "^if[%s;%s;%s]" % (inner(), inner(), inner()),
        lambda: "^if[^var[%s];<b>%s</b>]" % (w, inner()),
        lambda: "^context[t%d;^menu[<tr>%s</tr>;<br>]]" % (n % 7, inner()),
        lambda: "^menu[<td>^item[%s]</td>%s]" % (w, inner()),
        lambda: "^var[%s;.;%s]" % (w, inner()),
        lambda: "^var[%s;+;%d]" % (w, n),
        lambda: "^var[%s;%s]" % (w, inner()),
        lambda: "^match[(a+)b;gi;%s;^var[%s]]" % (inner(), w),
        lambda: "^match[^var[p];;%s]" % w,
        lambda: "^eq[^item[%s];%d;%s;%s]" % (w, n, inner(), inner()),
        lambda: "^date[%%d.%%m.%%Y %s]" % w,
        lambda: "^counter[%s.txt]" % w,
        lambda: "^locate[%s;%s]" % (w, inner()),
        lambda: "^exec[/cgi-bin/%s.cgi;q=%d]" % (w, n),
        lambda: "^item[prev;%s]" % w,
        lambda: "^table[3;%s;&nbsp^;]" % inner(),
    )
    return rng.choice(forms)()


# Operators that register a helper method; every construction-heavy line has
# at least one.
REGISTERING = ("^item[", "^match[", "^date[", "^counter[", "^locate[", "^exec[", "^table[")


def construct_line(rng):
    parts = [construction(rng, rng.randint(1, 4)) for _ in range(rng.randint(1, 3))]
    line = " ".join(parts)
    if not any(op in line for op in REGISTERING):
        line += " ^counter[%s.txt]" % rng.choice(WORDS)
    return line + "\n"


def fill_from(pool, rng, size, start=""):
    """`start`, then entries of `pool` drawn at random until `size` is reached."""
    chunks = [start]
    total = len(start)
    while total < size:
        piece = pool[rng.randrange(len(pool))]
        chunks.append(piece)
        total += len(piece)
    return "".join(chunks)


def gen_construct(size, seed=2):
    """A construction on every line, nested up to five levels."""
    rng = random.Random(seed)
    pool = [construct_line(rng) for _ in range(3000)]
    return fill_from(pool, rng, size)


def line_piece(rng):
    r = rng.random()
    if r < 0.25:
        return rng.choice(" \t") * rng.randint(200, 4000)
    if r < 0.35:
        return rng.choice((" ", "\t", " \t ")) * rng.randint(20, 400)
    if r < 0.45:
        return sprinkled_construction(rng)
    if r < 0.55:
        return '<span class="%s">(%s) $%d {x}</span>' % (rng.choice(WORDS), sentence(rng), rng.randint(1, 99))
    return sentence(rng) + rng.choice((". ", ", ", "; ", " - "))


def gen_line(size, seed=3):
    """One line without a line feed: words, constructions, long blank runs."""
    rng = random.Random(seed)
    pool = [line_piece(rng) for _ in range(3000)]
    return fill_from(pool, rng, size, "<body>")


def gen_dense(size, seed=4):
    """Text-heavy lines with a construction about every 100 bytes."""
    rng = random.Random(seed)
    pool = []
    for _ in range(3000):
        parts, n = [], 0
        while n < 300:
            text = html_line(rng).replace("^", "")
            piece = text[: rng.randint(70, 110)] + sprinkled_construction(rng)
            parts.append(piece)
            n += len(piece)
        pool.append(" ".join(parts) + "\n")
    return fill_from(pool, rng, size)


def gen_blanks(size, seed=5):
    """One line: about half runs of 1 KB to 100 KB of spaces, the rest words,
    one construction every 100 to 400 KB."""
    rng = random.Random(seed)
    chunks = ["<body>"]
    total = len(chunks[0])
    next_construction = rng.randint(100_000, 400_000)
    while total < size:
        if rng.random() < 0.5:
            piece = " " * rng.randint(1_000, 100_000)
        else:
            words, n, goal = [], 0, rng.randint(1_000, 100_000)
            while n < goal:
                w = rng.choice(WORDS)
                words.append(w)
                n += len(w) + 1
            piece = " ".join(words) + " "
        if total + len(piece) >= next_construction:
            piece += sprinkled_construction(rng) + " "
            next_construction += rng.randint(100_000, 400_000)
        chunks.append(piece)
        total += len(piece)
    return "".join(chunks)


def page_construction(rng):
    """What page templates are mostly made of: ^item and ^var of a name,
    sometimes inside ^if, nested now and then."""
    w, v = rng.choice(WORDS), rng.choice(WORDS)
    r = rng.random()
    if r < 0.42:
        return "^item[%s]" % w
    if r < 0.78:
        return "^var[%s]" % w
    if r < 0.90:
        return "^if[^var[%s];^item[%s];%s]" % (w, v, rng.choice(WORDS))
    return "^if[^item[%s];^if[^var[%s];<b>^item[%s]</b>;%s];-]" % (
        w, v, rng.choice(WORDS), sentence(rng, 1, 2))


def page_line(rng):
    w = rng.choice(WORDS)
    n = rng.randint(0, 9999)

    def c():
        return page_construction(rng)

    forms = (
        lambda: '<td class="%s">%s</td>' % (w, c()),
        lambda: '<td align="right">$%d.%02d</td>' % (n % 500, n % 100),
        lambda: '<a href="/%s/%s.html">%s</a>' % (w, c(), sentence(rng, 2, 5)),
        lambda: '<input type="text" name="%s" value="%s">' % (w, c()),
        lambda: "<p>%s %s.</p>" % (sentence(rng, 5, 10).capitalize(), sentence(rng, 3, 7)),
        lambda: "<p>%s, %s.</p>" % (sentence(rng, 5, 10).capitalize(), sentence(rng, 3, 7)),
        lambda: "  <li>%s %s: %s</li>" % (w.capitalize(), sentence(rng, 2, 5), c()),
        lambda: "<tr><td>%s</td><td>%s</td></tr>" % (sentence(rng, 2, 5), sentence(rng, 1, 4)),
        lambda: "<span>%s, only $%d.%02d</span>" % (sentence(rng, 2, 5), n % 90, n % 100),
        lambda: "    %s %s" % (c(), sentence(rng, 5, 9)),
        lambda: '<div class="%s">%s %s</div>' % (w, sentence(rng, 2, 6), c()),
        lambda: "",
        lambda: '<img src="/img/%s_%d.png" alt="%s" width="%d">' % (w, n, sentence(rng, 1, 3), n % 300),
        lambda: "<p>%s %s</p>" % (sentence(rng, 6, 12).capitalize(), sentence(rng, 3, 7)),
    )
    line = rng.choice(forms)()
    if rng.random() < 0.3:
        line = "  " + line + " " + sentence(rng, 2, 6)
    return line


def gen_pages(size, seed=6):
    """Page templates: @main, then a definition header every 200 to 500
    lines."""
    rng = random.Random(seed)
    pool = [page_line(rng) + "\n" for _ in range(5000)]
    chunks = ["@main\n"]
    total = len(chunks[0])
    macro = 0
    while total < size:
        for _ in range(rng.randint(200, 500)):
            line = pool[rng.randrange(len(pool))]
            chunks.append(line)
            total += len(line)
        name = MACRO_NAMES[macro % len(MACRO_NAMES)] + str(macro)
        macro += 1
        header = "@%s[a;b]\n" % name if macro % 2 else "@%s\n" % name
        chunks.append(header)
        total += len(header)
    return "".join(chunks)


GENERATORS = {"text": gen_text, "dense": gen_dense, "construct": gen_construct, "line": gen_line,
              "blanks": gen_blanks, "pages": gen_pages}


def write_input(kind, size, path):
    # Whole lines and pieces only, so the size is reached or passed by less
    # than one of them and no construction is cut off.
    data = GENERATORS[kind](size)
    with open(path, "wb") as f:
        f.write(data.encode("latin-1"))
    return len(data)


# --------------------------------------------------------------------------
# Running and measuring.


# The peak memory of a child includes that of the process it was forked from
# (Linux keeps the high-water mark across exec), and this script holds whole
# inputs while generating them. So the programs run under /usr/bin/time, a
# small process whose own child is measured alone.
TIME = "/usr/bin/time"


def run(argv):
    """Runs argv with output to /dev/null; returns (wall seconds, (user,
    system) CPU seconds, status, peak RSS in bytes, stderr bytes)."""
    env = dict(os.environ, LC_ALL="C")
    with open(os.devnull, "wb") as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile("r") as peak:
        cmd = [TIME, "-q", "-f", "%M", "-o", peak.name] + argv
        start = time.perf_counter()
        proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env)
        # wait4 gives the CPU time of time and of the child it waited for,
        # with microsecond resolution; time itself uses about a millisecond.
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        err.seek(0)
        diagnostics = err.read()
        kib = peak.read().split()
    cpu = (usage.ru_utime, usage.ru_stime)
    # GNU time reports a killed child as "Command terminated by signal N".
    if not kib or not kib[-1].isdigit():
        return wall, cpu, proc.returncode or 1, 0, diagnostics
    return wall, cpu, proc.returncode, int(kib[-1]) * 1024, diagnostics


def output_size(binary, path):
    """One untimed run that counts the output bytes (and reads the input into
    the page cache): the document is held whole until it is written, so its
    size bounds the peak memory from below."""
    proc = subprocess.Popen([binary, path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL)
    n = 0
    while True:
        chunk = proc.stdout.read(1 << 20)
        if not chunk:
            break
        n += len(chunk)
    proc.wait()
    return n


def measure(binary, path, repeat, baseline=None):
    """Alternates tvconv, sed and the baseline tvconv on `path`; returns the
    median wall, user and system times of each (and of their sum, the CPU
    time), the peak memory and the output size of tvconv."""
    out_bytes = output_size(binary, path)
    tv_wall, tv_cpu, sed_wall, sed_cpu, peaks = [], [], [], [], []
    base_wall, base_cpu = [], []
    for _ in range(repeat):
        if baseline:
            wall, cpu, status, _, _ = run([baseline, path])
            base_wall.append(wall)
            base_cpu.append(cpu)
        wall, cpu, status, peak, diagnostics = run([binary, path])
        if status != 0:
            sys.exit(
                "tvconv exited with %d on %s (the generated input must be valid):\n%s"
                % (status, path, diagnostics[:2000].decode("latin-1"))
            )
        if diagnostics:
            print("  note: tvconv wrote %d bytes of diagnostics on %s" % (len(diagnostics), path))
        tv_wall.append(wall)
        tv_cpu.append(cpu)
        peaks.append(peak)
        wall, cpu, status, _, diagnostics = run(["sed", "-e", SED_SCRIPT, path])
        if status != 0:
            sys.exit("sed failed on %s: %s" % (path, diagnostics.decode("latin-1")))
        sed_wall.append(wall)
        sed_cpu.append(cpu)
    med = statistics.median
    result = {"tv": med(tv_wall), "sed": med(sed_wall), "peak": max(peaks), "output": out_bytes}
    times = [("tv", tv_cpu), ("sed", sed_cpu)] + ([("base", base_cpu)] if baseline else [])
    for name, cpu in times:
        result[name + "_cpu"] = med(u + s for u, s in cpu)
        result[name + "_user"] = med(u for u, _ in cpu)
        result[name + "_sys"] = med(s for _, s in cpu)
        # The kernel's share from the means: the kernel counts CPU time in
        # scheduler ticks, so a run of a few ticks has a median system time
        # of one tick or two, and the median's share jumps between them.
        result[name + "_share"] = sum(s for _, s in cpu) / max(1e-9, sum(u + s for u, s in cpu))
    if baseline:
        result["base"] = med(base_wall)
    return result


def callgrind_instructions(binary, path):
    """Instructions executed converting `path`, as callgrind counts them."""
    with tempfile.NamedTemporaryFile(suffix=".out") as out, open(os.devnull, "wb") as null:
        subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out.name, binary, path],
                       stdout=null, stderr=null, check=True)
        for line in open(out.name):
            if line.startswith("summary:") or line.startswith("totals:"):
                return int(line.split()[1])
    raise RuntimeError("no callgrind summary")


def instructions(binary, baseline, workdir):
    """Instructions per byte on a 5 MB cut of each input, and of converting
    one line; for `baseline` too when given. Returns the missed targets."""
    failures = []
    bins = [("tvconv", binary)] + ([("baseline", baseline)] if baseline else [])
    hello = os.path.join(workdir, "hello.tv2")
    with open(hello, "wb") as f:
        f.write(b"hello\n")
    startup = [callgrind_instructions(b, hello) for _, b in bins]
    print("| input | " + " | ".join("%s instr/byte (without start-up)" % n for n, _ in bins) + " |")
    print("|---|" + "---|" * len(bins))
    for kind in GENERATORS:
        path = os.path.join(workdir, "%s-5MB.tv2" % kind)
        n = write_input(kind, 5 * MB, path)
        totals = [callgrind_instructions(b, path) for _, b in bins]
        os.remove(path)
        per = [t / n for t in totals]
        work = [(t - s) / n for t, s in zip(totals, startup)]
        print("| %s | %s |" % (kind, " | ".join("%.1f (%.2f)" % pair for pair in zip(per, work))))
        target = INSTRUCTIONS_PER_BYTE_TARGET.get(kind)
        if target and work[0] > target:
            failures.append("%s: %.2f instructions per byte without start-up, above %.2f" %
                            (kind, work[0], target))
        share = INSTRUCTIONS_BASELINE_SHARE.get(kind, INSTRUCTIONS_BASELINE_DEFAULT_SHARE)
        if share and baseline and work[0] > share * work[1]:
            failures.append("%s: %.2f instructions per byte without start-up, above %.1f times the "
                            "baseline's %.2f" % (kind, work[0], share, work[1]))
    print("| one line (\"hello\") | %s |" % " | ".join("%d instructions" % c for c in startup))
    if startup[0] > STARTUP_INSTRUCTIONS_TARGET:
        failures.append("one line: %d instructions above %d" % (startup[0], STARTUP_INSTRUCTIONS_TARGET))
    return failures


def mb(n):
    return "%.1f MB" % (n / MB)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--binary", default=os.path.join(root, "build-release", "tvconv"),
                   help="tvconv built with -DCMAKE_BUILD_TYPE=Release (default: build-release/tvconv)")
    p.add_argument("--text-mb", type=float, default=100, help="size of the text-heavy input (default 100)")
    p.add_argument("--construct-mb", type=float, default=20, help="size of the construction-heavy input (default 20)")
    p.add_argument("--line-mb", type=float, default=20, help="size of the single-line input (default 20)")
    p.add_argument("--dense-mb", type=float, default=20, help="size of the dense text input (default 20)")
    p.add_argument("--blanks-mb", type=float, default=20, help="size of the blank-run line (default 20)")
    p.add_argument("--pages-mb", type=float, default=16, help="size of the page templates (default 16)")
    p.add_argument("--baseline", help="an earlier tvconv binary to run in the same rotation")
    p.add_argument("--instructions", action="store_true",
                   help="count instructions per byte under callgrind instead of timing")
    p.add_argument("--repeat", type=int, default=3, help="runs of each program per input, at least 3 (default 3)")
    p.add_argument("--only", choices=sorted(GENERATORS), action="append", help="run only this input (repeatable)")
    p.add_argument("--no-scaling", action="store_true", help="skip the inputs of doubled size")
    p.add_argument("--workdir", help="where to put the inputs (default: a temporary directory, removed afterwards)")
    p.add_argument("--generate-only", action="store_true", help="write the inputs to --workdir and stop")
    p.add_argument("--check", action="store_true", help="exit with status 1 when a target is missed")
    args = p.parse_args()

    if args.repeat < 3:
        p.error("--repeat must be at least 3")
    kinds = args.only or list(GENERATORS)
    sizes = {"text": args.text_mb, "dense": args.dense_mb, "construct": args.construct_mb,
             "line": args.line_mb, "blanks": args.blanks_mb, "pages": args.pages_mb}
    binary = os.path.abspath(args.binary)
    baseline = os.path.abspath(args.baseline) if args.baseline else None
    if not args.generate_only:
        if not os.access(binary, os.X_OK):
            sys.exit("%s not found; build it with\n  cmake -S %s -B %s/build-release -G Ninja "
                     "-DCMAKE_BUILD_TYPE=Release && ninja -C %s/build-release tvconv" % (binary, root, root, root))
        if not shutil.which("sed"):
            sys.exit("sed not found")
        if not os.access(TIME, os.X_OK):
            sys.exit("%s not found (Debian package: time)" % TIME)
        cache = os.path.join(os.path.dirname(binary), "CMakeCache.txt")
        if os.path.exists(cache):
            with open(cache) as f:
                if "CMAKE_BUILD_TYPE:STRING=Release\n" not in f.read():
                    print("warning: %s is not a Release build" % binary)

    workdir = args.workdir or tempfile.mkdtemp(prefix="tvconv-bench-")
    os.makedirs(workdir, exist_ok=True)
    if args.instructions:
        try:
            failures = instructions(binary, baseline, workdir)
        finally:
            if not args.workdir:
                shutil.rmtree(workdir, ignore_errors=True)
        print("targets missed:\n  " + "\n  ".join(failures) if failures else "all targets met")
        return 1 if failures and args.check else 0
    failures = []
    rows = []
    try:
        for kind in kinds:
            size = int(sizes[kind] * MB)
            path = os.path.join(workdir, "%s-%d.tv2" % (kind, size))
            n = write_input(kind, size, path)
            if args.generate_only:
                print("wrote %s (%d bytes)" % (path, n))
                continue
            row = dict(measure(binary, path, args.repeat, baseline), kind=kind, bytes=n)
            if not args.workdir:
                os.remove(path)
            if not args.no_scaling:
                path2 = os.path.join(workdir, "%s-%d.tv2" % (kind, 2 * size))
                n2 = write_input(kind, 2 * size, path2)
                row["double"] = dict(measure(binary, path2, args.repeat), bytes=n2)
                if not args.workdir:
                    os.remove(path2)
            rows.append(row)
            report(row)
            failures += missed_targets(row)
    finally:
        if not args.workdir:
            shutil.rmtree(workdir, ignore_errors=True)

    if args.generate_only:
        return 0
    print()
    print(table(rows))
    print()
    if failures:
        print("targets missed:\n  " + "\n  ".join(failures))
    else:
        print("all targets met")
    return 1 if failures and args.check else 0


def missed_targets(row):
    """The targets are checked on wall-clock times, as throughput is; on a
    busy machine the CPU-time columns show whether a miss is only noise."""
    kind, out = row["kind"], []
    ratio = row["sed"] / row["tv"]
    if ratio < RATIO_TARGET[kind]:
        out.append("%s: tvconv/sed %.3f below %.2f" % (kind, ratio, RATIO_TARGET[kind]))
    base_target = BASELINE_TARGET.get(kind, BASELINE_DEFAULT_TARGET)
    if "base" in row and row["base"] / row["tv"] < base_target:
        out.append("%s: %.2f times the baseline's throughput, below %.2f"
                   % (kind, row["base"] / row["tv"], base_target))
    share = row["tv_share"]
    if kind in KERNEL_SHARE_TARGET and share > KERNEL_SHARE_TARGET[kind]:
        out.append("%s: %.0f%% of the CPU time in the kernel, above %.0f%%"
                   % (kind, 100 * share, 100 * KERNEL_SHARE_TARGET[kind]))
    for r in (row, row.get("double")):
        if r and r["peak"] > MEMORY_FACTOR * r["output"] + MEMORY_SLACK:
            out.append("%s: peak %s above 1.1 x the output %s + 16 MB"
                       % (kind, mb(r["peak"]), mb(r["output"])))
    if "double" in row and row["double"]["tv"] / row["tv"] > SCALING_TARGET:
        out.append("%s: the doubled input took %.2f times as long" % (kind, row["double"]["tv"] / row["tv"]))
    return out


def report(row):
    n = row["bytes"] / MB
    line = ("%-9s %6.1f MB  tvconv %6.1f MB/s (user %.0f ms, system %.0f ms)  sed %6.1f MB/s "
            "(user %.0f ms, system %.0f ms)  ratio %.3f (CPU %.3f)  peak %s") % (
        row["kind"], n, n / row["tv"], 1000 * row["tv_user"], 1000 * row["tv_sys"], n / row["sed"],
        1000 * row["sed_user"], 1000 * row["sed_sys"], row["sed"] / row["tv"],
        row["sed_cpu"] / row["tv_cpu"], mb(row["peak"]))
    if "base" in row:
        line += "  baseline %6.1f MB/s (x%.2f; user %.0f ms, system %.0f ms)" % (
            n / row["base"], row["base"] / row["tv"], 1000 * row["base_user"], 1000 * row["base_sys"])
    if "double" in row:
        d = row["double"]
        line += "  x2: time %.2f (CPU %.2f), peak %s" % (d["tv"] / row["tv"], d["tv_cpu"] / row["tv_cpu"], mb(d["peak"]))
    print(line, flush=True)


def table(rows):
    head = ("| input | size | output / size | tvconv MB/s | baseline MB/s | sed MB/s | tvconv/sed "
            "| tvconv/sed (CPU) | tvconv user / system ms | baseline user / system ms "
            "| sed user / system ms | tvconv kernel share | peak RSS | peak / output "
            "| x2: time | x2: CPU | x2: peak / size |")
    lines = [head, "|" + "---|" * (head.count("|") - 1)]

    def times(r, name):
        if name + "_user" not in r:
            return "-"
        return "%.0f / %.0f" % (1000 * r[name + "_user"], 1000 * r[name + "_sys"])

    for r in rows:
        n = r["bytes"]
        d = r.get("double")
        lines.append(("| %s | %.0f MB | %.2f | %.1f | %s | %.1f | %.3f | %.3f | %s | %s | %s | %.0f%% "
                      "| %s | %.2f | %s | %s | %s |") % (
            r["kind"], n / MB, r["output"] / n, n / MB / r["tv"],
            "%.1f" % (n / MB / r["base"]) if "base" in r else "-", n / MB / r["sed"], r["sed"] / r["tv"],
            r["sed_cpu"] / r["tv_cpu"], times(r, "tv"), times(r, "base"), times(r, "sed"),
            100 * r["tv_share"], mb(r["peak"]), r["peak"] / max(1, r["output"]),
            "%.2f" % (d["tv"] / r["tv"]) if d else "-",
            "%.2f" % (d["tv_cpu"] / r["tv_cpu"]) if d else "-",
            "%.2f" % (d["peak"] / d["bytes"]) if d else "-"))
    return "\n".join(lines)


if __name__ == "__main__":
    sys.exit(main())
