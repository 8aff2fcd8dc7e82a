#!/bin/sh
# Checks the built manual pages: they format without a single warning
# (groff -ww, mandoc -T lint), man renders the compressed pages, the
# compressed files are what Debian expects (gzip -9n), the options that
# tvconv-tree --help lists and the entries under OPTIONS in tvconv-tree(1)
# are the same set, and the diagnostic codes of the sources and the entries
# that document them are the same sets, with the severities the program gives.
# Usage: man_test.sh MAN_BUILD_DIR TVCONV_TREE SOURCE_DIR
set -u
TESTS_DIR=$(cd "$(dirname "$0")" && pwd)
DIR=$1
TREE=$2
SRC=$3
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
. "$TESTS_DIR/check.sh"

for tool in groff mandoc man; do
    command -v $tool >/dev/null 2>&1 || { echo "$tool is needed (./build.sh test installs it)"; exit 1; }
done

silent() {  # silent COMMAND...: succeeds and prints nothing (mandoc lints to stdout)
    "$@" >"$W/said" 2>&1 && [ ! -s "$W/said" ] || { cat "$W/said"; false; }
}
# The footer carries the version that tvconv-tree --version reports.
footer_has_version() {
    version=$("$TREE" --version | sed 's/^tvconv-tree //')
    [ -n "$version" ] && tail -n 1 "$1" | grep -q "^tvconv $version "
}
# gzip header: no file name (FLG 0), no time stamp (MTIME 0), maximum
# compression (XFL 2).
gzip_9n() {
    gzip -t "$1" && [ "$(od -An -tu1 -j3 -N6 "$1" | tr -s ' ')" = " 0 0 0 0 0 2" ]
}

for page in tvconv tvconv-tree; do
    src=$DIR/$page.1
    check "$page: groff -ww" silent groff -ww -z -man "$src"
    check "$page: mandoc -T lint" silent mandoc -T lint -W warning "$src"
    check "$page: compressed with gzip -9n" gzip_9n "$src.gz"
    MANWIDTH=80 man -l "$src.gz" 2>"$W/stderr" >"$W/$page.txt"
    check "$page: man -l renders it" test -s "$W/$page.txt" -a ! -s "$W/stderr"
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES "SEE ALSO"; do
        check "$page: section $section" grep -qx "$section" "$W/$page.txt"
    done
    check "$page: version in the footer" footer_has_version "$W/$page.txt"
done

# Options: from the usage text's option lines ("  -j, --jobs N   ...") and
# from the tag lines of the .TP entries under OPTIONS in the page source
# (".BR \-j " \fIn\fR, " \-\-jobs " \fIn\fR").
options() { grep -o -- '--*[a-z][a-z-]*' | sort -u; }
"$TREE" --help | sed -n '/^options:/,/^$/p' | grep '^  -' | sed 's/   .*//' | options >"$W/help"
sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$DIR/tvconv-tree.1" | sed -n '/^\.TP/{n;p;}' |
    sed 's/\\-/-/g; s/\\f.//g' | options >"$W/man"
check "tvconv-tree --help lists options" test -s "$W/help"
check "every option has an entry in tvconv-tree(1), and no other" diff -u "$W/help" "$W/man"

# Diagnostic codes, read from the sources so that the pages cannot fall
# behind: the conversion's from kAllDiagnosticCodes (a code's published
# name is its enumerator's with '-' for '_'), tvconv-tree's from kCodeHelp,
# which must hold the conversion's too.
sed -n '/kAllDiagnosticCodes\[\] = {/,/^};/p' "$SRC/src/context/diagnostic.h" |
    sed -n 's/^ *DiagnosticCode::\([a-z0-9_]*\),$/\1/p' | tr _ - | LC_ALL=C sort >"$W/core-codes"
sed -n '/^const CodeHelp kCodeHelp\[\] = {/,/^};/p' "$SRC/src/tree/report.cpp" |
    sed -n 's/^    {"\([a-z0-9-]*\)",.*/\1/p' | LC_ALL=C sort >"$W/tree-codes"
check "codes read from diagnostic.h" test "$(wc -l <"$W/core-codes")" -ge 10
check "codes read from report.cpp" test "$(wc -l <"$W/tree-codes")" -gt "$(wc -l <"$W/core-codes")"
check "kCodeHelp holds every code of the conversion" \
    test -z "$(LC_ALL=C comm -23 "$W/core-codes" "$W/tree-codes")"

# tag_lines PAGE SECTION: the tag lines of the .TP entries in that section.
tag_lines() {
    sed -n "/^\.SH \"\{0,1\}$2\"\{0,1\}\$/,/^\.SH /p" "$DIR/$1.1" | sed -n '/^\.TP/{n;p;}' |
        sed 's/\\-/-/g'
}
# tvconv(1): a ".B CODE" entry under DIAGNOSTICS for each code of the conversion.
tag_lines tvconv DIAGNOSTICS | sed -n 's/^\.B \([a-z0-9-]*\)$/\1/p' | LC_ALL=C sort >"$W/tvconv-codes"
check "tvconv(1) documents every code of the conversion, and no other" \
    diff -u "$W/core-codes" "$W/tvconv-codes"
# tvconv-tree(1): a '.BR CODE " (SEVERITY)"' entry under DIAGNOSTIC CODES for
# each code of kCodeHelp, with the severity that the program's SARIF rules
# give it.
tag_lines tvconv-tree "DIAGNOSTIC CODES" | sed -n 's/^\.BR \([a-z0-9-]*\) " (\([a-z]*\))"$/\1 \2/p' |
    LC_ALL=C sort >"$W/tree-man-codes"
cut -d' ' -f1 "$W/tree-man-codes" >"$W/tree-man-names"
check "tvconv-tree(1) documents every code of kCodeHelp, and no other" \
    diff -u "$W/tree-codes" "$W/tree-man-names"
mkdir "$W/empty"
"$TREE" --check --sarif "$W/rules.sarif" "$W/empty" 2>/dev/null
awk -F'"' '/^ *"id": "/ { id = $4 } /^ *"level": "/ { print id, $4 }' "$W/rules.sarif" |
    LC_ALL=C sort >"$W/severities"
cut -d' ' -f1 "$W/severities" >"$W/severity-names"
check "the program gives a severity to every code" diff -u "$W/tree-codes" "$W/severity-names"
check "tvconv-tree(1) gives each code the program's severity" \
    diff -u "$W/severities" "$W/tree-man-codes"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
