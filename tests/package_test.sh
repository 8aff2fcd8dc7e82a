#!/bin/sh
# Builds the Debian package and checks it as a user gets it: lintian finds no
# error, its fields are right, and what dpkg -x extracts into a scratch root
# works: the installed tvconv converts the example template to exactly what
# the build tree's tvconv writes, the installed tvconv-tree converts the
# example site exactly as the build tree's does, man renders both pages, and
# the completion loads.
#   tests/package_test.sh [BUILD_DIR]     default build-deb
# Missing tools are installed with apt-get first (as root, or through sudo).
set -u
TESTS_DIR=$(cd "$(dirname "$0")" && pwd)
cd "$(dirname "$0")/.."
dir=${1:-build-deb}

missing=""
need() { command -v "$1" >/dev/null 2>&1 || missing="$missing $2"; }
need lintian lintian
need man man-db
need groff groff-base
need bash bash
. tools/apt-install-missing.sh

deb=$(tools/build-deb.sh "$dir") || { echo "FAIL: building the package"; exit 1; }
echo "package: $deb"
SRC=$(pwd)
BUILD=$(cd "$dir" && pwd)
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
. "$TESTS_DIR/check.sh"

same() {  # same EXPECTED ACTUAL: equal bytes, or the start of the difference
    cmp -s "$1" "$2" && return 0
    diff -u "$1" "$2" | head -n 20
    return 1
}

# Every tag, informational ones too, is shown; only errors fail.
lintian_clean() {
    lintian --display-info --fail-on error "$deb" 2>"$W/lintian.err"
    status=$?
    grep -v 'running with root privileges' "$W/lintian.err" >&2
    return $status
}
check "lintian: no error" lintian_clean

field() { dpkg-deb --field "$deb" "$1"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
check "version from project(): $version" test -n "$version" -a "$(field Version)" = "$version"
check "file name tvconv_VERSION_ARCH.deb" \
    test "$(basename "$deb")" = "tvconv_${version}_$(dpkg --print-architecture).deb"
check "Depends computed from the binaries" sh -c "dpkg-deb --field '$deb' Depends | grep -q 'libc6 (>='"
check "Depends names libgit2, which merges link" sh -c "dpkg-deb --field '$deb' Depends | grep -q 'libgit2-'"
check "Depends names libxxhash, which hashes contents" sh -c "dpkg-deb --field '$deb' Depends | grep -q 'libxxhash0'"
check "Recommends bash-completion, which loads the completion" test "$(field Recommends)" = bash-completion
check "Section" test "$(field Section)" = devel
check "Maintainer" test -n "$(field Maintainer)"

R=$W/root
dpkg -x "$deb" "$R" || { echo "FAIL: dpkg -x"; exit 1; }
TVCONV=$R/usr/bin/tvconv
TREE=$R/usr/bin/tvconv-tree
stripped() { file -L "$1" | grep -q ', stripped'; }
check "tvconv is stripped" stripped "$TVCONV"
check "tvconv-tree is stripped" stripped "$TREE"
check "tvconv-tree --version is the package's" \
    test "$("$TREE" --version)" = "tvconv-tree $version"

# One template: output, diagnostics and status equal to the build tree's.
"$TVCONV" examples/example.tv2 >"$W/installed.out" 2>"$W/installed.err"
echo $? >>"$W/installed.err"
"$BUILD/tvconv" examples/example.tv2 >"$W/built.out" 2>"$W/built.err"
echo $? >>"$W/built.err"
check "example.tv2 converts" test -s "$W/installed.out"
check "example.tv2: same output as the build tree's tvconv" same "$W/built.out" "$W/installed.out"
check "example.tv2: same diagnostics and status" same "$W/built.err" "$W/installed.err"

# The example site, into the same relative target from two directories, so
# that the reports can be compared too.
mkdir "$W/a" "$W/b"
(cd "$W/a" && "$TREE" -j 2 --report report.json "$SRC/examples/site" site >report.txt 2>&1
    echo $? >status)
(cd "$W/b" && "$BUILD/src/tree/tvconv-tree" -j 2 --report report.json "$SRC/examples/site" site \
    >report.txt 2>&1
    echo $? >status)
check "examples/site converts with manual edits left (status 3)" test "$(cat "$W/a/status")" = 3
check "examples/site: the renamed macro file is there" test -s "$W/a/site/auto.tvx"
check "examples/site: same tree as the build tree's tvconv-tree" diff -r "$W/b/site" "$W/a/site"
check "examples/site: same report" same "$W/b/report.txt" "$W/a/report.txt"
check "examples/site: same JSON report" same "$W/b/report.json" "$W/a/report.json"

# The manual pages as man finds them in the extracted tree.
for page in tvconv tvconv-tree; do
    MANPATH=$R/usr/share/man MANWIDTH=80 man -P cat "$page" >"$W/$page.txt" 2>"$W/man.err"
    check "man $page: no complaint" test ! -s "$W/man.err"
    check "man $page: renders the page" grep -q "^       $page - convert" "$W/$page.txt"
done
check "completion loads and registers tvconv-tree" \
    bash -c ". '$R/usr/share/bash-completion/completions/tvconv-tree' && complete -p tvconv-tree >/dev/null"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
