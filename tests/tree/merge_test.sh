#!/bin/sh
# Source changes merged into pages edited by hand: the stored last
# conversions, clean merges in a row, conflicts (kept, reported, written
# with markers only into --conflicts DIR), --force, --no-merge, and runs
# that must write neither the store nor the target.
# Usage: merge_test.sh TVCONV_TREE
set -u
TESTS_DIR=$(cd "$(dirname "$0")" && pwd)
umask 022
TREE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
W=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$W"' EXIT
cd "$W" || exit 1
. "$TESTS_DIR/../check.sh"
CHECK="$TESTS_DIR/check_reports.py"
SCHEMA="$TESTS_DIR/../../doc/report.schema.json"
# Debian's Python, with python3-jsonschema.
PY=/usr/bin/python3
has() { grep -q -- "$1" "$2" || { echo "no '$1' in $2:" >&2; cat "$2" >&2; false; }; }
lacks() { ! grep -q -- "$1" "$2"; }
run() { "$TREE" --state "$W/st/rec.json" "$@" s t >out 2>err; status=$?; }
action() {  # action PATH: the JSON report's action for it
    python3 -c 'import json,sys; print([f["action"] for f in json.load(open("r.json"))["files"] if f["path"] == sys.argv[1]][0])' "$1"
}
# The bases in the store's packs, and whether it holds every base the
# record names with no more room for the others than for those.
stored() {
    python3 - "$1" <<'PY'
import glob, json, sys
bases = {}
for pack in glob.glob("st/rec.json.bases/pack-*"):
    data, at = open(pack, "rb").read(), 0
    while at < len(data):
        end = data.index(b"\n", at)
        name, size = data[at:end].split()
        bases[name.decode()] = int(size)
        at = end + 1 + int(size)
named = set()
for f in json.load(open("st/rec.json"))["files"]:
    named |= {f.get("base_hash"), f.get("conflict_base")} - {None}
if sys.argv[1] == "count":
    print(len(bases))
else:
    live = sum(n for h, n in bases.items() if h in named)
    assert named <= set(bases), (named, bases)
    assert sum(bases.values()) - live <= live, bases
PY
}

mkdir -p s st
printf 'one\ntwo\nthree\nfour\nfive\nsix\nseven\n' >s/a.html
printf 'other\n' >s/b.html
run
check "first run" test "$status" -eq 0
check "the last conversions are stored, one per page" test "$(stored count)" -eq 2
cp t/b.html b.before

# --- three source changes in a row into one edited page -----------------------
sed -i 's/^four$/four, edited by hand/' t/a.html
sed -i 's/^one$/one, v2/' s/a.html
# --diff previews the merge: applied to a copy of the source, its patch
# gives what the run then writes.
cp t/a.html edited
"$TREE" --diff --state "$W/st/rec.json" s t >merge.diff 2>err
check "--diff of a merge: exit 0" test $? -eq 0
check "--diff of a merge: says a run would merge" has '^a.html: a run would merge' err
check "--diff of a merge: the target untouched" cmp edited t/a.html
rm -rf copy && cp -r s copy && (cd copy && patch -s -p1 <../merge.diff)
run --report r.json --html r.html --sarif r.sarif
check "--diff of a merge: its patch gives the merge" cmp copy/a.html t/a.html
check "1st merge: exit 0" test "$status" -eq 0
check "1st merge: the reports are valid and agree" $PY "$CHECK" agree r.json r.sarif r.html s
check "1st merge: the JSON report is valid" $PY "$CHECK" validate json r.json "$SCHEMA"
check "1st merge: the hand edit is kept" has 'four, edited by hand' t/a.html
check "1st merge: the source's change is in" has 'one, v2' t/a.html
check "1st merge: its note" has '^a.html: merged the source' err
check "1st merge: the JSON action" test "$(action a.html)" = merged
check "1st merge: counted as merged" has '^  edited by hand, the source.s changes merged in: 1$' err
check "1st merge: the other page is left alone" cmp b.before t/b.html
sed -i 's/^seven$/seven, v3/' s/a.html
run
check "2nd merge: exit 0" test "$status" -eq 0
sed -i 's/^two$/two, v4/' s/a.html
run
check "3rd merge: exit 0" test "$status" -eq 0
printf 'one, v2\ntwo, v4\nthree\nfour, edited by hand\nfive\nsix\nseven, v3\n' >want
check "after three merges the page holds every change and the edit" cmp want t/a.html
check "the store holds what the record names, and little else" stored live
before=$(stat -c %Y.%y t/a.html)
touch -d '1 minute ago' s/a.html
run
check "a source touched after merges: nothing merged" lacks 'merged' err
check "  nor written" has '^  written: 0$' err
check "  and the page alone" test "$before" = "$(stat -c %Y.%y t/a.html)"
run
check "an unchanged re-run after merges writes nothing" has '^  written: 0$' err
check "  and leaves the merged page alone" test "$before" = "$(stat -c %Y.%y t/a.html)"
check "  and exits 0" test "$status" -eq 0

# --- a conflict ---------------------------------------------------------------------
sed -i 's/^two, v4$/two, by hand/' t/a.html
sed -i 's/^two, v4$/two, from the source/' s/a.html
cp t/a.html edited
cp -r st st.before
"$TREE" --diff --state "$W/st/rec.json" s t >conflict.diff 2>err
check "--diff of a conflict: exit 3" test $? -eq 3
check "--diff of a conflict: the hunk" has '| two, from the source' err
rm -rf copy && cp -r s copy && (cd copy && patch -s -p1 <../conflict.diff)
check "--diff of a conflict: the target untouched" cmp edited t/a.html
check "--diff of a conflict: the record untouched" cmp st.before/rec.json st/rec.json
run --report r.json --html r.html --sarif r.sarif --conflicts "$W/cf"
check "conflict: exit 3" test "$status" -eq 3
check "conflict: the target is untouched" cmp edited t/a.html
check "conflict: no marker in the target" lacks '^<<<<<<<' t/a.html
check "conflict: reported" has '^a.html: edited by hand since the last run, and the source.s changes conflict' err
check "conflict: the hunk on the terminal" has '| two, from the source' err
check "conflict: the next line points to the conflicts" has '^next: 1 page .*conflict markers in ' err
check "conflict: the JSON action and hunk" python3 - <<'PY'
import json
f = [f for f in json.load(open("r.json"))["files"] if f["path"] == "a.html"][0]
assert f["action"] == "conflict", f
[h] = f["conflicts"]
assert (h["base"], h["ours"], h["theirs"]) == ("two, v4\n", "two, by hand\n", "two, from the source\n"), h
PY
check "conflict: the JSON report is valid" $PY "$CHECK" validate json r.json "$SCHEMA"
check "conflict: the reports agree" $PY "$CHECK" agree r.json r.sarif r.html s
check "conflict: the HTML page shows the hunk" grep -q '<pre class="side">two, from the source' r.html
check "conflict: the merge-conflict finding" grep -q '"code": "merge-conflict"' r.json
printf 'one, v2\ntwo, from the source\nthree\nfour\nfive\nsix\nseven, v3\n' >theirs
printf 'one, v2\ntwo, v4\nthree\nfour\nfive\nsix\nseven, v3\n' >base
git merge-file -p -L 'a.html (target, edited by hand)' -L 'a.html (last conversion)' \
    -L 'a.html (new conversion)' edited base theirs >want
check "conflict: --conflicts writes what git merge-file writes" cmp want cf/a.html
check "--diff of a conflict: its patch gives the merge with markers" cmp want copy/a.html
run
check "conflict, run again unresolved: still a conflict" test "$status" -eq 3
check "  the target still untouched" cmp edited t/a.html
# An edit elsewhere in the page does not resolve the conflict: the source's
# change to the conflicting line is still to be merged, not dropped.
sed -i 's/^four, edited by hand$/four, edited by hand again/' t/a.html
cp t/a.html edited
run --conflicts "$W/cf"
check "conflict, edited elsewhere: still a conflict" test "$status" -eq 3
check "  the target untouched" cmp edited t/a.html
check "  the same hunk" has '| two, from the source' err
check "  --conflicts shows the new edit too" has '^four, edited by hand again$' cf/a.html
run
check "  and so on the next run" test "$status" -eq 3
run --conflicts "$W/t/x"
check "--conflicts inside the target is refused" test "$status" -eq 2
check "  with a message" has 'conflicts directory .* overlaps' err
run --conflicts "$W/s/x"
check "--conflicts inside the source is refused" test "$status" -eq 2
run --conflicts "$W"
check "--conflicts around the target is refused" test "$status" -eq 2

# The conflict resolved in DIR and copied into the target: merged cleanly.
sed -i '/^<<<<<<<\|^=======\|^>>>>>>>/d; /^two, by hand$/d; s/^two, from the source$/two, from the source and by hand/' cf/a.html
cp cf/a.html t/a.html
run --report r.json
check "resolved: exit 0" test "$status" -eq 0
check "resolved: the page is what was resolved" cmp cf/a.html t/a.html
sed -i 's/^six$/six, v6/' s/a.html
run
check "resolved, then one more source change: merged" test "$status" -eq 0
check "  keeping the resolution" has 'two, from the source and by hand' t/a.html
check "  and taking the change" has 'six, v6' t/a.html

# --- --no-merge, --force --------------------------------------------------------------
sed -i 's/^three$/three, by hand/' t/a.html
sed -i 's/^seven, v3$/seven, v7/' s/a.html
cp t/a.html edited
run --no-merge
check "--no-merge: exit 3" test "$status" -eq 3
check "--no-merge: kept as it was" cmp edited t/a.html
check "--no-merge: reported as edited by hand" has '^a.html: edited by hand since the last run; not overwritten' err
# --check and --diff write neither the store nor the target.
ls -l --time-style=full-iso st st/rec.json.bases t >before
"$TREE" --check --state "$W/st/rec.json" s t >/dev/null 2>&1
"$TREE" --diff --state "$W/st/rec.json" s t >/dev/null 2>&1
ls -l --time-style=full-iso st st/rec.json.bases t >after
check "--check and --diff write neither the store nor the target" cmp before after
run
check "then a merge" test "$status" -eq 0
check "  with both changes" has 'seven, v7' t/a.html
sed -i 's/^one, v2$/one, by hand/' t/a.html
run --force
check "--force overwrites the edit" lacks 'by hand' t/a.html

# --- a record written before conversions were stored --------------------------------
sed -i 's/^three$/three, again by hand/' t/a.html
sed -i 's/^six, v6$/six, v8/' s/a.html
rm -r st/rec.json.bases
sed -i 's/,"base_hash":"[0-9a-f]*"//' st/rec.json
cp t/a.html edited
run
check "no stored base: kept as before (exit 3)" test "$status" -eq 3
check "no stored base: the edit is untouched" cmp edited t/a.html
check "no stored base: reported as edited by hand" has '^a.html: edited by hand since the last run; not overwritten' err

echo "$passed passed, $failures failed"
test "$failures" -eq 0
