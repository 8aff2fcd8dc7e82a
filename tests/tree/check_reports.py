"""Checks of tvconv-tree's reports for reports_test.sh. Run with Debian's
/usr/bin/python3, which has python3-jsonschema.

  check_reports.py validate json|sarif FILE SCHEMA
      FILE is valid against SCHEMA; and documents made invalid from it on
      purpose are not, so that a validator that accepts anything fails.
  check_reports.py agree REPORT.json REPORT.sarif REPORT.html SOURCE_DIR
      The three reports say the same: the summary counts follow from the
      list of files, the SARIF results are the JSON diagnostics, and the
      HTML page shows the same counts and the same findings.
  check_reports.py findings REPORT.html
      Prints the findings as the page shows them, for a comparison with the
      expected ones.
  check_reports.py same-but-roots ROOT_A ROOT_B FILE...
      Each FILE under ROOT_A equals the one under ROOT_B once each root's
      absolute path is replaced by one placeholder.

Each command prints what differs and exits 1 when a check fails.
"""

import copy
import json
import os
import re
import sys
import urllib.parse
from collections import Counter
from html.parser import HTMLParser

import jsonschema

failures = []


def fail(message):
    failures.append(message)


def load(path):
    with open(path, "rb") as f:
        return json.loads(f.read().decode("utf-8"))


def as_bytes(text):
    """A name or message of the JSON report as the bytes it stands for."""
    return text.encode("utf-8", "surrogateescape")


def shown(text):
    """How the SARIF log shows those bytes: \\xNN for a byte that is not
    UTF-8."""
    return as_bytes(text).decode("utf-8", "backslashreplace")


# --- validate ------------------------------------------------------------------

def validator(schema):
    cls = jsonschema.validators.validator_for(schema)
    cls.check_schema(schema)
    checker = cls.FORMAT_CHECKER
    # Without rfc3987 the validator skips "uri" silently.
    if "uri" not in checker.checkers:
        sys.exit("jsonschema cannot check URIs: install python3-rfc3987")
    return cls(schema, format_checker=checker)


def errors(v, document):
    return sorted(f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
                  for e in v.iter_errors(document))


def json_mutants(doc):
    def set_(path, value):
        def mutate(d):
            target = d
            for key in path[:-1]:
                target = target[key]
            target[path[-1]] = value
        return mutate

    def drop(path):
        def mutate(d):
            target = d
            for key in path[:-1]:
                target = target[key]
            del target[path[-1]]
        return mutate

    yield "format_version 2", set_(["format_version"], 2)
    yield "exit_status 2", set_(["exit_status"], 2)
    yield "check as a string", set_(["check"], "false")
    yield "no summary.stale", drop(["summary", "stale"])
    yield "a negative count", set_(["summary", "templates"], -1)
    if doc["files"]:
        yield "a file of status 'done'", set_(["files", 0, "status"], "done")
    if doc["diagnostics"]:
        yield "severity 'warn'", set_(["diagnostics", 0, "severity"], "warn")
        yield "line 0", set_(["diagnostics", 0, "line"], 0)
        yield "target_line 0", set_(["diagnostics", 0, "target_line"], 0)
        yield "target_line as a string", set_(["diagnostics", 0, "target_line"], "1")
        yield "target_path as a number", set_(["diagnostics", 0, "target_path"], 1)
        yield "a diagnostic without its code", drop(["diagnostics", 0, "code"])


def sarif_mutants(doc):
    results = doc["runs"][0]["results"]

    def mutate_result(index, change):
        def mutate(d):
            change(d["runs"][0]["results"][index])
        return mutate

    yield "version 2.0.0", lambda d: d.__setitem__("version", "2.0.0")
    yield "no runs", lambda d: d.pop("runs")
    yield "a driver without a name", lambda d: d["runs"][0]["tool"]["driver"].pop("name")
    yield "a rule of level 'warn'", lambda d: d["runs"][0]["tool"]["driver"]["rules"][0][
        "defaultConfiguration"].__setitem__("level", "warn")
    yield "a $schema that is no URI", lambda d: d.__setitem__("$schema", "no scheme")
    if results:
        yield "level 'warn'", mutate_result(0, lambda r: r.__setitem__("level", "warn"))
        yield "a result without a message", mutate_result(0, lambda r: r.pop("message"))
    with_line = [i for i, r in enumerate(results)
                 if "region" in r["locations"][0]["physicalLocation"]]
    if with_line:
        yield "startLine 0", mutate_result(
            with_line[0],
            lambda r: r["locations"][0]["physicalLocation"]["region"].__setitem__("startLine", 0))


def validate(kind, path, schema_path):
    doc = load(path)
    v = validator(load(schema_path))
    for e in errors(v, doc):
        fail(f"{path}: {e}")
    mutants = json_mutants(doc) if kind == "json" else sarif_mutants(doc)
    tried = 0
    for name, mutate in mutants:
        bad = copy.deepcopy(doc)
        mutate(bad)
        tried += 1
        if not errors(v, bad):
            fail(f"{path}: the schema accepts a document with {name}")
    if tried < 5:
        fail(f"{path}: too few invalid documents tried ({tried})")


# --- agree ---------------------------------------------------------------------

# Codes that say what happened to a file, not what its conversion found.
FILE_CODES = {"file-failed", "template-skipped", "file-skipped", "edited-by-hand",
              "stale-target", "merge-conflict"}


def derived_summary(doc):
    files = doc["files"]
    status = Counter(f["status"] for f in files)
    action = Counter(f["action"] for f in files)
    failed_dirs = [f["path"] for f in files
                   if f["kind"] == "directory" and f["status"] == "failed"]
    # A directory that could not be made counts through the files lost
    # with it, when there are any.
    empty_failed_dirs = [d for d in failed_dirs
                         if not any(f["path"].startswith(d + "/") and f["status"] == "failed"
                                    for f in files)]
    return {
        "templates": sum(f["kind"] == "template" for f in files),
        "other_files": sum(f["kind"] == "file" for f in files),
        "converted": status["converted"],
        "manual": status["manual"],
        "edited": status["edited"],
        "merged": sum(d["code"] == "merged" for d in doc["diagnostics"]),
        "conflicts": sum(f["action"] == "conflict" and "conflicts" in f for f in files),
        "kept": sum(d["code"] == "kept-by-hand" for d in doc["diagnostics"]),
        "failed": sum(f["status"] == "failed" and f["kind"] != "directory" for f in files)
        + len(empty_failed_dirs),
        "copied": status["copied"],
        "not_copied": status["not_copied"],
        "renamed": len(doc["renames"]),
        "references_rewritten": sum(d["code"] == "reference-rewritten"
                                    for d in doc["diagnostics"]),
        "written": action["written"] + action["merged"],
        "unchanged": action["unchanged"],
        "skipped": status["skipped"],
        "excluded": status["excluded"],
        "stale": len(doc["stale"]),
    }


def check_json_consistency(doc, path):
    derived = derived_summary(doc)
    if derived != doc["summary"]:
        fail(f"{path}: the summary {doc['summary']} does not follow from the lists: {derived}")
    findings = Counter(d["path"] for d in doc["diagnostics"] if d["code"] not in FILE_CODES)
    for f in doc["files"]:
        if f["kind"] == "template" and f["diagnostics"] != findings[f["path"]]:
            fail(f"{path}: {f['path']} counts {f['diagnostics']} diagnostics, "
                 f"the list has {findings[f['path']]}")
    renamed = [{"from": f["path"], "to": f["target"]} for f in doc["files"]
               if f["kind"] == "template" and f["target"] != f["path"]
               and f["status"] in ("converted", "manual", "edited")]
    if renamed != doc["renames"]:
        fail(f"{path}: renames {doc['renames']}, but the files say {renamed}")


def check_sarif(doc, sarif, path, source_dir):
    if len(sarif["runs"]) != 1:
        fail(f"{path}: {len(sarif['runs'])} runs")
        return
    run = sarif["runs"][0]
    driver = run["tool"]["driver"]
    if driver["name"] != "tvconv-tree" or doc["tool"] != "tvconv-tree " + driver["version"]:
        fail(f"{path}: driver {driver['name']} {driver['version']}, JSON {doc['tool']}")
    rules = driver["rules"]
    levels = {r["id"]: r["defaultConfiguration"]["level"] for r in rules}
    if len(levels) != len(rules):
        fail(f"{path}: a rule id appears twice")
    root = "file://" + urllib.parse.quote(os.path.realpath(source_dir)) + "/"
    base = run["originalUriBaseIds"]["SRCROOT"]["uri"]
    if base != root:
        fail(f"{path}: SRCROOT {base}, expected {root}")
    # The targets are where the user edits: a run into a TARGET locates
    # the findings of its converted files there.
    target_base = run["originalUriBaseIds"].get("TARGETROOT", {}).get("uri")
    if doc["target"] and os.path.isdir(doc["target"]):
        target_root = "file://" + urllib.parse.quote(os.path.realpath(doc["target"])) + "/"
        if target_base != target_root:
            fail(f"{path}: TARGETROOT {target_base}, expected {target_root}")
    elif target_base is not None:
        fail(f"{path}: TARGETROOT {target_base} without a target")

    def place(location):
        physical = location["physicalLocation"]
        artifact = physical["artifactLocation"]
        return (urllib.parse.unquote_to_bytes(artifact["uri"]), artifact["uriBaseId"],
                physical.get("region", {}).get("startLine"))

    def wanted_places(d):
        source = (as_bytes(d["path"]), "SRCROOT", d["line"])
        if target_base is None or d.get("target_path") is None:
            return source, []
        return (as_bytes(d["target_path"]), "TARGETROOT", d["target_line"]), [source]

    results = run["results"]
    check_sarif_cap(doc, run, path)
    # The results are the JSON diagnostics, in their order, less those the
    # cap left out.
    wanted = iter(doc["diagnostics"])
    for i, r in enumerate(results):
        related = r.get("relatedLocations", [])
        got = (r["ruleId"], r["level"], r["message"]["text"], place(r["locations"][0]),
               [place(l) for l in related])
        for d in wanted:
            want = (d["code"], d["severity"], shown(d["message"]), *wanted_places(d))
            if got == want:
                break
        else:
            fail(f"{path}: result {i} {got} is no JSON diagnostic after result {i - 1}")
            return
        where = f"{path}: result {i} ({d['path']} {d['code']})"
        if len(r["locations"]) != 1:
            fail(f"{where}: {len(r['locations'])} locations")
        for location in r["locations"] + related:
            uri = location["physicalLocation"]["artifactLocation"]["uri"]
            if not re.fullmatch(r"(?:[A-Za-z0-9._~/-]|%[0-9A-F]{2})+", uri):
                fail(f"{where}: the uri {uri} is not percent-encoded throughout")
        if levels.get(r["ruleId"]) != r["level"] or rules[r["ruleIndex"]]["id"] != r["ruleId"]:
            fail(f"{where}: rule {r.get('ruleIndex')} and level {r['level']} disagree with "
                 f"the rules")


SEVERITIES = ["error", "warning", "note"]
# What a code-scanning service accepts (GitHub: 25,000 results a run, 5,000
# shown, 10 MB a file).
MAX_RESULTS = 5000
MAX_BYTES = 10_000_000


def check_sarif_cap(doc, run, path):
    """The log holds the most severe findings within the cap, and says what
    it left out."""
    if os.path.getsize(path) > MAX_BYTES:
        fail(f"{path}: {os.path.getsize(path)} bytes, more than {MAX_BYTES}")
    results = run["results"]
    if len(results) > MAX_RESULTS:
        fail(f"{path}: {len(results)} results, more than {MAX_RESULTS}")
    total = Counter(d["severity"] for d in doc["diagnostics"])
    kept = Counter(r["level"] for r in results)
    left = {k: total[k] - kept[k] for k in SEVERITIES}
    said = run.get("properties", {}).get("resultsLeftOut")
    if any(left.values()):
        if said != left:
            fail(f"{path}: left out {left}, the log says {said}")
        notes = run.get("invocations", [{}])[0].get("toolExecutionNotifications", [])
        if not any(n["descriptor"]["id"] == "results-left-out" for n in notes):
            fail(f"{path}: no notification says that results were left out")
        worst_left = min(SEVERITIES.index(k) for k in SEVERITIES if left[k])
        least_kept = max((SEVERITIES.index(r["level"]) for r in results), default=-1)
        if least_kept > worst_left:
            fail(f"{path}: a {SEVERITIES[least_kept]} was kept and a "
                 f"{SEVERITIES[worst_left]} left out")
    elif said is not None or "invocations" in run:
        fail(f"{path}: nothing was left out, but the log says {said}")


class Page(HTMLParser):
    """The counts, exit status and findings of the HTML report: a section per
    file, its findings one a line of text, and the data the script draws
    them from, which must agree with the text."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.counts = {}
        self.exit_status = None
        self.findings = []  # [path, code, severity, text]
        self.problems = []
        self.rows = Counter()  # table rows by section id
        self._stack = []  # open elements: (tag, attributes)
        self._path = None
        self._text = None  # what collects text: (kind, key)
        self._buffer = ""
        self._first = 0  # the first finding of the current file
        self._depth = 0  # of the element that collects text

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self._stack.append((tag, a))
        classes = (a.get("class") or "").split()
        if tag == "td" and "data-key" in a:
            self._collect(("count", a["data-key"]))
        elif tag == "b" and a.get("id") == "exit-status":
            self._collect(("exit", None))
        elif tag == "span" and "path" in classes:
            self._collect(("path", None))
        elif tag == "pre" and "findings" in classes:
            self._collect(("findings", None))
        elif tag == "script" and "context" in classes:
            self._collect(("data", None))
        elif tag == "tr":
            section = next((x.get("id") for t, x in reversed(self._stack) if t == "section"),
                           None)
            self.rows[section] += 1

    def handle_endtag(self, tag):
        while self._stack:
            open_tag, _ = self._stack.pop()
            if open_tag == tag:
                break
        # The element that collects text closed (not one inside it).
        if self._text and len(self._stack) < self._depth:
            kind, key = self._text
            text = self._buffer
            self._text = None
            if kind == "count":
                self.counts[key] = int(text)
            elif kind == "exit":
                self.exit_status = int(text)
            elif kind == "path":
                self._path = text
                self._first = len(self.findings)
            elif kind == "findings":
                for line in text.split("\n")[:-1]:
                    code, severity = line.split(":")[0].split(",")[0].split(" ")[:2]
                    self.findings.append([self._path, code, [severity], line])
            elif kind == "data":
                self._check_data(json.loads(text))

    def _check_data(self, data):
        mine = self.findings[self._first:]
        listed = [[f[1], f[2][0]] for f in mine]
        if [[c, s] for _, c, s, _ in data[1]] != listed:
            self.problems.append(f"{self._path}: the data says {data[1]}, the text {listed}")
        for (line, _, _, target_line), f in zip(data[1], mine):
            if line and not re.search(f", line {line}[,:]", f[3]):
                self.problems.append(f"{self._path}: the data's line {line} is not in {f[3]!r}")
            if target_line and f", target line {target_line}:" not in f[3]:
                self.problems.append(
                    f"{self._path}: the data's target line {target_line} is not in {f[3]!r}")

    def handle_data(self, data):
        if self._text:
            self._buffer += data

    def _collect(self, what):
        self._text = what
        self._depth = len(self._stack)
        self._buffer = ""


def check_html(doc, path):
    with open(path, "rb") as f:
        text = f.read().decode("utf-8")
    page = Page()
    page.feed(text)
    page.close()
    for problem in page.problems:
        fail(f"{path}: {problem}")
    # Each count carries the JSON summary's key.
    if set(page.counts) != set(doc["summary"]):
        fail(f"{path}: counts {sorted(page.counts)}, JSON {sorted(doc['summary'])}")
    for key, value in page.counts.items():
        if doc["summary"].get(key) != value:
            fail(f"{path}: {key} is {value}, the JSON report says {doc['summary'].get(key)}")
    if page.exit_status != doc["exit_status"]:
        fail(f"{path}: exit status {page.exit_status}, JSON {doc['exit_status']}")
    if ("(check only: nothing written)" in text) != doc["check"]:
        fail(f"{path}: says check only: {not doc['check']}, JSON check: {doc['check']}")
    if ("(interrupted)" in text) != doc["interrupted"]:
        fail(f"{path}: interrupted: {not doc['interrupted']}, JSON {doc['interrupted']}")

    # The page shows what asks for attention, warnings and errors, grouped by
    # file in the order of the JSON list; notes are listed in their sections.
    wanted = [d for d in doc["diagnostics"] if d["severity"] != "note"]
    by_code_page = Counter(f[1] for f in page.findings)
    by_code_json = Counter(d["code"] for d in wanted)
    if by_code_page != by_code_json:
        fail(f"{path}: findings by code {dict(by_code_page)}, JSON {dict(by_code_json)}")
    order = []
    for d in wanted:
        if d["path"] not in order:
            order.append(d["path"])
    grouped = [d for p in order for d in wanted if d["path"] == p]
    # How the page shows a name or a message is held to known strings
    # (`findings`, against data files); here each finding is the JSON one in
    # its place, and one file of the JSON report is one file on the page.
    page_path = {}
    for i, (f, d) in enumerate(zip(page.findings, grouped)):
        line = f", line {d['line']}" if d["line"] is not None else ""
        if d.get("target_line") is not None:
            line += f", target line {d['target_line']}"
        start = f"{d['code']} {d['severity']}{line}: "
        if f[1:3] != [d["code"], [d["severity"]]] or not f[3].startswith(start):
            fail(f"{path}: finding {i}: {f[1:]} is not {d['code']}, {d['severity']}, {start!r}")
        if page_path.setdefault(d["path"], f[0]) != f[0]:
            fail(f"{path}: finding {i} of {d['path']!r} is under {f[0]!r}, "
                 f"not {page_path[d['path']]!r}")
    if len(set(page_path.values())) != len(page_path):
        fail(f"{path}: two files of the JSON report share a name on the page: {page_path}")
    if len(page.findings) != len(grouped):
        fail(f"{path}: {len(page.findings)} findings, JSON {len(grouped)}")
    rows = {
        "failed": sum(d["code"] == "file-failed" for d in doc["diagnostics"]),
        "rewrites": doc["summary"]["references_rewritten"],
        "renames": len(doc["renames"]),
        "skipped": doc["summary"]["skipped"],
        "excluded": doc["summary"]["excluded"],
        "stale": doc["summary"]["stale"],
    }
    for section, n in rows.items():
        if page.rows[section] != n:
            fail(f"{path}: {page.rows[section]} rows under {section}, JSON {n}")


def findings(html_path):
    """The findings as the page shows them, one a line: the file, the code,
    the severity and the text, separated by tabs."""
    with open(html_path, "rb") as f:
        page = Page()
        page.feed(f.read().decode("utf-8"))
        page.close()
    for path, code, severity, text in page.findings:
        print("\t".join([path, code, " ".join(severity), text]))


def agree(json_path, sarif_path, html_path, source_dir):
    doc = load(json_path)
    check_json_consistency(doc, json_path)
    check_sarif(doc, load(sarif_path), sarif_path, source_dir)
    check_html(doc, html_path)


# --- same-but-roots ------------------------------------------------------------

def same_but_roots(root_a, root_b, names):
    for name in names:
        texts = []
        for root in (root_a, root_b):
            with open(os.path.join(root, name), "rb") as f:
                data = f.read()
            real = os.path.realpath(root).encode()
            if real not in data:
                fail(f"{root}/{name}: does not name {real!r}")
            texts.append(data.replace(real, b"@ROOT@"))
        if texts[0] != texts[1]:
            a, b = (t.decode("utf-8", "replace").splitlines() for t in texts)
            first = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
            fail(f"{name}: differs at line {first + 1}: "
                  f"{a[first] if first < len(a) else '(end)'!r} vs "
                  f"{b[first] if first < len(b) else '(end)'!r}")


def main(argv):
    command = argv[1] if len(argv) > 1 else ""
    if command == "validate" and len(argv) == 5:
        validate(argv[2], argv[3], argv[4])
    elif command == "findings" and len(argv) == 3:
        findings(argv[2])
    elif command == "agree" and len(argv) == 6:
        agree(*argv[2:])
    elif command == "same-but-roots" and len(argv) >= 5:
        same_but_roots(argv[2], argv[3], argv[4:])
    else:
        sys.exit(__doc__)
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
