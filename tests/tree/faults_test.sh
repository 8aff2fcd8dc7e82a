#!/bin/sh
# Fault injection into tvconv-tree: each write, rename, directory creation,
# sync and record update of a run fails in turn (or the process is killed
# there), and after each the test checks that the source is untouched, that
# no target file is half-written, that every target file is claimed by the
# record with what it holds or announced by an intent, and that a plain
# re-run completes the migration, even after one more change of a source.
# Usage: faults_test.sh TVCONV_TREE FAULT_INJECT_LIBRARY HASH_FILE
set -u
umask 022
abspath() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
HERE=$(cd "$(dirname "$0")" && pwd)
TREE=$(abspath "$1")
LIB=$(abspath "$2")
HASH=$(abspath "$3")
CHECK="$HERE/fault_check.py"
# The interpreter itself, not a wrapper that picks one: it runs hundreds of times.
PY=$(python3 -c 'import sys; print(sys.executable)') ||
    { echo "faults_test: python3 is needed" >&2; exit 1; }

# A sanitized build has its runtime linked in, which must come first among
# the preloaded libraries.
PRELOAD=$LIB
asan=$(ldd "$TREE" | awk '$1 ~ /^libasan/ { print $3 }')
[ -n "$asan" ] && PRELOAD="$asan $LIB"

W=$(mktemp -d)
W=$(cd "$W" && pwd -P)
export XDG_CACHE_HOME="$W/cache"
trap 'rm -rf "$W"' EXIT
. "$HERE/../check.sh"
start=$(date +%s)

# The faulted run's target and record: the only places a fault is injected.
T=$W/t
ST=$W/st
tree_run() {  # tree_run JOBS SOURCE [OPTION...] [ENV...]: a run into $T, its status in $status
    jobs=$1 src=$2 options=
    shift 2
    while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do options="$options $1 $2" && shift 2; done
    # shellcheck disable=SC2086
    env "$@" "$TREE" -j "$jobs" --state "$ST/rec.json" $options "$src" "$T" >"$W/out" 2>"$W/err"
    status=$?
}
# Runs with the library loaded; counts the calls it can fail.
faulted() {  # faulted JOBS SOURCE [OPTION VALUE...] [ENV...]
    jobs=$1 src=$2 options=
    shift 2
    while [ $# -gt 0 ] && [ "${1#--}" != "$1" ]; do options="$options $1 $2" && shift 2; done
    : >"$W/trace"
    # shellcheck disable=SC2086
    tree_run "$jobs" "$src" $options LD_PRELOAD="$PRELOAD" TVCONV_FAULT_DIRS="$T:$ST" \
        TVCONV_FAULT_TRACE="$W/trace" TVCONV_FAULT_COUNT_FILE="$W/count" "$@"
}
checked() {  # checked [fault_check.py check options]: says what is wrong, if anything
    "$PY" "$CHECK" check --hash "$HASH" --target "$T" --record "$ST/rec.json" "$@" >"$W/problems"
    s=$?
    sed 's/^/    /' "$W/problems"
    return $s
}

# --- the sites ----------------------------------------------------------------
# Version 1: a macro file and a page that uses it (its reference is rewritten
# to the renamed file), a copied binary with its own mode, subdirectories.
S1=$W/src1
mkdir -p "$S1/img" "$S1/news/old"
printf '@greet[who]\nHi $who\n' >"$S1/_m.cfg"
printf '^macro_use[_m.cfg]\n^greet[you]\n' >"$S1/index.html"
printf 'Price: $5 (net)\n' >"$S1/about.html"
printf 'News (today)\n' >"$S1/news/item.htm"
chmod 640 "$S1/news/item.htm"
printf 'Old $news\n' >"$S1/news/old/a.html"
printf 'GIF89a\000\001\377\nend' >"$S1/img/logo.gif"
chmod 600 "$S1/img/logo.gif"
# Version 2: one file changed, one added; the others are the same files
# (hard links), so that a re-run finds them unchanged by their identity.
S2=$W/src2
cp -al "$S1" "$S2"
rm "$S2/about.html"
printf 'Price: $6 (net)\n' >"$S2/about.html"
printf 'Fresh $news\n' >"$S2/news/new.html"
"$PY" "$CHECK" snapshot "$S1" >"$W/src1.snapshot"
"$PY" "$CHECK" snapshot "$S2" >"$W/src2.snapshot"

# --- clean runs: what a complete migration gives --------------------------------
# E1: version 1 into an empty target, with its record; E2: version 2 into an
# empty target. A re-run of version 2 over a copy of E1 (hard links again:
# files keep their identity, and a run replaces files, never writes into them)
# must give E2 too.
mkdir -p "$W/e1.state" "$W/e2.state"
"$TREE" -j 1 --state "$W/e1.state/rec.json" "$S1" "$W/e1" 2>/dev/null
clean1=$?
check "a clean first run succeeds" test "$clean1" -eq 0
"$TREE" -j 1 --state "$W/e2.state/rec.json" "$S2" "$W/e2" 2>/dev/null
check "a clean run of the second version succeeds" test $? -eq 0

reset_first() { rm -rf "$T" "$ST" && mkdir "$ST"; }
reset_rerun() {
    rm -rf "$T" "$ST" && cp -al "$W/e1" "$T" && cp -a "$W/e1.state" "$ST"
}

reset_first
faulted 1 "$S1"
K1=$(cat "$W/count")
check "counting changes nothing: status" test "$status" -eq "$clean1"
check "counting changes nothing: tree and record" checked --exact "$W/e1"
reset_rerun
faulted 1 "$S2"
K2=$(cat "$W/count")
clean2=$status
check "an incremental re-run succeeds" test "$clean2" -eq 0
check "an incremental re-run gives the second version" checked --exact "$W/e2"
check "an incremental re-run writes only what changed" grep -q '^  written: 2$' "$W/err"
check "an incremental re-run finds the rest unchanged" \
    grep -q '^  unchanged since the last run: 5$' "$W/err"
echo "fault points: first run $K1, re-run $K2"

# --- every fault point ------------------------------------------------------------
# try SCENARIO MODE JOBS N: injects the fault, checks what is left, re-runs.
try() {
    scenario=$1 mode=$2 jobs=$3 n=$4
    if [ "$scenario" = first ]; then
        src=$S1 clean=$clean1 expected=$W/e1 allow="--allow $W/e1" errno=EIO
    else
        src=$S2 clean=$clean2 expected=$W/e2 allow="--allow $W/e2 --allow $W/e1" errno=ENOSPC
    fi
    reset_$scenario
    if [ "$mode" = kill ]; then
        faulted "$jobs" "$src" TVCONV_FAULT_AT="$n" TVCONV_FAULT_KILL=1
    else
        faulted "$jobs" "$src" TVCONV_FAULT_AT="$n" TVCONV_FAULT_ERRNO="$errno"
    fi
    point=$(grep -E ' (FAILED|KILLED)$' "$W/trace" | sed "s| $W/| |; s/ [A-Z]*\$//")
    [ "$scenario" = first ] && label="first run" || label="re-run"
    label="$label, $mode at $point, -j $jobs"
    check "$label: the fault point is reached" test -n "$point"
    if [ "$mode" = kill ]; then
        check "$label: killed" test "$status" -eq 137
        temporaries=--temporaries
    else
        # Only the removal of the record's journal, and closing the record's
        # journal or lock, may fail without harm.
        case "$point" in
            *" unlink "* | *" close st/rec.json.journal" | *" close st/rec.json.lock") ;;
            *) check "$label: the failure is reported by the exit status" test "$status" -ne 0 ;;
        esac
        temporaries=
    fi
    # shellcheck disable=SC2086
    check "$label: source untouched, nothing half-written, the record true" \
        checked $allow $temporaries --covered --source "$src" "$W/$(basename "$src").snapshot"

    left=$(find "$T" -name '.tvconv-tree.*' 2>/dev/null | wc -l)
    tree_run "$jobs" "$src"
    check "$label: a plain re-run exits as a clean run (got $status)" test "$status" -eq "$clean"
    check "$label: a plain re-run completes the migration" \
        checked --exact "$expected" --source "$src" "$W/$(basename "$src").snapshot"
    check "$label: a plain re-run leaves the record whole" test ! -e "$ST/rec.json.journal"
    if [ "$left" -gt 0 ]; then
        check "$label: a plain re-run says it removed the temporary files" \
            grep -q "^tvconv-tree: removed $left temporary" "$W/err"
    fi
}

for scenario in first rerun; do
    if [ "$scenario" = first ]; then K=$K1; else K=$K2; fi
    for mode in fail kill; do
        n=1
        while [ "$n" -le "$K" ]; do
            try "$scenario" "$mode" 1 "$n"
            n=$((n + 1))
        done
    done
done

# Version 4: the page version 2 changed, changed again.
S4=$W/src4
cp -al "$S2" "$S4"
rm "$S4/about.html"
printf 'Price: $7 (net)\n' >"$S4/about.html"
"$PY" "$CHECK" snapshot "$S4" >"$W/src4.snapshot"
mkdir -p "$W/e4.state"
"$TREE" -j 1 --state "$W/e4.state/rec.json" "$S4" "$W/e4" 2>/dev/null
check "a clean run of the fourth version succeeds" test $? -eq 0
lacks() { ! grep -q "$@"; }

# A run killed at any point, then a plain run after one more source change:
# a file the killed run renamed into place but did not claim is its own, not
# a hand edit, even though it holds neither the recorded bytes nor the new
# conversion.
for scenario in first rerun; do
    # (tree_run sets $src.)
    if [ "$scenario" = first ]; then K=$K1 killed=$S1; else K=$K2 killed=$S2; fi
    n=1
    while [ "$n" -le "$K" ]; do
        reset_$scenario
        faulted 1 "$killed" TVCONV_FAULT_AT="$n" TVCONV_FAULT_KILL=1
        point=$(grep -E ' KILLED$' "$W/trace" | sed "s| $W/| |; s/ [A-Z]*\$//")
        label="$scenario killed at $point, then a changed source"
        tree_run 1 "$S4"
        check "$label: exits 0 (got $status)" test "$status" -eq 0
        check "$label: nothing taken for a hand edit" lacks 'not overwritten' "$W/err"
        check "$label: completes the migration" \
            checked --exact "$W/e4" --source "$S4" "$W/src4.snapshot"
        n=$((n + 1))
    done
done

# Two runs killed in a row, then a plain run after one more source change:
# the second run's claims must survive the line the first one left cut off,
# or the changed file is taken for a hand edit and kept.
n=1
while [ "$n" -le "$K2" ]; do
    reset_rerun
    faulted 1 "$S2" TVCONV_FAULT_AT="$n" TVCONV_FAULT_KILL=1
    point=$(grep -E ' KILLED$' "$W/trace" | sed "s| $W/| |; s/ [A-Z]*\$//")
    label="re-run killed at $point, then killed saving the record"
    faulted 1 "$S2" TVCONV_FAULT_MATCH="mkstemp $ST/rec.json.XXXXXX" TVCONV_FAULT_KILL=1
    if grep -q ' KILLED$' "$W/trace"; then
        check "$label: killed" test "$status" -eq 137
    else
        check "$label: nothing left to save, so not killed" test "$status" -eq 0
    fi
    check "$label: the record true" checked --allow "$W/e2" --temporaries
    tree_run 1 "$S4"
    check "$label: a plain run of a changed source exits 0" test "$status" -eq 0
    check "$label: a plain run of a changed source completes the migration" \
        checked --exact "$W/e4" --source "$S4" "$W/src4.snapshot"
    n=$((n + 1))
done

# Two workers: the order of the calls varies, so every third point only.
for scenario in first rerun; do
    if [ "$scenario" = first ]; then K=$K1; else K=$K2; fi
    for mode in fail kill; do
        n=1
        while [ "$n" -le "$K" ]; do
            try "$scenario" "$mode" 2 "$n"
            n=$((n + 3))
        done
    done
done

# Merges into pages edited by hand: version 6 has two pages of several
# lines; in its target both are edited by hand, and version 7 changes both
# sources, one apart from the edit (a clean merge), one on the edited line
# (a conflict, kept, with --conflicts). A run killed or failed at any point
# never loses a hand edit, and the next run merges, rather than overwrites.
S6=$W/src6
mkdir -p "$S6/news"
printf 'Title\nOne\nTwo\nThree\nFour\nFive\n' >"$S6/m.html"
printf 'Head\nBody\nFoot\n' >"$S6/news/c.html"
printf 'Price: $5\n' >"$S6/p.html"
mkdir -p "$W/e6.state"
"$TREE" -j 1 --state "$W/e6.state/rec.json" "$S6" "$W/e6" 2>/dev/null
check "a clean run of the sixth version succeeds" test $? -eq 0
sed -i 's/^Five$/Five, by hand/' "$W/e6/m.html"
sed -i 's/^Body$/Body, by hand/' "$W/e6/news/c.html"
S7=$W/src7
cp -a "$S6" "$S7"
sed -i 's/^Title$/Title, v7/' "$S7/m.html"
sed -i 's/^Body$/Body, v7/' "$S7/news/c.html"
printf 'Price: $7\n' >"$S7/p.html"
"$PY" "$CHECK" snapshot "$S7" >"$W/src7.snapshot"
cp -a "$W/e6" "$W/e7" && cp -a "$W/e6.state" "$W/e7.state"
"$TREE" -j 1 --state "$W/e7.state/rec.json" --conflicts "$W/cf" "$S7" "$W/e7" 2>/dev/null
clean7=$?
check "the merges of the seventh version: a conflict is left (3)" test "$clean7" -eq 3
check "  the clean one merged" grep -q 'Title, v7' "$W/e7/m.html"
check "  and the edit kept" grep -q 'Five, by hand' "$W/e7/m.html"
reset_merge() {
    rm -rf "$T" "$ST" "$W/cf" && cp -a "$W/e6" "$T" && cp -a "$W/e6.state" "$ST"
}
merge_checked() {  # what a faulted or a plain merging run may leave
    checked --allow "$W/e7" --allow "$W/e6" --edited m.html --edited news/c.html "$@"
}
reset_merge
faulted 1 "$S7" --conflicts "$W/cf"
K7=$(cat "$W/count")
check "counting the merge run changes nothing" test "$status" -eq "$clean7"
check "  tree and record" merge_checked --exact "$W/e7"
for mode in fail kill; do
    n=1
    while [ "$n" -le "$K7" ]; do
        reset_merge
        if [ "$mode" = kill ]; then
            faulted 1 "$S7" --conflicts "$W/cf" TVCONV_FAULT_AT="$n" TVCONV_FAULT_KILL=1
        else
            faulted 1 "$S7" --conflicts "$W/cf" TVCONV_FAULT_AT="$n" TVCONV_FAULT_ERRNO=EIO
        fi
        point=$(grep -E ' (FAILED|KILLED)$' "$W/trace" | sed "s| $W/| |; s/ [A-Z]*\$//")
        label="merge, $mode at $point"
        check "$label: no hand edit lost, nothing half-written" \
            merge_checked --temporaries --covered --source "$S7" "$W/src7.snapshot"
        tree_run 1 "$S7" --conflicts "$W/cf"
        check "$label: a plain re-run exits as a clean run (got $status)" test "$status" -eq "$clean7"
        check "$label: a plain re-run merges, and overwrites nothing" \
            merge_checked --exact "$W/e7" --source "$S7" "$W/src7.snapshot"
        check "$label: the conflict stays out of the target" \
            lacks '^<<<<<<<' "$T/news/c.html"
        n=$((n + 1))
    done
done

# A source whose mode alone changed: an unchanged re-run gives its target
# the new mode, for a template and a copied file alike.
S5=$W/src5
cp -a "$S1" "$S5"
mkdir -p "$W/e5.state"
"$TREE" -j 1 --state "$W/e5.state/rec.json" "$S5" "$W/e5" 2>/dev/null
chmod 700 "$S5/index.html" "$S5/img/logo.gif"
"$TREE" -j 1 --state "$W/e5.state/rec.json" "$S5" "$W/e5" 2>"$W/err"
check "a re-run after a change of mode succeeds" test $? -eq 0
check_equal "the template's target takes the new mode" 700 "$(stat -c %a "$W/e5/index.html")"
check_equal "the copy takes the new mode" 700 "$(stat -c %a "$W/e5/img/logo.gif")"
check_equal "the other targets keep theirs" 640 "$(stat -c %a "$W/e5/news/item.htm")"
"$TREE" -j 1 --state "$W/e5.state/rec.json" "$S5" "$W/e5" 2>"$W/err"
check "then nothing is left to do" grep -q '^  unchanged since the last run: 6$' "$W/err"

echo "fault points: first run $K1, re-run $K2, merge $K7; $(($(date +%s) - start)) s"
echo "$passed passed, $failures failed"
test "$failures" -eq 0
