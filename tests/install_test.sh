#!/bin/sh
# Installs the build into a scratch root with `cmake --install` and checks
# what arrives: exactly the programs, manual pages, completion and documents
# (no library, test or fuzz target), with the right modes; the version of
# project() in tvconv-tree --version and at the top of the changelog; and a
# Debian copyright file that carries LICENSE's terms.
# Usage: install_test.sh BUILD_DIR VERSION SOURCE_DIR
set -u
TESTS_DIR=$(cd "$(dirname "$0")" && pwd)
BUILD=$1
VERSION=$2
SOURCE=$3
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
. "$TESTS_DIR/check.sh"

if ! DESTDIR=$W/root cmake --install "$BUILD" --prefix /usr >"$W/log" 2>&1; then
    cat "$W/log"
    echo "FAIL: cmake --install"
    exit 1
fi
R=$W/root

cat >"$W/expected" <<END
f 644 usr/share/bash-completion/completions/tvconv-tree
f 644 usr/share/doc/tvconv/LICENSE
f 644 usr/share/doc/tvconv/README.md
f 644 usr/share/doc/tvconv/changelog.gz
f 644 usr/share/doc/tvconv/copyright
f 644 usr/share/doc/tvconv/report.schema.json
f 644 usr/share/doc/tvconv/reports.md
f 644 usr/share/man/man1/tvconv-tree.1.gz
f 644 usr/share/man/man1/tvconv.1.gz
f 755 usr/bin/tvconv
f 755 usr/bin/tvconv-tree
END
(cd "$R" && find . -type f -printf '%y %m %P\n' -o ! -type d -printf '%y %m %P\n') |
    LC_ALL=C sort >"$W/installed"
LC_ALL=C sort "$W/expected" >"$W/wanted"
check "installed files" diff -u "$W/wanted" "$W/installed"

check "installed tvconv-tree reports the version" \
    test "$("$R/usr/bin/tvconv-tree" --version)" = "tvconv-tree $VERSION"
check "installed tvconv converts" \
    test "$(printf 'a $b\n' | "$R/usr/bin/tvconv")" = 'a ^$b'
check "changelog's latest entry is this version" \
    test "$(gzip -dc "$R/usr/share/doc/tvconv/changelog.gz" | head -n 1)" = \
    "tvconv ($VERSION) unstable; urgency=medium"

# The copyright file in Debian's machine-readable format, with LICENSE's
# copyright holder and terms (indented, blank lines as " .").
C=$R/usr/share/doc/tvconv/copyright
check "copyright: format line" \
    test "$(head -n 1 "$C")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
check "copyright: holder from LICENSE" \
    grep -qx "Copyright: $(sed -n 's/^Copyright (c) //p' "$SOURCE/LICENSE")" "$C"
sed -n '/^License: Expat$/,$p' "$C" | tail -n +2 | sed 's/^ \.$//; s/^ //' >"$W/terms"
sed '1,/^Copyright (c)/d' "$SOURCE/LICENSE" | sed '1{/^$/d;}' >"$W/license-terms"
check "copyright: the terms of LICENSE" diff -u "$W/license-terms" "$W/terms"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
