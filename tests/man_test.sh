#!/bin/sh
# Checks the built manual pages: they format without a single warning
# (groff -ww, mandoc -T lint), man renders the compressed pages, the
# compressed files are what Debian expects (gzip -9n), and the options that
# tvconv-tree --help lists and the entries under OPTIONS in tvconv-tree(1)
# are the same set.
# Usage: man_test.sh MAN_BUILD_DIR TVCONV_TREE
set -u
DIR=$1
TREE=$2
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
failures=0
passed=0

check() {  # check NAME COMMAND...: runs COMMAND, counts it
    name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        echo "FAIL: $name"
        failures=$((failures + 1))
    fi
}
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

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
