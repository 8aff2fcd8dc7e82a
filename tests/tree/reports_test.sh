#!/bin/sh
# The reports of tvconv-tree: the JSON report, the SARIF log and the HTML
# page of one run say the same thing, each JSON report is byte for byte the
# one kept under expected/, the JSON report and the SARIF log are valid
# against their schemas, the SARIF log holds no more than a code-scanning
# service accepts,
# nothing depends on the number of jobs or on where the tree lies, and the
# output of --diff applies with patch to give exactly the conversion.
# Usage: reports_test.sh TVCONV_TREE TVCONV
set -u
umask 022
abspath() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
HERE=$(cd "$(dirname "$0")" && pwd)
TREE=$(abspath "$1")
TVCONV=$(abspath "$2")
# Debian's Python, with python3-jsonschema: a pyenv python3 may lack it.
PY=/usr/bin/python3
CHECK="$HERE/check_reports.py"
SCHEMA="$HERE/../../doc/report.schema.json"
SARIF_SCHEMA="$HERE/../schemas/sarif-2.1.0.json"
if ! $PY -c 'import jsonschema, rfc3987' 2>/dev/null || ! command -v patch >/dev/null; then
    echo "FAIL: python3-jsonschema, python3-rfc3987 and patch are needed (./build.sh test installs them)"
    exit 1
fi
# The real path: the SARIF log names the source by it.
W=$(cd "$(mktemp -d)" && pwd -P)
trap 'rm -rf "$W"' EXIT
export XDG_CACHE_HOME="$W/cache"
cd "$W" || exit 1
. "$HERE/../check.sh"

fails() { ! "$@" 2>/dev/null; }
status_is() { [ "$1" = "$2" ] || { echo "exit status $1, expected $2" >&2; false; }; }
TOOL=$("$TREE" --version)

# reports_ok NAME PREFIX SOURCE_DIR: PREFIX.json, PREFIX.sarif and PREFIX.html
# are valid and say the same.
reports_ok() {
    check "$1: the JSON report is valid against report.schema.json" \
        $PY "$CHECK" validate json "$2.json" "$SCHEMA"
    check "$1: the SARIF log is valid against the SARIF 2.1.0 schema" \
        $PY "$CHECK" validate sarif "$2.sarif" "$SARIF_SCHEMA"
    check "$1: the JSON report, the SARIF log and the HTML page agree" \
        $PY "$CHECK" agree "$2.json" "$2.sarif" "$2.html" "$3"
}
# report_is NAME REPORT EXPECTED: REPORT is byte for byte the data file
# expected/EXPECTED, in which "@TOOL@" stands for the tool and its version;
# a difference is shown as a diff.
# With TVCONV_UPDATE_EXPECTED set, the data files are rewritten from this
# run instead (review the change with git diff).
report_is() {
    [ -z "${TVCONV_UPDATE_EXPECTED:-}" ] || sed "s|$TOOL|@TOOL@|" "$2" >"$HERE/expected/$3"
    sed "s|@TOOL@|$TOOL|" "$HERE/expected/$3" >"$W/expected.json"
    check "$1: the JSON report" diff -u "$W/expected.json" "$2"
}
# page_shows NAME PAGE EXPECTED: the findings on the HTML page are, as shown,
# those of the data file expected/EXPECTED (none for "-").
page_shows() {
    $PY "$CHECK" findings "$2" >"$W/findings"
    [ -z "${TVCONV_UPDATE_EXPECTED:-}" ] || [ "$3" = - ] || cp "$W/findings" "$HERE/expected/$3"
    if [ "$3" = - ]; then
        check "$1: the HTML page shows no finding" test ! -s "$W/findings"
    else
        check "$1: the findings the HTML page shows" diff -u "$HERE/expected/$3" "$W/findings"
    fi
}
same_reports() {  # same_reports NAME PREFIX_A PREFIX_B: byte for byte
    for kind in json sarif html; do
        check "$1: the $kind reports are the same" cmp "$2.$kind" "$3.$kind"
    done
}

# --- a site with something of every kind -----------------------------------------
# A clean page, pages with manual edits left (one with a name that is not
# UTF-8, one with a byte-order mark), a broken page, a dangling link with a
# template's name, a pipe, a version-control folder and an excluded folder,
# a renamed macro file and a page whose reference to it is rewritten, a copied
# file, a directory that cannot be made because the target holds a file of
# its name, and a page whose conversion is already in the target.
make_site() {
    mkdir -p "$1/.git" "$1/blocked" "$1/drafts" "$1/inc"
    printf 'x\n' >"$1/.git/config.html"
    printf 'x\n' >"$1/blocked/x.html"
    printf '\357\273\277Hi\n' >"$1/bom.html"
    printf 'ok\n^if\n' >"$1/broken.html"
    printf '^ascii[y]\n' >"$1/$(printf 'caf\351').html"
    printf 'Hello\n' >"$1/clean.html"
    ln -s nowhere.html "$1/dangling.html"
    printf 'x\n' >"$1/drafts/d.html"
    mkfifo "$1/feed"
    printf '@menu[]\nHome\n' >"$1/inc/_menu.cfg"
    printf 'a\n^macro_use[inc/_menu.cfg]\n' >"$1/index.html"
    printf 'GIF89a\000\001' >"$1/logo.gif"
    printf '^ascii[x]\n' >"$1/manual.html"
    printf 'old $page\n' >"$1/old.html"
    printf 'Pre $set\n' >"$1/pre.html"
}
prepare_target() {  # prepare_target SITE TARGET
    rm -rf "$2"
    mkdir -p "$2"
    printf 'a file\n' >"$2/blocked"
    "$TVCONV" "$1/pre.html" "$2/pre.html"
}
# run_site PREFIX SOURCE TARGET|- STATE [OPTION...]: a run with all three
# reports; "-" leaves the target out.
run_site() {
    prefix=$1 source=$2 target=$3 state=$4
    shift 4
    [ "$target" = - ] || set -- "$@" -- "$source" "$target"
    [ "$target" != - ] || set -- "$@" -- "$source"
    "$TREE" --exclude drafts --state "$state" --report "$prefix.json" --html "$prefix.html" \
        --sarif "$prefix.sarif" "$@" 2>"$prefix.err"
}

make_site site

# --- the first run ------------------------------------------------------------------
prepare_target site out
run_site r1 site out st.json -j 1
check "first run: exit status" status_is $? 1
reports_ok "first run" r1 site
report_is "first run" r1.json first_run.json
page_shows "first run" r1.html first_run.findings

# The checks themselves fail on a report that is wrong in one field.
sed 's/"check": false/"check": true/' r1.json >bad.json
check "a report with a wrong field fails the agreement check" \
    fails $PY "$CHECK" agree bad.json r1.sarif r1.html site
sed 's/"startLine": 2/"startLine": 3/' r1.sarif >bad.sarif
check "a SARIF log with a wrong line fails the agreement check" \
    fails $PY "$CHECK" agree r1.json bad.sarif r1.html site
sed 's/utf8-bom warning,/nul-byte warning,/' r1.html >bad.html
check "an HTML page with a wrong code fails the agreement check" \
    fails $PY "$CHECK" agree r1.json r1.sarif bad.html site

# --- the same tree under other absolute paths ---------------------------------------
for root in "$W/a" "$W/somewhere/much/longer"; do
    mkdir -p "$root"
    cp -R site "$root/site"
    prepare_target "$root/site" "$root/out"
    run_site "$root/r" "$root/site" "$root/out" "$root/st.json" -j 2
    check "elsewhere: exit status" status_is $? 1
    reports_ok "under $root" "$root/r" "$root/site"
    page_shows "under $root" "$root/r.html" first_run.findings
done
check "another absolute path: the same reports but for the paths" \
    $PY "$CHECK" same-but-roots "$W/a" "$W/somewhere/much/longer" r.json r.sarif r.html

# --- a second run: a hand edit, a deleted source, a changed source ------------------
printf 'edited by hand\n' >out/clean.html
rm site/old.html
printf '^ascii[x]\n^ascii[z]\n' >site/manual.html
run_site r2 site out st.json -j 1
check "second run: exit status" status_is $? 1
check "second run: the hand edit is kept" test "$(cat out/clean.html)" = "edited by hand"
reports_ok "second run" r2 site
report_is "second run" r2.json second_run.json
page_shows "second run" r2.html second_run.findings

# --- --check, and --diff with the reports --------------------------------------------
# No target, and --no-copy: the directory that could not be made is not
# made at all, so its page converts.
run_site rc site - "$W/unused" --check --no-copy
check "--check: exit status" status_is $? 1
reports_ok "--check" rc site
report_is "--check" rc.json check.json
page_shows "--check" rc.html check.findings
# --diff is --check that also prints the diffs: the same reports.
run_site rd site - "$W/unused" --diff --no-copy >rd.diff
check "--diff with the reports: exit status" status_is $? 1
same_reports "--diff and --check" rc rd
check "--diff: the same report on standard error as --check" cmp rc.err rd.err
check "--diff: diffs on standard output" grep -q '^--- a/manual.html$' rd.diff
check "--check and --diff keep no record" test ! -e "$W/unused" -a ! -e cache

# --- a clean site: notes leave the exit status at 0 -----------------------------------
mkdir -p clean/inc
printf '@m[]\nx\n' >clean/inc/_m.cfg
printf '^macro_use[inc/_m.cfg]\n' >clean/index.html
mkfifo clean/feed
"$TREE" --state clean.st --report c.json --html c.html --sarif c.sarif clean clean.out 2>c.err
check "clean site: exit status" status_is $? 0
reports_ok "clean site" c clean
report_is "clean site" c.json clean_site.json
page_shows "clean site" c.html -

# --- --no-copy: a file left out is not lost with its directory -----------------------
mkdir -p nocopy/sub nocopy.out
printf 'x\n' >nocopy/a.html
printf 'GIF89a' >nocopy/sub/logo.gif
printf 'a file\n' >nocopy.out/sub
"$TREE" --no-copy --state nocopy.st --report n.json --html n.html --sarif n.sarif \
    nocopy nocopy.out 2>n.err
check "--no-copy, a directory that cannot be made: exit status" status_is $? 1
reports_ok "--no-copy" n nocopy
report_is "--no-copy, a directory that cannot be made" n.json no_copy.json
page_shows "--no-copy" n.html no_copy.findings

# --- a site with more findings than a SARIF log may hold ---------------------------------
# 5,600 warnings, then the errors of one broken page last: the log keeps the
# errors and the first warnings, within what code-scanning services accept,
# and says what it left out, on the terminal too.
mkdir many
i=0
while [ $i -lt 700 ]; do
    printf '^ascii[a]\n^ascii[b]\n^ascii[c]\n^ascii[d]\n^ascii[e]\n^ascii[f]\n^ascii[g]\n^ascii[h]\n' \
        >many/p$i.html
    i=$((i + 1))
done
printf 'ok\n^if\n' >many/zz.html
"$TREE" --state many.st --report m.json --html m.html --sarif m.sarif many manyout 2>m.err
check "many findings: exit status" status_is $? 1
reports_ok "many findings" m many
check "many findings: the log holds the error and 4,998 warnings" $PY - m.sarif <<'PY'
import json, sys
from collections import Counter
run = json.load(open(sys.argv[1]))["runs"][0]
levels = Counter(r["level"] for r in run["results"])
assert levels == {"error": 2, "warning": 4998}, levels
assert run["properties"]["resultsLeftOut"] == {"error": 0, "warning": 602, "note": 0}
PY
check "many findings: the terminal says what the log left out, after the summary" \
    test "$(tail -n 1 m.err)" = "tvconv-tree: the SARIF log holds 5000 of 5602 findings, the most severe first; left out: 602 warnings (the JSON report has them all)"
check "many findings: no such line when the log holds every finding" \
    fails grep -q 'SARIF log holds' r1.err

# --- an interrupted run ------------------------------------------------------------------
mkdir big
i=0
while [ $i -lt 4000 ]; do printf 'page %s $x\n' $i >big/p$i.html; i=$((i + 1)); done
"$TREE" -j 1 --state big.st --report b.json --html b.html --sarif b.sarif big bigout 2>b.err &
pid=$!
# Interrupt it once it has written a few files.
tries=0
while [ $tries -lt 500 ] && [ "$(ls bigout 2>/dev/null | wc -l)" -lt 20 ]; do
    sleep 0.01
    tries=$((tries + 1))
done
kill -INT $pid 2>/dev/null
wait $pid
status=$?
if [ $status -eq 130 ]; then
    reports_ok "interrupted" b big
    check "interrupted: the JSON report says so" $PY - b.json <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))
assert r["interrupted"] is True and r["exit_status"] == 130, (r["interrupted"], r["exit_status"])
assert 0 < len(r["files"]) < 4000 and r["summary"]["written"] == len(r["files"]), r["summary"]
PY
else
    echo "note: the run ended before the signal (status $status); the interrupted report not checked"
fi

# --- --diff: the patch gives exactly the conversion --------------------------------------
mkdir -p d/inc d/sub
printf 'Price $5\n(net)\n' >d/a.html
printf 'no final line feed $x' >d/nolf.html
: >d/empty.html
printf 'Hello\n' >d/same.html
printf '@menu[]\nHome\n' >d/inc/_menu.cfg
printf 'a $b\nc\000d\n' >d/nul.html
printf 'ok\n^if\n' >d/broken.html
printf 'GIF\000 $x\n' >d/img.gif
printf 'spaced $name\n' >"d/my page.html"
i=1
while [ $i -le 12 ]; do echo "line $i"; i=$((i + 1)); done >d/sub/long.htm
echo '$end' >>d/sub/long.htm
cp -R d d.orig
mkdir -p held
printf 'mine\n' >held/a.html
(cd held && find . -printf '%p %s %T@\n' | sort) >held.before
XDG_CACHE_HOME="$W/diff-cache" "$TREE" --diff -j 1 d held >d1.diff 2>d1.err
check "--diff: exit status of --check" status_is $? 1
XDG_CACHE_HOME="$W/diff-cache" "$TREE" --diff -j 1 d >d0.diff 2>/dev/null
check "--diff: the same diffs without a target" cmp d1.diff d0.diff
(cd held && find . -printf '%p %s %T@\n' | sort) >held.after
check "--diff: nothing written into the target" cmp held.before held.after
XDG_CACHE_HOME="$W/diff-cache" "$TREE" --diff d newtarget >/dev/null 2>&1
check "--diff: no target made" test ! -e newtarget
check "--diff: no record kept" test ! -e "$W/diff-cache"
# nul.html's NUL bytes make the patch a binary file to grep: -a.
check "--diff: a template with NUL bytes is diffed as text" \
    grep -a -q -x -F 'diff --git a/nul.html b/nul.html' d1.diff
check "--diff: nothing for a template that converts to itself, a failed one or another file" \
    test -z "$(grep -a -e same.html -e empty.html -e broken.html -e img.gif d1.diff)"
check "--diff: the macro file is renamed to its new name" \
    test "$(grep -a -A 3 -x -F 'diff --git a/inc/_menu.cfg b/inc/menu.tvx' d1.diff | tail -n 2)" \
    = "$(printf 'rename from inc/_menu.cfg\nrename to inc/menu.tvx')"
check "--diff: a name with a blank is quoted" grep -a -q -x -e '--- "a/my page.html"' d1.diff
cp -R d patched
(cd patched && patch -p1 --batch --quiet --no-backup-if-mismatch <../d1.diff) >patch.out 2>&1
check "--diff: patch -p1 applies it" status_is $? 0
check "--diff: patch has nothing to say" test ! -s patch.out
for f in a.html nolf.html empty.html same.html inc/_menu.cfg "my page.html" sub/long.htm nul.html; do
    "$TVCONV" "d/$f" >want 2>/dev/null
    to=$f
    [ "$f" = inc/_menu.cfg ] && to=inc/menu.tvx
    check "--diff: patched $to is the conversion of $f" cmp want "patched/$to"
done
check "--diff: no file left under the macro file's old name" test ! -e patched/inc/_menu.cfg
for f in broken.html img.gif; do
    check "--diff: $f is left as it was" cmp "d/$f" "patched/$f"
done
check "--diff: the source tree is untouched" diff -r d.orig d

# --- the number of jobs changes nothing ---------------------------------------------
# Each run is made twice from the same start, with one job and with four, in
# jobs/1 and jobs/4 under the same names: the exit status, the report on
# standard error, what goes to standard output, the JSON report, the SARIF
# log (but for the resolved target it locates findings in) and the HTML page
# are the same bytes, and so is the target tree with its modes. A first run,
# a second run after edits, and --diff.
listing() { (cd "$1" && find . -printf '%y %m %p\n' | LC_ALL=C sort); }
# jobs_run NAME START OPTION...: from START (a directory with the target and
# the record) a run with each number of jobs; compares the two.
jobs_run() {
    name=$1 start=$2
    shift 2
    for n in 1 4; do
        rm -rf "jobs/$n"
        mkdir -p "jobs/$n"
        cp -Rp "$start/." "jobs/$n"
        (cd "jobs/$n" && "$TREE" -j $n --exclude drafts --state st.json --report r.json \
            --html r.html --sarif r.sarif "$@" >stdout 2>err; echo $? >status)
        if [ -d "jobs/$n/out" ]; then listing "jobs/$n/out" >"jobs/$n/listing"; fi
    done
    for f in status err stdout r.json r.html listing; do
        [ -e "jobs/1/$f" ] || [ -e "jobs/4/$f" ] || continue
        check "-j 1 and -j 4, $name: the same $f" cmp "jobs/1/$f" "jobs/4/$f"
    done
    if grep -q TARGETROOT jobs/1/r.sarif; then
        check "-j 1 and -j 4, $name: the same r.sarif but for the target" \
            $PY "$CHECK" same-but-roots jobs/1 jobs/4 r.sarif
    else
        check "-j 1 and -j 4, $name: the same r.sarif" cmp jobs/1/r.sarif jobs/4/r.sarif
    fi
    if [ -d jobs/1/out ]; then
        check "-j 1 and -j 4, $name: the same target tree" diff -r jobs/1/out jobs/4/out
    fi
}
# The site of the first runs, with files of their own modes, a link that
# leads out of the tree and the macro file that is renamed to auto.tvx.
make_site js
chmod 600 js/logo.gif
chmod 640 js/manual.html
printf 'x\n' >outside.html
ln -s ../outside.html js/link.html
printf '@title[]\nSite\n' >js/tavrin.cfg
prepare_target js start/out
jobs_run "first run" start -- ../../js out
check "-j 1 and -j 4, first run: exit status" status_is "$(cat jobs/1/status)" 1
check "-j 1 and -j 4, first run: a copy keeps its mode" grep -q -x 'f 600 ./logo.gif' jobs/1/listing
check "-j 1 and -j 4, first run: a conversion keeps its mode" \
    grep -q -x 'f 640 ./manual.html' jobs/1/listing
# A hand edit, a deleted and a changed source, over the first run's target
# and record.
rm -rf start
mv jobs/1 start
printf 'edited by hand\n' >start/out/clean.html
rm js/old.html
printf '^ascii[x]\n^ascii[z]\n' >js/manual.html
jobs_run "second run" start -- ../../js out
check "-j 1 and -j 4, second run: the hand edit is kept" \
    test "$(cat jobs/1/out/clean.html)" = "edited by hand"
# --diff over the tree of the --diff tests, and one target.
rm -rf start
mkdir -p start/out
printf 'mine\n' >start/out/a.html
jobs_run "--diff" start --diff -- ../../d out
check "-j 1 and -j 4, --diff: diffs on standard output" grep -a -q '^--- a/a.html$' jobs/1/stdout

echo "$passed passed, $failures failed"
test "$failures" -eq 0
