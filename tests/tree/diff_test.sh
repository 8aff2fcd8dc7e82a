#!/bin/sh
# The patch of tvconv-tree --diff rebuilds TARGET: applied to a copy of
# SOURCE, by git apply and by patch -p1 alike, it gives what a real run
# writes, file for file (renamed macro files with and without a change of
# bytes, rewritten references, templates and copies reached through
# symbolic links, names with blanks, bytes outside ASCII and control
# characters, quotes and backslashes, NUL bytes, modes).
# Usage: diff_test.sh TVCONV_TREE
set -u
umask 022
abspath() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
HERE=$(cd "$(dirname "$0")" && pwd)
TREE=$(abspath "$1")
for tool in git patch; do
    command -v $tool >/dev/null || {
        echo "FAIL: $tool is needed (./build.sh test installs it)"
        exit 1
    }
done
W=$(cd "$(mktemp -d)" && pwd -P)
trap 'rm -rf "$W"' EXIT
export XDG_CACHE_HOME="$W/cache"
# git apply outside a repository works on the files as patch does; no
# repository above the copies may claim them.
export GIT_CEILING_DIRECTORIES="$W"
cd "$W" || exit 1
. "$HERE/../check.sh"
status_is() { [ "$1" = "$2" ] || { echo "exit status $1, expected $2" >&2; false; }; }

# Every file, link and directory of a tree, with its type and mode, and the
# bytes of each file: two trees with equal listings are equal.
listing() {
    (cd "$1" && find . -printf '%y %m %p\n' | LC_ALL=C sort &&
        find . -type f -exec cksum {} + | LC_ALL=C sort -k 3)
}

cafe=$(printf 'caf\303\251')
menue=$(printf '_men\303\274.cfg')
ctrl=$(printf 'x\001y\tz.html')
nl=$(printf 'new\nline.html')
mkdir -p s/inc s/sub "s/my dir" "s/$cafe"
printf '@menu[]\n$items\n' >s/inc/_menu.cfg
printf 'plain text\n' >s/inc/_plain.cfg
printf '@init[]\n$x\n' >s/tavrin.cfg
printf '^macro_use[inc/_menu.cfg]\n^macro_use[/tavrin.cfg]\n^macro_use[inc/_plain.cfg]\n' \
    >s/index.html
printf 'Price $5\n' >s/page.html
printf '$dollar\nno final line feed $x' >"s/my dir/a page.html"
printf '^macro_use[_men\303\274.cfg]\n$v\n' >"s/$cafe/index.html"
printf '@m[]\n$y\n' >"s/$cafe/$menue"
printf 'blank $b\n' >"s/my dir/_my menu.cfg"
printf 'tab $t\n' >"s/$ctrl"
printf 'line $l\n' >"s/$nl"
printf 'quote $q\n' >'s/q"b\s.html'
printf 'a $b\nc\000d $e\n' >s/nul.html
printf '#!/bin/sh\n$run\n' >s/run.html
chmod 755 s/run.html
printf 'GIF89a\000\001$x' >s/img.gif
: >s/empty.html
printf 'Hello\n' >s/same.html
# Links inside the tree: templates to templates, a renamed macro file to a
# macro file, one to a name with a blank, copied files to a template and
# to a binary file.
ln -s page.html s/link.html
ln -s ../page.html s/sub/up.html
ln -s _menu.cfg s/inc/_alias.cfg
ln -s "a page.html" "s/my dir/spaced link.html"
ln -s same.html s/same-link.html
ln -s page.html s/raw.txt
ln -s img.gif s/img-link.gif
ln -s run.html s/run-link.html
cp -a s s.orig

# nul.html's NUL byte is dropped with a warning: exit status 3.
"$TREE" -j 2 s target >run.out 2>run.err
check "a real run writes the target" status_is $? 3
"$TREE" -j 2 --diff s >site.diff 2>diff.err
check "--diff: exit status" status_is $? 3
check "--diff: standard error is that of --check" sh -c '"$0" --check s 2>&1 >/dev/null | cmp - diff.err' "$TREE"
check "--diff: the source tree is untouched" diff -r --no-dereference s.orig s

listing target >target.list
for tool in git patch; do
    cp -a s "by-$tool"
    case $tool in
        git) (cd "by-$tool" && git apply) <site.diff >"$tool.out" 2>&1 ;;
        patch) (cd "by-$tool" && patch -p1 --batch --quiet) <site.diff >"$tool.out" 2>&1 ;;
    esac
    check "$tool: applies the patch" status_is $? 0
    check "$tool: has nothing to say" test ! -s "$tool.out"
    listing "by-$tool" >"$tool.list"
    check "$tool: the patched copy of SOURCE is TARGET, file for file" cmp target.list "$tool.list"
    check "$tool: and byte for byte" diff -r --no-dereference target "by-$tool"
done

# What the patch says, as git would say it.
header() { grep -a -x -F -A "$2" "diff --git $1" site.diff | tail -n +2; }
check "--diff: a macro file renamed with a change of bytes" \
    test "$(header 'a/inc/_menu.cfg b/inc/menu.tvx' 4 | sed 1d)" = "$(printf \
        'rename from inc/_menu.cfg\nrename to inc/menu.tvx\n--- a/inc/_menu.cfg')"
check "--diff: a macro file renamed as it is" \
    test "$(header 'a/inc/_plain.cfg b/inc/plain.tvx' 3)" = "$(printf \
        'similarity index 100%%\nrename from inc/_plain.cfg\nrename to inc/plain.tvx')"
check "--diff: a name outside ASCII is quoted in octal" \
    grep -a -q -x -F 'rename from "caf\303\251/_men\303\274.cfg"' site.diff
check "--diff: a name with a blank is quoted" \
    grep -a -q -x -F 'rename to "my dir/my menu.tvx"' site.diff
check "--diff: a quote and a backslash are escaped" \
    grep -a -q -x -F -e '--- "a/q\"b\\s.html"' site.diff
check "--diff: a control character is quoted" \
    grep -a -q -x -F 'diff --git "a/x\001y\tz.html" "b/x\001y\tz.html"' site.diff
check "--diff: each link is deleted as a link" \
    test "$(grep -a -c -x -e 'deleted file mode 120000' site.diff)" = 8
check "--diff: and its file created with the mode of what it leads to" \
    test "$(header 'a/run-link.html b/run-link.html' 7 | grep -a '^new')" = 'new file mode 100755'
check "--diff: nothing for a file copied as it is or a template that converts to itself" \
    test -z "$(grep -a -e 'a/img.gif' -e 'a/same.html' -e 'a/empty.html' site.diff)"

echo "$passed passed, $failures failed"
test "$failures" -eq 0
