#!/usr/bin/env python3
"""Checks what a tvconv-tree run left behind, for faults_test.sh.

  fault_check.py snapshot DIR
      prints every entry of DIR: type, mode, size, mtime and content digest
  fault_check.py check --hash HASH_FILE --target DIR --record FILE
                 [--allow DIR]... [--exact DIR] [--temporaries]
                 [--covered] [--source DIR SNAPSHOT] [--edited PATH]...
      prints one line per problem and exits 1 if there is any:
      - with --allow: every regular file in the target equals the file at the
        same place in one of the allowed trees (its full conversion, or what
        an earlier complete run wrote): nothing half-written;
      - with --exact: the target holds exactly that tree, modes included;
      - temporary files of the writer are problems unless --temporaries;
      - every file the record claims (the record, then each whole entry of
        its journal, as tvconv-tree reads them) exists in the target with the
        hash the record gives, unless (with --covered) an intent that no
        later claim resolved covers what it holds: a run killed between
        renaming files and journalling their claims leaves that;
      - with --covered: every regular file in the target is claimed with the
        hash it holds or covered by such an intent, so that the next run
        never takes the tool's own file for a hand edit;
      - with --source: the source still matches its snapshot;
      - a target file named by --edited (relative to the target) was edited
        by hand: it holds no claimed hash, and it must still hold every line
        that is in it now in every allowed tree, which the first --allow
        tree gives (the hand edit, before or after a merge).
"""
import hashlib
import json
import os
import stat
import subprocess
import sys
import tempfile

TEMPORARY = ".tvconv-tree."


def walk(root):
    """Relative path -> lstat result of everything under root."""
    entries = {}
    for directory, dirs, files in os.walk(root):
        for name in dirs + files:
            path = os.path.join(directory, name)
            entries[os.path.relpath(path, root)] = os.lstat(path)
    return entries


def snapshot(root):
    lines = []
    for rel, st in sorted(walk(root).items()):
        digest = ""
        if stat.S_ISREG(st.st_mode):
            with open(os.path.join(root, rel), "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
        lines.append(f"{stat.filemode(st.st_mode)} {st.st_size} {st.st_mtime_ns} {digest} {rel}")
    return "\n".join(lines) + "\n"


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def name(value):
    """A name as the record stores it: a string, or bytes as hex."""
    if isinstance(value, dict):
        return bytes.fromhex(value["hex"]).decode("utf-8", "surrogateescape")
    return value


EMPTY_HASH = None  # the content hash of no bytes, from the helper


def claims(record):
    """(target path -> written_hash, target path -> the hashes its unresolved
    intent accepts), as the next run would read the record."""
    claimed, intents = {}, {}

    def intent(entry):
        accepted = {entry["written_hash"]}
        if "held" in entry:
            accepted.add(EMPTY_HASH if entry["held"] is None else entry["held"])
        intents[name(entry["intent"])] = accepted

    text = read(record)
    if text is not None:
        document = json.loads(text)
        for entry in document["files"]:
            claimed[name(entry["target"])] = entry["written_hash"]
        for entry in document.get("intents", []):
            intent(entry)
    # A line that is not a whole entry (cut off by a killed run) claims
    # nothing; the lines after it still do. A claim resolves an intent.
    for line in (read(record + ".journal") or b"").split(b"\n"):
        try:
            entry = json.loads(line)
            if "intent" in entry:
                intent(entry)
                continue
            for field in ("source", "source_id", "source_hash", "inputs", "target_id",
                          "findings"):
                entry[field]
        except (ValueError, KeyError, TypeError):
            continue
        claimed[name(entry["target"])] = entry["written_hash"]
        intents.pop(name(entry["target"]), None)
    return claimed, intents


def hashes(helper, paths):
    """Path -> the content hash the record uses, by the helper."""
    if not paths:
        return {}
    out = subprocess.run([helper] + paths, check=True, capture_output=True, text=True).stdout
    return dict(reversed(line.split("  ", 1)) for line in out.splitlines())


def check(args):
    problems = []
    target, record = args["target"], args["record"]
    entries = walk(target) if os.path.isdir(target) else {}
    files = []
    for rel, st in sorted(entries.items()):
        if os.path.basename(rel).startswith(TEMPORARY):
            if not args["temporaries"]:
                problems.append(f"temporary file left: {rel}")
            continue
        if stat.S_ISREG(st.st_mode):
            files.append(rel)
        elif not stat.S_ISDIR(st.st_mode):
            problems.append(f"neither file nor directory: {rel}")

    for rel in files if args["allow"] else []:
        allowed = [read(os.path.join(tree, rel)) for tree in args["allow"]]
        if read(os.path.join(target, rel)) not in [a for a in allowed if a is not None]:
            problems.append(f"neither a complete earlier version nor the full conversion: {rel}")

    if args["exact"]:
        want, got = walk(args["exact"]), entries
        for rel in sorted(set(want) | set(got)):
            if rel not in got:
                problems.append(f"missing: {rel}")
            elif rel not in want:
                problems.append(f"not expected: {rel}")
            elif stat.filemode(want[rel].st_mode) != stat.filemode(got[rel].st_mode):
                problems.append(f"mode {stat.filemode(got[rel].st_mode)}, expected "
                                f"{stat.filemode(want[rel].st_mode)}: {rel}")
            elif stat.S_ISREG(got[rel].st_mode) and (read(os.path.join(target, rel)) !=
                                                     read(os.path.join(args["exact"], rel))):
                problems.append(f"content differs: {rel}")

    global EMPTY_HASH
    with tempfile.NamedTemporaryFile() as empty:
        EMPTY_HASH = hashes(args["hash"], [empty.name])[empty.name]
    claimed, intents = claims(record)
    known = hashes(args["hash"], [os.path.join(target, rel) for rel in files])
    covered = args["covered"]
    edited = set(args["edited"])
    for rel in sorted(edited):
        lines = (read(os.path.join(target, rel)) or b"").splitlines()
        wanted = (read(os.path.join(args["allow"][0], rel)) if args["allow"] else b"") or b""
        for line in wanted.splitlines():
            if b"by hand" in line and line not in lines:
                problems.append(f"the hand edit {line!r} is lost from {rel}")
    for rel, written in sorted(claimed.items()):
        if rel in edited and not args["exact"]:
            continue
        actual = known.get(os.path.join(target, rel))
        if actual is None:
            problems.append(f"the record claims {rel}, which does not exist")
        elif actual != written and not (covered and actual in intents.get(rel, ())):
            problems.append(f"the record claims {rel} with hash {written}; it holds {actual}")
    for rel in [f for f in files if f not in edited] if covered else []:
        actual = known[os.path.join(target, rel)]
        if rel not in claimed and actual not in intents.get(rel, ()):
            problems.append(f"neither claimed nor announced: {rel}")

    if args["source"]:
        directory, saved = args["source"]
        with open(saved) as f:
            if snapshot(directory) != f.read():
                problems.append(f"the source tree changed: {directory}")

    for p in problems:
        print(p)
    return 1 if problems else 0


def main(argv):
    if len(argv) == 2 and argv[0] == "snapshot":
        sys.stdout.write(snapshot(argv[1]))
        return 0
    if not argv or argv[0] != "check":
        print(__doc__, file=sys.stderr)
        return 2
    args = {"hash": None, "target": None, "record": None, "allow": [], "exact": None,
            "temporaries": False, "source": None, "covered": False, "edited": []}
    i = 1
    while i < len(argv):
        option = argv[i]
        if option in ("--hash", "--target", "--record", "--exact"):
            args[option[2:]] = argv[i + 1]
            i += 2
        elif option == "--edited":
            args["edited"].append(argv[i + 1])
            i += 2
        elif option == "--allow":
            args["allow"].append(argv[i + 1])
            i += 2
        elif option == "--source":
            args["source"] = (argv[i + 1], argv[i + 2])
            i += 3
        elif option == "--covered":
            args["covered"] = True
            i += 1
        elif option == "--temporaries":
            args["temporaries"] = True
            i += 1
        else:
            print(f"fault_check.py: unknown option {option}", file=sys.stderr)
            return 2
    return check(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
