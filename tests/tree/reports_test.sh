#!/bin/sh
# The reports of tvconv-tree: the JSON report, the SARIF log and the HTML
# page of one run say the same thing, every field holds the value the test
# expects, the JSON report and the SARIF log are valid against their schemas,
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
# expect NAME REPORT: REPORT holds what standard input says, field by field.
expect() {
    cat >"$W/expected.json"
    check "$1: every field of the JSON report" $PY "$CHECK" expect "$2" "$W/expected.json" "$TOOL"
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

# --- the first run, with four jobs and with one ------------------------------------
prepare_target site out
run_site j4 site out st.json -j 4
check "-j 4: exit status" status_is $? 1
rm -rf st.json*
prepare_target site out
run_site r1 site out st.json -j 1
check "first run: exit status" status_is $? 1
same_reports "-j 1 and -j 4" r1 j4
check "-j 1 and -j 4: the same report on standard error" cmp r1.err j4.err
reports_ok "first run" r1 site
expect "first run" r1.json <<'END'
{
  "format_version": 1, "tool": "@TOOL@", "source": "site", "target": "out",
  "check": false, "interrupted": false, "exit_status": 1,
  "summary": {"templates": 10, "other_files": 1, "converted": 5, "manual": 3, "edited": 0,
              "failed": 2, "copied": 1, "not_copied": 0, "renamed": 1,
              "references_rewritten": 1, "written": 8, "unchanged": 0, "skipped": 2,
              "excluded": 2, "stale": 0},
  "files": [
    {"path": ".git", "kind": "excluded", "status": "excluded", "action": "none",
     "reason": "version-control folder"},
    {"path": "blocked", "kind": "directory", "status": "failed", "action": "none",
     "reason": "cannot create directory: Not a directory"},
    {"path": "blocked/x.html", "kind": "template", "target": "blocked/x.html",
     "status": "failed", "action": "none", "reason": "its directory could not be created",
     "diagnostics": 0},
    {"path": "bom.html", "kind": "template", "target": "bom.html", "status": "manual",
     "action": "written", "diagnostics": 1},
    {"path": "broken.html", "kind": "template", "target": "broken.html", "status": "failed",
     "action": "none", "reason": "syntax error", "diagnostics": 1},
    {"path": "caf\udce9.html", "kind": "template", "target": "caf\udce9.html",
     "status": "manual", "action": "written", "diagnostics": 1},
    {"path": "clean.html", "kind": "template", "target": "clean.html", "status": "converted",
     "action": "written", "diagnostics": 0},
    {"path": "dangling.html", "kind": "other", "status": "skipped", "action": "none",
     "reason": "dangling symbolic link (its target does not exist)"},
    {"path": "drafts", "kind": "excluded", "status": "excluded", "action": "none",
     "reason": "excluded by --exclude drafts"},
    {"path": "feed", "kind": "other", "status": "skipped", "action": "none",
     "reason": "not a regular file"},
    {"path": "inc/_menu.cfg", "kind": "template", "target": "inc/menu.tvx",
     "status": "converted", "action": "written", "diagnostics": 0},
    {"path": "index.html", "kind": "template", "target": "index.html", "status": "converted",
     "action": "written", "diagnostics": 1},
    {"path": "logo.gif", "kind": "file", "target": "logo.gif", "status": "copied",
     "action": "written"},
    {"path": "manual.html", "kind": "template", "target": "manual.html", "status": "manual",
     "action": "written", "diagnostics": 1},
    {"path": "old.html", "kind": "template", "target": "old.html", "status": "converted",
     "action": "written", "diagnostics": 0},
    {"path": "pre.html", "kind": "template", "target": "pre.html", "status": "converted",
     "action": "recorded", "diagnostics": 0}
  ],
  "renames": [{"from": "inc/_menu.cfg", "to": "inc/menu.tvx"}],
  "stale": [],
  "diagnostics": [
    {"path": "blocked", "line": null, "code": "file-failed", "severity": "error",
     "message": "failed: cannot create directory: Not a directory"},
    {"path": "bom.html", "line": 1, "code": "utf8-bom", "severity": "warning",
     "message": "UTF-8 byte-order mark: it stays at the start of the output; remove it unless the site needs it"},
    {"path": "broken.html", "line": 2, "code": "syntax-error", "severity": "error",
     "message": "Unrecognized sequence: parse error, unexpected CR, expecting SQBRO near '\n'"},
    {"path": "broken.html", "line": null, "code": "file-failed", "severity": "error",
     "message": "failed: syntax error"},
    {"path": "caf\udce9.html", "line": 1, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"},
    {"path": "dangling.html", "line": null, "code": "template-skipped", "severity": "error",
     "message": "skipped: dangling symbolic link (its target does not exist)"},
    {"path": "feed", "line": null, "code": "file-skipped", "severity": "note",
     "message": "skipped: not a regular file"},
    {"path": "index.html", "line": 2, "code": "reference-rewritten", "severity": "note",
     "message": "reference rewritten: inc/_menu.cfg -> inc/menu.tvx"},
    {"path": "manual.html", "line": 1, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"}
  ]
}
END

# The checks themselves fail on a report that is wrong in one field.
sed 's/"check": false/"check": true/' r1.json >bad.json
check "a report with a wrong field fails the field check" \
    fails $PY "$CHECK" expect bad.json "$W/expected.json" "$TOOL"
check "a report with a wrong field fails the agreement check" \
    fails $PY "$CHECK" agree bad.json r1.sarif r1.html site
sed 's/"startLine": 2/"startLine": 3/' r1.sarif >bad.sarif
check "a SARIF log with a wrong line fails the agreement check" \
    fails $PY "$CHECK" agree r1.json bad.sarif r1.html site
sed 's/data-code="utf8-bom"/data-code="nul-byte"/' r1.html >bad.html
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
done
check "another absolute path: the same reports but for the paths" \
    $PY "$CHECK" same-but-roots "$W/a" "$W/somewhere/much/longer" r.json r.sarif r.html

# --- a second run: a hand edit, a deleted source, a changed source ------------------
printf 'edited by hand\n' >out/clean.html
rm site/old.html
printf '^ascii[x]\n^ascii[z]\n' >site/manual.html
rm -rf snapshot
mkdir snapshot
cp -R out snapshot/out
cp st.json snapshot/st.json
run_site r2 site out st.json -j 1
check "second run: exit status" status_is $? 1
check "second run: the hand edit is kept" test "$(cat out/clean.html)" = "edited by hand"
reports_ok "second run" r2 site
expect "second run" r2.json <<'END'
{
  "format_version": 1, "tool": "@TOOL@", "source": "site", "target": "out",
  "check": false, "interrupted": false, "exit_status": 1,
  "summary": {"templates": 9, "other_files": 1, "converted": 3, "manual": 3, "edited": 1,
              "failed": 2, "copied": 1, "not_copied": 0, "renamed": 1,
              "references_rewritten": 1, "written": 1, "unchanged": 6, "skipped": 2,
              "excluded": 2, "stale": 1},
  "files": [
    {"path": ".git", "kind": "excluded", "status": "excluded", "action": "none",
     "reason": "version-control folder"},
    {"path": "blocked", "kind": "directory", "status": "failed", "action": "none",
     "reason": "cannot create directory: Not a directory"},
    {"path": "blocked/x.html", "kind": "template", "target": "blocked/x.html",
     "status": "failed", "action": "none", "reason": "its directory could not be created",
     "diagnostics": 0},
    {"path": "bom.html", "kind": "template", "target": "bom.html", "status": "manual",
     "action": "unchanged", "diagnostics": 1},
    {"path": "broken.html", "kind": "template", "target": "broken.html", "status": "failed",
     "action": "none", "reason": "syntax error", "diagnostics": 1},
    {"path": "caf\udce9.html", "kind": "template", "target": "caf\udce9.html",
     "status": "manual", "action": "unchanged", "diagnostics": 1},
    {"path": "clean.html", "kind": "template", "target": "clean.html", "status": "edited",
     "action": "kept", "reason": "edited by hand since the last run; not overwritten",
     "diagnostics": 0},
    {"path": "dangling.html", "kind": "other", "status": "skipped", "action": "none",
     "reason": "dangling symbolic link (its target does not exist)"},
    {"path": "drafts", "kind": "excluded", "status": "excluded", "action": "none",
     "reason": "excluded by --exclude drafts"},
    {"path": "feed", "kind": "other", "status": "skipped", "action": "none",
     "reason": "not a regular file"},
    {"path": "inc/_menu.cfg", "kind": "template", "target": "inc/menu.tvx",
     "status": "converted", "action": "unchanged", "diagnostics": 0},
    {"path": "index.html", "kind": "template", "target": "index.html", "status": "converted",
     "action": "unchanged", "diagnostics": 1},
    {"path": "logo.gif", "kind": "file", "target": "logo.gif", "status": "copied",
     "action": "unchanged"},
    {"path": "manual.html", "kind": "template", "target": "manual.html", "status": "manual",
     "action": "written", "diagnostics": 2},
    {"path": "pre.html", "kind": "template", "target": "pre.html", "status": "converted",
     "action": "unchanged", "diagnostics": 0}
  ],
  "renames": [{"from": "inc/_menu.cfg", "to": "inc/menu.tvx"}],
  "stale": [{"target": "old.html", "source": "old.html", "reason": "source deleted"}],
  "diagnostics": [
    {"path": "blocked", "line": null, "code": "file-failed", "severity": "error",
     "message": "failed: cannot create directory: Not a directory"},
    {"path": "bom.html", "line": 1, "code": "utf8-bom", "severity": "warning",
     "message": "UTF-8 byte-order mark: it stays at the start of the output; remove it unless the site needs it"},
    {"path": "broken.html", "line": 2, "code": "syntax-error", "severity": "error",
     "message": "Unrecognized sequence: parse error, unexpected CR, expecting SQBRO near '\n'"},
    {"path": "broken.html", "line": null, "code": "file-failed", "severity": "error",
     "message": "failed: syntax error"},
    {"path": "caf\udce9.html", "line": 1, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"},
    {"path": "clean.html", "line": null, "code": "edited-by-hand", "severity": "warning",
     "message": "clean.html: edited by hand since the last run; not overwritten"},
    {"path": "dangling.html", "line": null, "code": "template-skipped", "severity": "error",
     "message": "skipped: dangling symbolic link (its target does not exist)"},
    {"path": "feed", "line": null, "code": "file-skipped", "severity": "note",
     "message": "skipped: not a regular file"},
    {"path": "index.html", "line": 2, "code": "reference-rewritten", "severity": "note",
     "message": "reference rewritten: inc/_menu.cfg -> inc/menu.tvx"},
    {"path": "manual.html", "line": 1, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"},
    {"path": "manual.html", "line": 2, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"},
    {"path": "old.html", "line": null, "code": "stale-target", "severity": "note",
     "message": "stale: the source is gone; old.html was kept"}
  ]
}
END
# The same second run with four jobs, from the same state (copies of the
# files: a run that has to read them finds the same).
rm -rf out
mv snapshot/out out
cp snapshot/st.json st.json
run_site r2j4 site out st.json -j 4
check "second run, -j 4: exit status" status_is $? 1
same_reports "second run, -j 1 and -j 4" r2 r2j4

# --- --check, and --diff with the reports --------------------------------------------
# No target, and --no-copy: the directory that could not be made is not
# made at all, so its page converts.
run_site rc site - "$W/unused" --check --no-copy
check "--check: exit status" status_is $? 1
reports_ok "--check" rc site
expect "--check" rc.json <<'END'
{
  "format_version": 1, "tool": "@TOOL@", "source": "site", "target": null,
  "check": true, "interrupted": false, "exit_status": 1,
  "summary": {"templates": 9, "other_files": 1, "converted": 5, "manual": 3, "edited": 0,
              "failed": 1, "copied": 0, "not_copied": 1, "renamed": 1,
              "references_rewritten": 1, "written": 0, "unchanged": 0, "skipped": 2,
              "excluded": 2, "stale": 0},
  "files": [
    {"path": ".git", "kind": "excluded", "status": "excluded", "action": "none",
     "reason": "version-control folder"},
    {"path": "blocked/x.html", "kind": "template", "target": "blocked/x.html",
     "status": "converted", "action": "none", "diagnostics": 0},
    {"path": "bom.html", "kind": "template", "target": "bom.html", "status": "manual",
     "action": "none", "diagnostics": 1},
    {"path": "broken.html", "kind": "template", "target": "broken.html", "status": "failed",
     "action": "none", "reason": "syntax error", "diagnostics": 1},
    {"path": "caf\udce9.html", "kind": "template", "target": "caf\udce9.html",
     "status": "manual", "action": "none", "diagnostics": 1},
    {"path": "clean.html", "kind": "template", "target": "clean.html", "status": "converted",
     "action": "none", "diagnostics": 0},
    {"path": "dangling.html", "kind": "other", "status": "skipped", "action": "none",
     "reason": "dangling symbolic link (its target does not exist)"},
    {"path": "drafts", "kind": "excluded", "status": "excluded", "action": "none",
     "reason": "excluded by --exclude drafts"},
    {"path": "feed", "kind": "other", "status": "skipped", "action": "none",
     "reason": "not a regular file"},
    {"path": "inc/_menu.cfg", "kind": "template", "target": "inc/menu.tvx",
     "status": "converted", "action": "none", "diagnostics": 0},
    {"path": "index.html", "kind": "template", "target": "index.html", "status": "converted",
     "action": "none", "diagnostics": 1},
    {"path": "logo.gif", "kind": "file", "target": "logo.gif", "status": "not_copied",
     "action": "none"},
    {"path": "manual.html", "kind": "template", "target": "manual.html", "status": "manual",
     "action": "none", "diagnostics": 2},
    {"path": "pre.html", "kind": "template", "target": "pre.html", "status": "converted",
     "action": "none", "diagnostics": 0}
  ],
  "renames": [{"from": "inc/_menu.cfg", "to": "inc/menu.tvx"}],
  "stale": [],
  "diagnostics": [
    {"path": "bom.html", "line": 1, "code": "utf8-bom", "severity": "warning",
     "message": "UTF-8 byte-order mark: it stays at the start of the output; remove it unless the site needs it"},
    {"path": "broken.html", "line": 2, "code": "syntax-error", "severity": "error",
     "message": "Unrecognized sequence: parse error, unexpected CR, expecting SQBRO near '\n'"},
    {"path": "broken.html", "line": null, "code": "file-failed", "severity": "error",
     "message": "failed: syntax error"},
    {"path": "caf\udce9.html", "line": 1, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"},
    {"path": "dangling.html", "line": null, "code": "template-skipped", "severity": "error",
     "message": "skipped: dangling symbolic link (its target does not exist)"},
    {"path": "feed", "line": null, "code": "file-skipped", "severity": "note",
     "message": "skipped: not a regular file"},
    {"path": "index.html", "line": 2, "code": "reference-rewritten", "severity": "note",
     "message": "reference rewritten: inc/_menu.cfg -> inc/menu.tvx"},
    {"path": "manual.html", "line": 1, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"},
    {"path": "manual.html", "line": 2, "code": "unconvertible-operator", "severity": "warning",
     "message": "Unconvertible operator 'ascii': remarked, edit manually"}
  ]
}
END
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
expect "clean site" c.json <<'END'
{
  "format_version": 1, "tool": "@TOOL@", "source": "clean", "target": "clean.out",
  "check": false, "interrupted": false, "exit_status": 0,
  "summary": {"templates": 2, "other_files": 0, "converted": 2, "manual": 0, "edited": 0,
              "failed": 0, "copied": 0, "not_copied": 0, "renamed": 1,
              "references_rewritten": 1, "written": 2, "unchanged": 0, "skipped": 1,
              "excluded": 0, "stale": 0},
  "files": [
    {"path": "feed", "kind": "other", "status": "skipped", "action": "none",
     "reason": "not a regular file"},
    {"path": "inc/_m.cfg", "kind": "template", "target": "inc/m.tvx", "status": "converted",
     "action": "written", "diagnostics": 0},
    {"path": "index.html", "kind": "template", "target": "index.html", "status": "converted",
     "action": "written", "diagnostics": 1}
  ],
  "renames": [{"from": "inc/_m.cfg", "to": "inc/m.tvx"}],
  "stale": [],
  "diagnostics": [
    {"path": "feed", "line": null, "code": "file-skipped", "severity": "note",
     "message": "skipped: not a regular file"},
    {"path": "index.html", "line": 1, "code": "reference-rewritten", "severity": "note",
     "message": "reference rewritten: inc/_m.cfg -> inc/m.tvx"}
  ]
}
END

# --- --no-copy: a file left out is not lost with its directory -----------------------
mkdir -p nocopy/sub nocopy.out
printf 'x\n' >nocopy/a.html
printf 'GIF89a' >nocopy/sub/logo.gif
printf 'a file\n' >nocopy.out/sub
"$TREE" --no-copy --state nocopy.st --report n.json --html n.html --sarif n.sarif \
    nocopy nocopy.out 2>n.err
check "--no-copy, a directory that cannot be made: exit status" status_is $? 1
reports_ok "--no-copy" n nocopy
expect "--no-copy, a directory that cannot be made" n.json <<'END'
{
  "format_version": 1, "tool": "@TOOL@", "source": "nocopy", "target": "nocopy.out",
  "check": false, "interrupted": false, "exit_status": 1,
  "summary": {"templates": 1, "other_files": 1, "converted": 1, "manual": 0, "edited": 0,
              "failed": 1, "copied": 0, "not_copied": 1, "renamed": 0,
              "references_rewritten": 0, "written": 1, "unchanged": 0, "skipped": 0,
              "excluded": 0, "stale": 0},
  "files": [
    {"path": "a.html", "kind": "template", "target": "a.html", "status": "converted",
     "action": "written", "diagnostics": 0},
    {"path": "sub", "kind": "directory", "status": "failed", "action": "none",
     "reason": "cannot create directory: Not a directory"},
    {"path": "sub/logo.gif", "kind": "file", "target": "sub/logo.gif", "status": "not_copied",
     "action": "none"}
  ],
  "renames": [],
  "stale": [],
  "diagnostics": [
    {"path": "sub", "line": null, "code": "file-failed", "severity": "error",
     "message": "failed: cannot create directory: Not a directory"}
  ]
}
END

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
# nul.html cannot be patched: its line says so.
printf 'Binary files a/nul.html and b/nul.html differ\n' >binary.want
cp -R d d.orig
mkdir -p held
printf 'mine\n' >held/a.html
(cd held && find . -printf '%p %s %T@\n' | sort) >held.before
XDG_CACHE_HOME="$W/diff-cache" "$TREE" --diff -j 1 d held >d1.diff 2>d1.err
check "--diff: exit status of --check" status_is $? 1
XDG_CACHE_HOME="$W/diff-cache" "$TREE" --diff -j 4 d >d4.diff 2>/dev/null
check "--diff: the same diffs for -j 4 and without a target" cmp d1.diff d4.diff
(cd held && find . -printf '%p %s %T@\n' | sort) >held.after
check "--diff: nothing written into the target" cmp held.before held.after
XDG_CACHE_HOME="$W/diff-cache" "$TREE" --diff d newtarget >/dev/null 2>&1
check "--diff: no target made" test ! -e newtarget
check "--diff: no record kept" test ! -e "$W/diff-cache"
check "--diff: a template with NUL bytes is named, not diffed" \
    test "$(grep -c 'nul\.html' d1.diff)" = 1 -a "$(grep -x -c -F -f binary.want d1.diff)" = 1
check "--diff: nothing for a template that converts to itself, a failed one or another file" \
    test -z "$(grep -e same.html -e empty.html -e broken.html -e img.gif d1.diff)"
check "--diff: the macro file's diff goes from its name to its new name" \
    test "$(grep -A 1 -x -e '--- a/inc/_menu.cfg' d1.diff | tail -n 1)" = '+++ b/inc/menu.tvx'
check "--diff: a name with a blank is quoted" grep -q -x -e '--- "a/my page.html"' d1.diff
cp -R d patched
(cd patched && patch -p1 --batch --quiet --no-backup-if-mismatch <../d1.diff) >patch.out 2>&1
check "--diff: patch -p1 applies it" status_is $? 0
check "--diff: patch has nothing to say" test ! -s patch.out
for f in a.html nolf.html empty.html same.html inc/_menu.cfg "my page.html" sub/long.htm; do
    "$TVCONV" "d/$f" >want 2>/dev/null
    check "--diff: patched $f is its conversion" cmp want "patched/$f"
done
check "--diff: no file under the macro file's new name" test ! -e patched/inc/menu.tvx
for f in nul.html broken.html img.gif; do
    check "--diff: $f is left as it was" cmp "d/$f" "patched/$f"
done
check "--diff: the source tree is untouched" diff -r d.orig d

echo "$passed passed, $failures failed"
test "$failures" -eq 0
