#!/bin/sh
# Checks the built manual pages: they format without a single warning
# (groff -ww, mandoc -T lint), man renders the compressed pages, the
# compressed files are what Debian expects (gzip -9n), the options that
# tvconv-tree --help lists and the entries under OPTIONS in tvconv-tree(1)
# are the same set, and the table of diagnostic codes and the entries that
# document them are the same sets, with the table's severities and sections.
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

# Diagnostic codes, read from the one table in the sources
# (src/context/codes.def), one line per code: its published name, its
# severity and the subsection of DIAGNOSTIC CODES in tvconv-tree(1) that
# documents it ("conversion", "input" or "files").
sed -n 's/^TVCONV_CODE([a-z0-9_]*, "\([a-z0-9-]*\)", \([a-z]*\), \([a-z]*\), ".*")$/\1 \2 \3/p' \
    "$SRC/src/context/codes.def" | LC_ALL=C sort >"$W/table"
check "codes read from codes.def" test "$(wc -l <"$W/table")" -ge 20
check "every line of codes.def is a code the test can read" test "$(wc -l <"$W/table")" = \
    "$(grep -c '^TVCONV_CODE(' "$SRC/src/context/codes.def")"
awk '$3 == "conversion" { print $1 }' "$W/table" >"$W/core-codes"
cut -d' ' -f1 "$W/table" >"$W/tree-codes"
check "the conversion has codes of its own" test "$(wc -l <"$W/core-codes")" -ge 10

# tag_lines PAGE SECTION [SUBSECTION]: the tag lines of the .TP entries in
# that section (and subsection).
tag_lines() {
    sed -n "/^\.SH \"\{0,1\}$2\"\{0,1\}\$/,/^\.SH /p" "$DIR/$1.1" |
        if [ $# -gt 2 ]; then sed -n "/^\.SS $3\$/,/^\.S[HS] /p"; else cat; fi |
        sed -n '/^\.TP/{n;p;}' | sed 's/\\-/-/g'
}
# tvconv(1): a ".B CODE" entry under DIAGNOSTICS for each code of the conversion.
tag_lines tvconv DIAGNOSTICS | sed -n 's/^\.B \([a-z0-9-]*\)$/\1/p' | LC_ALL=C sort >"$W/tvconv-codes"
check "tvconv(1) documents every code of the conversion, and no other" \
    diff -u "$W/core-codes" "$W/tvconv-codes"
# tvconv-tree(1): a '.BR CODE " (SEVERITY)"' entry for each code, in the
# subsection its table line names, with the table's severity.
for section in conversion input files; do
    tag_lines tvconv-tree "DIAGNOSTIC CODES" "Codes of the $section" |
        sed -n "s/^\.BR \([a-z0-9-]*\) \" (\([a-z]*\))\"\$/\1 \2 $section/p"
done | LC_ALL=C sort >"$W/tree-man-codes"
check "tvconv-tree(1) documents every code under its section with its severity, and no other" \
    diff -u "$W/table" "$W/tree-man-codes"
# The program's SARIF rules are the table too.
mkdir "$W/empty"
"$TREE" --check --sarif "$W/rules.sarif" "$W/empty" 2>/dev/null
awk -F'"' '/^ *"id": "/ { id = $4 } /^ *"level": "/ { print id, $4 }' "$W/rules.sarif" |
    LC_ALL=C sort >"$W/severities"
cut -d' ' -f1,2 "$W/table" >"$W/table-severities"
check "the program's SARIF rules give every code the table's severity" \
    diff -u "$W/table-severities" "$W/severities"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
