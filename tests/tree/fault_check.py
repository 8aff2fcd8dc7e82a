#!/usr/bin/env python3
"""Checks what a tvconv-tree run left behind, for faults_test.sh.

  fault_check.py snapshot DIR
      prints every entry of DIR: type, mode, size, mtime and content digest
  fault_check.py check --hash HASH_FILE --target DIR --record FILE
                 [--allow DIR]... [--exact DIR] [--temporaries]
                 [--lag DIR N] [--source DIR SNAPSHOT]
      prints one line per problem and exits 1 if there is any:
      - with --allow: every regular file in the target equals the file at the
        same place in one of the allowed trees (its full conversion, or what
        an earlier complete run wrote): nothing half-written;
      - with --exact: the target holds exactly that tree, modes included;
      - temporary files of the writer are problems unless --temporaries;
      - every file the record claims (the record, then each whole entry of
        its journal, as tvconv-tree reads them) exists in the target with the hash the record gives; with --lag DIR
        N, up to N claims may still give the hash of the file in DIR (the
        previous run's) for a file that holds an allowed version: a process
        killed between replacing files and journalling them leaves that;
      - with --source: the source still matches its snapshot.
"""
import hashlib
import json
import os
import stat
import subprocess
import sys

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


def claims(record):
    """Target path -> written_hash, as the next run would read the record."""
    claimed = {}
    text = read(record)
    if text is not None:
        for entry in json.loads(text)["files"]:
            claimed[name(entry["target"])] = entry["written_hash"]
    # A line that is not a whole entry (cut off by a killed run) claims
    # nothing; the lines after it still do.
    for line in (read(record + ".journal") or b"").split(b"\n"):
        try:
            entry = json.loads(line)
            for field in ("source", "source_id", "source_hash", "inputs", "target_id",
                          "findings"):
                entry[field]
        except (ValueError, KeyError, TypeError):
            continue
        claimed[name(entry["target"])] = entry["written_hash"]
    return claimed


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

    claimed = claims(record)
    lag_dir, lag = args["lag"] or (None, 0)
    paths = [os.path.join(target, rel) for rel in claimed]
    if lag_dir:
        paths += [os.path.join(lag_dir, rel) for rel in claimed]
    known = hashes(args["hash"], [p for p in paths if os.path.isfile(p)])
    for rel, written in sorted(claimed.items()):
        actual = known.get(os.path.join(target, rel))
        if actual is None:
            problems.append(f"the record claims {rel}, which does not exist")
        elif actual != written:
            if (lag > 0 and lag_dir and written == known.get(os.path.join(lag_dir, rel)) and
                    rel in files and not any(p.endswith(": " + rel) for p in problems)):
                lag -= 1
                continue
            problems.append(f"the record claims {rel} with hash {written}; it holds {actual}")

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
            "temporaries": False, "source": None, "lag": None}
    i = 1
    while i < len(argv):
        option = argv[i]
        if option in ("--hash", "--target", "--record", "--exact"):
            args[option[2:]] = argv[i + 1]
            i += 2
        elif option == "--allow":
            args["allow"].append(argv[i + 1])
            i += 2
        elif option == "--source":
            args["source"] = (argv[i + 1], argv[i + 2])
            i += 3
        elif option == "--lag":
            args["lag"] = (argv[i + 1], int(argv[i + 2]))
            i += 3
        elif option == "--temporaries":
            args["temporaries"] = True
            i += 1
        else:
            print(f"fault_check.py: unknown option {option}", file=sys.stderr)
            return 2
    return check(args)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
