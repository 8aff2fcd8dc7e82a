#!/bin/sh
# The whole-site migration workflow of tvconv-tree: references to renamed
# macro files, re-runs that keep hand edits and write only what changed, the
# record kept outside both trees, an interrupted run, and input that is not
# what it seems.
# Usage: migration_test.sh TVCONV_TREE TVCONV
set -u
TESTS_DIR=$(cd "$(dirname "$0")" && pwd)
umask 022
abspath() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
TREE=$(abspath "$1")
TVCONV=$(abspath "$2")
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
export XDG_CACHE_HOME="$W/cache"
cd "$W" || exit 1
. "$TESTS_DIR/../check.sh"

same() { diff -u "$1" "$2" >&2; }
mtime() { stat -c %Y.%y "$1"; }
has() { grep -q -- "$1" "$2" || { echo "no '$1' in $2:" >&2; cat "$2" >&2; false; }; }
lacks() { ! grep -q -- "$1" "$2" || { echo "'$1' in $2:" >&2; cat "$2" >&2; false; }; }

# --- references to renamed macro files ----------------------------------------
mkdir -p site/inc
printf '@menu[]\nHome\n' >site/inc/_menu.cfg
printf '@init[]\nx\n' >site/tavrin.cfg
printf '^macro_use[inc/_menu.cfg]\n^macro_use[/tavrin.cfg]\n' >site/index.html
printf 'a\n^macro_use[^var[m]]\n^macro_use[other.cfg]\n' >site/computed.html
"$TREE" site out 2>err
check "references: only the computed and unknown ones are left" test $? -eq 3
cat >want <<'T'
computed.html:13: Predefinitions changed: you must change extension of all files with macros from .cfg to .tvx and remove leading '_', if you've used tavrin.cfg you must rename it to auto.tvx everywhere it is (source line 2)
computed.html:14: Predefinitions changed: you must change extension of all files with macros from .cfg to .tvx and remove leading '_', if you've used tavrin.cfg you must rename it to auto.tvx everywhere it is (source line 3)
index.html:12: reference rewritten: inc/_menu.cfg -> inc/menu.tvx (source line 1)
index.html:13: reference rewritten: /tavrin.cfg -> /auto.tvx (source line 2)
T
grep -v '^tvconv-tree:\|^  \|^next:' err >got
check "references: rewrites are notes, the rest warnings" same want got
check "references: a page whose only edits were references is clean" has '^  converted cleanly: 3$' err
check "references: the count" has '^  references rewritten: 2$' err
# Each finding is at the line of the target that holds its construct, behind
# the helper method the references need.
check "references: the target line holds the reference" \
    test "$(sed -n 13p out/index.html)" = '^macro_use[/auto.tvx]'
check "references: the target line of one left" test "$(sed -n 14p out/computed.html)" = '^macro_use[other.cfg]'

# A renamed macro file is reported by its new name, its source named too.
mkdir -p ren/inc
printf '@menu[]\nHome ^ascii[x]\n' >ren/inc/_menu.cfg
"$TREE" ren renout 2>err
check "a renamed file: its finding by the target's name and line, then the source's" has \
    "^inc/menu.tvx:2: Unconvertible operator 'ascii': remarked, edit manually (source inc/_menu.cfg line 2)\$" err
check "a renamed file: that line of the target holds the remark" \
    test "$(sed -n 2p renout/inc/menu.tvx)" = 'Home ^rem{^ascii[x]}' 
# Each page is what tvconv writes, but for the rewritten arguments.
"$TVCONV" site/index.html 2>/dev/null | sed 's|inc/_menu.cfg|inc/menu.tvx|; s|/tavrin.cfg|/auto.tvx|' >want
check "references: the page is tvconv's but for the names" cmp want out/index.html
"$TVCONV" site/computed.html >want 2>/dev/null
check "references: a page with no rewrite is tvconv's" cmp want out/computed.html
"$TREE" --keep-references --state "$W/keep.rec" site keep 2>err
check "--keep-references: warnings as before" test $? -eq 3
"$TVCONV" site/index.html >want 2>/dev/null
check "--keep-references: the page is tvconv's" cmp want keep/index.html
check "--keep-references: no rewrite reported" test "$(grep -c 'reference rewritten' err)" = 0

# --- re-runs ----------------------------------------------------------------------
mkdir -p s/sub
printf 'Page $1\n' >s/a.html
printf '^ascii[x]\n' >s/b.html
printf 'Sub\n' >s/sub/c.htm
printf 'binary\001\n' >s/logo.gif
"$TREE" s t 2>err
check "first run: manual edits left" test $? -eq 3
check "first run: all written" has '^  written: 4$' err
check "the record is in the cache, outside both trees" test -n "$(find cache -name '*.json')"
check "the record is not in the target" test -z "$(find t -name '*.json' -o -name '*.journal' -o -name '*.lock')"
before_a=$(mtime t/a.html)
sleep 0.05
"$TREE" s t 2>err
check "unchanged re-run: same status" test $? -eq 3
check "unchanged re-run: writes nothing" has '^  written: 0$' err
check "unchanged re-run: all unchanged" has '^  unchanged since the last run: 4$' err
check "unchanged re-run: still lists the manual edits" has '^b.html:1: Unconvertible operator' err
check "unchanged re-run: the modification time stays" test "$before_a" = "$(mtime t/a.html)"

# A hand edit is kept, also in a read-only file. It fixed the page's one
# remark, so the page is done: a note, and exit status 0.
printf 'fixed by hand\n' >t/b.html
chmod 444 t/b.html
printf 'Page $2\n' >s/a.html
"$TREE" s t 2>err
check "hand edit that fixes every finding: exit 0" test $? -eq 0
check "hand edit: kept" test "$(cat t/b.html)" = "fixed by hand"
check "hand edit: reported as kept" has '^b.html: edited by hand; kept, nothing is left to do in it$' err
check "hand edit: no warning left" lacks 'Unconvertible' err
check "a changed source is converted again" test "$(cat t/a.html)" = 'Page ^$2'
check "only the changed source is written" has '^  written: 1$' err
"$TREE" s t 2>err
check "a done page stays done" test $? -eq 0
check "a done page is quiet on an unchanged re-run" lacks '^ *b.html' err
"$TREE" --force s t 2>err
check "--force overwrites the hand edit" test "$(cat t/b.html)" = '^rem{^ascii[x]}'

# An edit that leaves the remark as it was: still open, at its new line, on
# this run and on an unchanged one after it.
chmod u+w t/b.html
printf 'added above\n^rem{^ascii[x]}\n' >t/b.html
"$TREE" s t 2>err
check "an edit that leaves a finding: exit 3" test $? -eq 3
check "the open finding at its new line" has '^b.html:2: Unconvertible operator' err
"$TREE" s t 2>err
check "the open finding again on an unchanged re-run" has '^b.html:2: Unconvertible operator' err

# A lost record never costs a hand edit; an equal file is simply recorded.
printf 'edited again\n' >t/b.html
rm -rf cache
before_c=$(mtime t/sub/c.htm)
sleep 0.05
"$TREE" s t 2>err
check "no record: a differing file is kept" test "$(cat t/b.html)" = "edited again"
check "no record: says so" has '^b.html: differs from its conversion and no record of an earlier run covers it; not overwritten$' err
check "no record: an equal file is not rewritten" test "$before_c" = "$(mtime t/sub/c.htm)"
check "no record: nothing written" has '^  written: 0$' err

# A deleted source leaves a stale target: listed, not deleted.
rm s/sub/c.htm
"$TREE" s t 2>err
check "stale: target kept" test -f t/sub/c.htm
check "stale: listed" has '^    sub/c.htm (from sub/c.htm)$' err
# A source that is still there but now excluded is no longer converted: its
# target is stale for that reason, not because the source is gone.
"$TREE" --exclude a.html --report stale.json s t 2>/dev/null
check "stale: an excluded source is not called deleted" \
    grep -q '"message": "stale: the source is no longer converted; a.html was kept"' stale.json
# Something a conversion depends on beyond its source: a macro file that
# appears converts again the unchanged page that refers to it.
printf '^macro_use[_later.cfg]\n' >s/uses.html
"$TREE" --force s t 2>/dev/null
check "a reference to a file not in the site is left" grep -q '_later.cfg' t/uses.html
printf '@m[]\n' >s/_later.cfg
"$TREE" s t 2>err
check "a new macro file: the page that names it is converted again" grep -q '^\^macro_use\[later.tvx\]$' t/uses.html
check "a new macro file: its rewrite is reported" has '^uses.html:12: reference rewritten: _later.cfg -> later.tvx (source line 1)$' err

# Temporary files of a killed run are removed.
printf 'half' >t/.tvconv-tree.abc123
printf 'mine' >t/.tvconv-tree.notours
"$TREE" s t 2>err
check "leftovers: removed" test ! -e t/.tvconv-tree.abc123
check "leftovers: said" has '^tvconv-tree: removed 1 temporary file left by an interrupted run$' err
check "leftovers: other names are left alone" test -e t/.tvconv-tree.notours

# --state: anywhere but inside the trees.
"$TREE" --state s/rec.json s t 2>err
check "--state inside the source: exit 2" test $? -eq 2
"$TREE" --state t/rec.json s t 2>err
check "--state inside the target: exit 2" test $? -eq 2
"$TREE" --state "$W/elsewhere.json" s t2 2>/dev/null
check "--state elsewhere: the record is there" test -s "$W/elsewhere.json"

# --- an interrupted run -----------------------------------------------------------
mkdir -p big
i=0
while [ $i -lt 3000 ]; do printf 'page %s $x\n' $i >big/p$i.html; i=$((i + 1)); done
"$TREE" -j 1 --state "$W/big.rec" big bigout 2>err &
pid=$!
sleep 0.3
kill -INT $pid
wait $pid
status=$?
if [ $status -eq 130 ]; then
    check "interrupted: says so" has '^tvconv-tree: interrupted; what was done so far:$' err
    check "interrupted: no temporary file left" test -z "$(find bigout -name '.tvconv-tree.*')"
    "$TREE" -j 1 --state "$W/big.rec" big bigout 2>err
    check "after an interruption a re-run completes" test $? -eq 0
    check "after an interruption nothing done is redone" test "$(grep -c '^  written: 3000$' err)" = 0
    check "after an interruption every page is there" test "$(ls bigout | wc -l)" = 3000
else
    echo "note: the run ended before the signal (status $status); interruption not checked"
fi

# --- input that is not what it seems ----------------------------------------------
mkdir -p enc
printf '\357\273\277Hello\n' >enc/bom.html
printf '\357\273\277@def[]\nx\n' >enc/bomdef.html
printf '\377\376<\000h\000>\000' >enc/wide.html
printf 'a\nb\000c\000\n' >enc/nul.html
"$TREE" enc encout 2>err
check "encodings: each is a manual check" test $? -eq 3
check "encodings: UTF-8 mark" has '^bom.html: UTF-8 byte-order mark.* (source line 1)$' err
check "encodings: a mark that hides a definition" has '^bomdef.html: UTF-8 byte-order mark before the definition header on line 1: the definition is lost.* (source line 1)$' err
check "encodings: UTF-16" has '^wide.html: UTF-16 byte-order mark.* (source line 1)$' err
check "encodings: NUL bytes and their line" has '^nul.html: 2 NUL bytes.* (source line 2)$' err
for f in bom bomdef wide nul; do
    "$TVCONV" enc/$f.html >want 2>/dev/null
    check "encodings: $f.html is still converted as tvconv does" cmp want encout/$f.html
done

"$TREE" --ext 'html htm' enc x1 2>err
check "--ext with a blank: usage error" test $? -eq 2
"$TREE" --ext '*' enc x1 2>/dev/null
check "--ext with a glob: usage error" test $? -eq 2
"$TREE" --ext 'html,' enc x1 2>/dev/null
check "--ext with an empty entry: usage error" test $? -eq 2
check "usage errors write nothing" test ! -e x1
"$TREE" --ext ' .HTML ' enc x2 2>/dev/null
check "--ext: trimmed, case-folded, a dot accepted" test -f x2/bom.html

mkdir -p none
printf 'x\n' >none/readme.txt
"$TREE" none x3 2>err
check "no template: exit 1" test $? -eq 1
check "no template: names the extensions" has 'no template found: no file name ends in .html, .htm, .cfg' err

mkdir -p odd
printf 'ok\n' >odd/ok.html
ln -s nowhere.html odd/dangling.html
ln -s loop.html odd/loop.html
mkfifo odd/pipe.htm
ln -s nowhere odd/dangling.txt
"$TREE" odd x4 2>err
check "skipped templates: exit 1" test $? -eq 1
check "skipped: dangling link" has '^dangling.html: skipped: dangling symbolic link' err
check "skipped: a loop is a loop" has '^loop.html: skipped: symbolic link loop$' err
check "skipped: special file" has '^pipe.htm: skipped: not a regular file$' err
rm odd/dangling.html odd/loop.html odd/pipe.htm
"$TREE" odd x5 2>/dev/null
check "a skipped non-template alone does not fail the run" test $? -eq 0

mkdir -p ex/.git ex/drafts ex/keep
printf 'x\n' >ex/.git/config.html
printf 'x\n' >ex/drafts/d.html
printf 'x\n' >ex/keep/k.html
printf 'x\n' >ex/keep/k.html.bak
"$TREE" --exclude 'drafts' --exclude '*.bak' ex x6 2>err
check "--exclude: excluded paths are not written" test ! -e x6/drafts -a ! -e x6/keep/k.html.bak -a ! -e x6/.git
check "--exclude: the rest is" test -f x6/keep/k.html
check "--exclude: listed with the version-control folder" has '^    .git/: version-control folder$' err
check "--exclude: listed" has '^    drafts/: excluded by --exclude drafts$' err

"$TREE" --exclude 'keep' --exclude drafts ex x6b 2>err
check "--exclude leaving no template: exit 1" test $? -eq 1
check "--exclude leaving no template: says so" \
    has '^tvconv-tree: no template found outside the 2 paths that --exclude leaves out' err
check "--exclude leaving no template: not the extensions" test "$(grep -c 'no file name ends' err)" = 0

# --- what the terminal shows ----------------------------------------------------
# A first run shows every finding; a re-run that writes nothing leaves out
# the notes it showed then, and keeps every warning; -q leaves out every
# note, -v shows them all. The JSON report is whole in every case.
mkdir -p quiet/inc
printf '@menu[]\nHome\n' >quiet/inc/_menu.cfg
printf '^macro_use[inc/_menu.cfg]\n' >quiet/ok.html
printf '^macro_use[inc/_menu.cfg]\n^ascii[x]\n' >quiet/warn.html
notes() { grep -c 'reference rewritten' "$1"; }
"$TREE" --state "$W/q.rec" quiet qout 2>err
check "first run: the notes are shown" test "$(notes err)" = 2
check "first run: the warning too" has '^warn.html:13: Unconvertible operator.* (source line 2)$' err
"$TREE" --state "$W/q.rec" --report q.json quiet qout 2>err
check "re-run: exit status as before" test $? -eq 3
check "re-run: no note about unchanged files" test "$(notes err)" = 0
check "re-run: the warning is still shown" has '^warn.html:13: Unconvertible operator.* (source line 2)$' err
check "re-run: the summary still counts the rewrites" has '^  references rewritten: 2$' err
check "re-run: the JSON report holds every note" test "$(notes q.json)" = 2
"$TREE" --state "$W/q.rec" -v quiet qout 2>err
check "-v: every note again" test "$(notes err)" = 2
printf 'Changed\n^macro_use[inc/_menu.cfg]\n' >quiet/ok.html
"$TREE" --state "$W/q.rec" quiet qout 2>err
check "re-run: the note of a file written again is shown" has '^ok.html:13: reference rewritten.* (source line 2)$' err
check "re-run: only that one" test "$(notes err)" = 1
printf 'Changed again\n^macro_use[inc/_menu.cfg]\n' >quiet/ok.html
"$TREE" --state "$W/q.rec" --quiet --report q.json quiet qout 2>err
check "-q: exit status as without it" test $? -eq 3
check "-q: no note, not even of a file written" test "$(notes err)" = 0
check "-q: what needs the user" has '^warn.html:13: Unconvertible operator.* (source line 2)$' err
check "-q: the summary" has '^  written: 1$' err
check "-q: the JSON report holds every note" test "$(notes q.json)" = 2
"$TREE" --state "$W/q.rec" -q -v quiet qout 2>err
check "-q -v: the last one counts" test "$(notes err)" = 2

# --- the next: line in each state --------------------------------------------------
nextline() { grep '^next:' "$1"; }
is_next() { [ "$(nextline "$2")" = "next: $1" ] || { echo "got: $(nextline "$2")" >&2; false; }; }
mkdir -p nx/clean
printf 'x\n' >nx/clean/a.html
printf 'bin\n' >nx/clean/logo.gif
printf 'bin\n' >nx/clean/logo2.gif
"$TREE" --check nx/clean 2>err
check "next, --check, clean" is_next \
    'nothing is left to edit; a run without --check would write 1 template and copy 2 files' err
"$TREE" --check nx/clean nxout 2>err
check "next, --check with a target" is_next \
    'nothing is left to edit; a run without --check would write 1 template and copy 2 files (less what its last run left unchanged)' err
"$TREE" --state "$W/nx.rec" nx/clean nxout 2>err
check "next, written, clean" is_next 'nothing is left to edit; nxout is converted' err
cp -R nx/clean nx/manual
printf '^ascii[x]\n' >nx/manual/b.html
"$TREE" --check --no-copy nx/manual 2>err
check "next, --check, manual edits left: never 'edit the files in TARGET'" is_next \
    'a run without --check would write 2 templates; then edit the 1 file with manual edits left, listed above' err
"$TREE" --state "$W/nxm.rec" nx/manual nxmout 2>err
check "next, written, manual edits left" is_next \
    'edit the files listed above in nxmout; a later run keeps those edits' err
printf 'by hand\n' >nxmout/a.html
"$TREE" --state "$W/nxm.rec" nx/manual nxmout 2>err
check "next, a page edited by hand and done" is_next \
    'edit the files listed above in nxmout; a later run keeps those edits' err
printf 'more\n' >>nx/manual/a.html
"$TREE" --no-merge --state "$W/nxm.rec" nx/manual nxmout 2>err
check "next, edited by hand, --no-merge" is_next \
    'the files edited by hand were kept; where their sources changed since, carry the changes over by hand (--diff shows each conversion), or run with --force to overwrite the edits; edit the files with manual edits left in nxmout' err
cp -R nx/clean nx/broken
printf '^if\n' >nx/broken/c.html
"$TREE" --check nx/broken 2>err
check "next, failed" is_next 'mend the failed files listed above, then run again' err
cp -R nx/clean nx/skipped
ln -s nowhere.html nx/skipped/gone.html
"$TREE" --check nx/skipped 2>err
check "next, skipped template" is_next 'mend the skipped templates listed above, then run again' err

# --- references that lead nowhere -------------------------------------------------
# The last component names a renamed macro file, so the reference is
# rewritten; its path, from the page's folder or from the root, leads to no
# file of the site, and a warning says so.
mkdir -p refs/inc refs/sub
printf '@menu[]\nHome\n' >refs/inc/_menu.cfg
printf '^macro_use[inc/_menu.cfg]\n^macro_use[/inc/_menu.cfg]\n^macro_use[./x/../inc/_menu.cfg]\n' >refs/found.html
printf '^macro_use[../inc/_menu.cfg]\n^macro_use[_menu.cfg]\n^macro_use[/_menu.cfg]\n^macro_use[../../inc/_menu.cfg]\n' >refs/sub/p.html
"$TREE" --report refs.json refs refsout 2>err
check "reference not found: exit 3" test $? -eq 3
cat >want <<'T'
sub/p.html:13: reference not found: _menu.cfg leads to no file of the site (from the page's folder); rewritten all the same (source line 2)
sub/p.html:14: reference not found: /_menu.cfg leads to no file of the site (from its root); rewritten all the same (source line 3)
sub/p.html:15: reference not found: ../../inc/_menu.cfg leads to no file of the site (from the page's folder); rewritten all the same (source line 4)
T
grep 'reference not found' err >got
check "reference not found: each path that leads nowhere, and no other" same want got
check "reference not found: still rewritten" test "$(grep -c 'menu.tvx' refsout/sub/p.html)" = 4
check "reference not found: found.html is clean" has '^  converted cleanly: 2$' err
check "reference not found: its code in the JSON report" \
    test "$(grep -c '"code": "reference-not-found"' refs.json)" = 3
"$TREE" --keep-references --check refs 2>err
check "reference not found: not with --keep-references" test "$(grep -c 'reference not found' err)" = 0

# --- mended faults ---------------------------------------------------------------
mkdir -p nc
printf 'x\n' >nc/a.cfg
printf 'copied\n' >nc/a.tvx
"$TREE" --no-copy nc x7 2>err
check "--no-copy: an uncopied file claims no name" test "$(cat x7/a.tvx)" = x
mkdir -p dirfail/sub/deeper x8
printf 'x\n' >dirfail/sub/a.html
printf 'x\n' >dirfail/sub/b.html
printf 'x\n' >dirfail/sub/deeper/c.html
printf 'x\n' >dirfail/ok.html
printf 'a file\n' >x8/sub
"$TREE" dirfail x8 2>err
check "a directory that cannot be made: exit 1" test $? -eq 1
check "a directory that cannot be made: one line" test "$(grep -c 'sub' err)" = 2
check "a directory that cannot be made: its files counted once" has '^  failed: 3$' err
"$TREE" --report "$W/no/such/dir/r.json" s x9 2>err
check "unwritable report: usage error" test $? -eq 2
check "unwritable report: nothing written" test ! -e x9
if [ -w /dev/full ]; then
    "$TREE" --report - s x10 >/dev/full 2>err
    check "--report - on a full output: fails" test $? -eq 1
    check "--report - on a full output: names standard output" has '^tvconv-tree: standard output: ' err
fi
mkdir -p names
printf 'x\n' >"names/$(printf 'a\033[31mred')"
printf 'x\n' >"names/$(printf 'evil\342\200\256lmth.exe').html"
printf 'x\n' >"names/$(printf 'caf\351').html"
printf 'x\n' >"names/$(printf 'caf\303\251').html"
"$TREE" --report r.json --state "$W/n.rec" names x11 2>err
check "names: no raw escape reaches the terminal" test "$(grep -c "$(printf '\033')" err)" = 0
check "names: no raw bidirectional override" test "$(grep -c "$(printf '\342\200\256')" err)" = 0
check "names: JSON maps both cafe names apart and back" python3 - r.json <<'PY'
import json, os, sys
paths = [f["path"] for f in json.load(open(sys.argv[1]))["files"]]
raw = sorted(os.fsencode(p) if False else p.encode("utf-8", "surrogateescape") for p in paths)
assert b"caf\xe9.html" in raw and "café.html".encode() in raw, raw
assert len(set(paths)) == len(paths)
PY
"$TREE" s "$(printf 'bad\033name')/x" 2>err >/dev/null
check "top-level errors are escaped too" test "$(grep -c "$(printf '\033')" err)" = 0

# --- the to-do list through hand edits and merges ----------------------------------
# Three remarks; the user fixes the middle one and adds lines above. Each
# source change below the edits is merged in: the fixed remark stays
# resolved, the others follow their lines, and the JSON agrees.
mkdir -p todo
printf 'top\n^ascii[a]\nmid\n^ascii[b]\nlow\n^ascii[c]\nend 0\n' >todo/p.html
"$TREE" --state "$W/todo.rec" todo todo.out 2>/dev/null
printf 'mine 1\nmine 2\ntop\n^rem{^ascii[a]}\nmid\nfixed b\nlow\n^rem{^ascii[c]}\nend 0\n' \
    >todo.out/p.html
"$TREE" --state "$W/todo.rec" todo todo.out 2>err
check "to-do: the fixed remark is gone, the others moved" test \
    "$(grep -o '^p.html:[0-9][0-9]*' err | tr '\n' ' ')" = "p.html:4 p.html:8 "
for n in 1 2 3; do
    sed -i "s/^end .*/end $n/" todo/p.html
    "$TREE" --report todo.json --state "$W/todo.rec" todo todo.out 2>err
    check "to-do: merge $n keeps every hand edit" grep -q '^fixed b$' todo.out/p.html
    check "to-do: merge $n brings the source change" grep -q "^end $n\$" todo.out/p.html
    check "to-do: merge $n keeps the open findings at their lines" test \
        "$(grep -o '^p.html:[0-9][0-9]*' err | tr '\n' ' ')" = "p.html:4 p.html:8 "
done
check "to-do: the JSON lists the two open findings where they are" python3 - todo.json <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
lines = [d["target_line"] for d in doc["diagnostics"] if d["code"] == "unconvertible-operator"]
assert lines == [4, 8], lines
PY
# The last two fixed, and the source changed once more: the merged page is
# done, and stays so.
sed -i 's/^\^rem{^ascii\[a\]}$/fixed a/; s/^\^rem{^ascii\[c\]}$/fixed c/' todo.out/p.html
printf 'added 4\n' >>todo/p.html
"$TREE" --state "$W/todo.rec" todo todo.out 2>err
check "to-do: a merged page with every finding fixed is done" test $? -eq 0
check "to-do: ... with the last source change in it" grep -q '^added 4$' todo.out/p.html
"$TREE" --state "$W/todo.rec" todo todo.out 2>err
check "to-do: and stays done" test $? -eq 0

echo "$passed passed, $failures failed"
test "$failures" -eq 0
