#!/bin/sh
# End-to-end tests of tvconv-tree on example trees built here.
# Usage: tree_test.sh TVCONV_TREE TVCONV
set -u
umask 022
abspath() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
HERE=$(cd "$(dirname "$0")" && pwd)
TREE=$(abspath "$1")
TVCONV=$(abspath "$2")
W=$(mktemp -d)
# Records of earlier runs go here, not into the home directory.
export XDG_CACHE_HOME="$W/cache"
trap 'rm -rf "$W"' EXIT
. "$HERE/../check.sh"

same() { diff -u "$1" "$2" >&2; }
listing() { (cd "$1" && find . -printf '%y %m %p\n' | LC_ALL=C sort); }

# --- the example tree -------------------------------------------------------
S=$W/src
mkdir -p "$S/img" "$S/news"
printf '@greet[who]\nHi $who\n' >"$S/_lib.cfg"
printf 'ok\n^if\n' >"$S/broken.html"
printf 'GIF89a\000\001\377\nend' >"$S/img/logo.gif"
chmod 600 "$S/img/logo.gif"
printf 'Price: $5 (net)\n' >"$S/index.html"
printf 'secret\n' >"$W/outside.html"
ln -s ../outside.html "$S/link.html"
printf '@headline[t]\n<h1>$t</h1>\n' >"$S/news/_news.cfg"
printf '^rem[draft]\nNews (today)\n' >"$S/news/item.htm"
chmod 640 "$S/news/item.htm"
printf '^macro_exists[x]\n' >"$S/page.html"
printf '@title[]\nSite\n' >"$S/tavrin.cfg"
listing "$S" >"$W/source.before"

# --- a full run --------------------------------------------------------------
cd "$W"
"$TREE" -j 1 --report r1.json src out1 2>err1
check "a tree with a broken template exits 1" test $? -eq 1

cat >"$W/tree.want" <<'T'
d 755 .
d 755 ./img
d 755 ./news
f 600 ./img/logo.gif
f 640 ./news/item.htm
f 644 ./auto.tvx
f 644 ./index.html
f 644 ./lib.tvx
f 644 ./news/news.tvx
f 644 ./page.html
T
listing out1 >"$W/tree.got"
check "the output tree: renames, no broken or linked file, modes kept" same tree.want tree.got

# Hand-converted templates.
printf 'Price: ^$5 ^(net^)\n' >want
check "index.html" cmp want out1/index.html
printf '^rem{draft}\nNews ^(today^)\n' >want
check "news/item.htm" cmp want out1/news/item.htm
printf '@m_greet[who]\nHi ^$who\n\n\n\n@main[]\n' >want
check "_lib.cfg becomes lib.tvx" cmp want out1/lib.tvx
printf '@m_headline[t]\n<h1>^$t</h1>\n\n\n\n@main[]\n' >want
check "news/_news.cfg becomes news/news.tvx" cmp want out1/news/news.tvx
printf '@m_title[]\nSite\n\n\n\n@main[]\n' >want
check "tavrin.cfg becomes auto.tvx" cmp want out1/auto.tvx
printf '^rem{^macro_exists[x]}\n' >want
check "page.html" cmp want out1/page.html
check "a binary file is copied byte for byte" cmp "$S/img/logo.gif" out1/img/logo.gif

# Every converted file is what tvconv itself writes for that template.
for pair in _lib.cfg:lib.tvx index.html:index.html news/_news.cfg:news/news.tvx \
    news/item.htm:news/item.htm page.html:page.html tavrin.cfg:auto.tvx; do
    "$TVCONV" "$S/${pair%%:*}" "$W/single" 2>/dev/null
    check "same as tvconv: ${pair%%:*}" cmp "$W/single" "out1/${pair#*:}"
done

check "the report on standard error" same "$HERE/expected/tree_terminal.txt" err1

sed "s|@TOOL@|$("$TREE" --version)|" "$HERE/expected/tree_report.json" >want
check "the JSON report" same want r1.json
listing "$S" >"$W/source.after"
check "the source tree is untouched" same source.before source.after
cp -R out1 out1.first

# --- --check writes nothing --------------------------------------------------
"$TREE" --check --report rc.json src outc 2>errc
check "--check exits as a real run" test $? -eq 1
check "--check creates no target" test ! -e outc
sed 's/^\(tvconv-tree: .*\) (check only: nothing written)$/\1/; s/^next: mend/next: mend/' errc >errc.norm
grep -v '^  written: ' err1 >err1.check
check "--check reports what a run would" same err1.check errc.norm
listing out1 >out1.before
cp out1/index.html keep
printf 'changed\n' >out1/index.html
"$TREE" --check src out1 2>/dev/null
check "--check leaves an existing target alone" test "$(cat out1/index.html)" = changed
cp keep out1/index.html

# --- a rerun over an existing target ------------------------------------------
printf 'mine\n' >out1/extra.txt
printf 'edited\n' >out1/lib.tvx
"$TREE" src out1 2>err_rerun
check "rerun exits as before" test $? -eq 1
check "rerun keeps a hand edit" test "$(cat out1/lib.tvx)" = edited
check "rerun keeps and reports the hand edit" grep -q '^lib.tvx: edited by hand; kept, nothing is left to do in it (source _lib.cfg)$' err_rerun
check "rerun converts nothing unchanged" grep -q '^  unchanged since the last run: 6$' err_rerun
check "rerun keeps files it does not convert" test "$(cat out1/extra.txt)" = mine
rm out1/extra.txt
"$TREE" --force src out1 2>/dev/null
check "--force overwrites the hand edit" diff -r out1.first out1
check "rerun leaves no temporary file" test -z "$(find out1 -name '.tvconv-tree.*')"

# --- exit statuses ------------------------------------------------------------
mkdir -p clean
cp "$S/index.html" "$S/tavrin.cfg" clean/
"$TREE" clean clean.out 2>/dev/null
check "clean tree exits 0" test $? -eq 0
cp "$S/page.html" clean/
"$TREE" clean clean.out 2>/dev/null
check "manual edits left exit 3" test $? -eq 3

# --- refusals and usage -------------------------------------------------------
"$TREE" src src/inner 2>err
check "target inside source: exit 2" test $? -eq 2
check "target inside source: not created" test ! -e src/inner
check "target inside source: says why" grep -q 'lies inside it' err
"$TREE" src src 2>/dev/null
check "target is source: exit 2" test $? -eq 2
ln -s src/news via
"$TREE" src via/out 2>/dev/null
check "target inside source through a link: exit 2" test $? -eq 2
check "target through a link: not created" test ! -e src/news/out
# A target that contains the source: nothing may land inside the source.
mkdir -p up/site/site
printf 'a\n' >up/site/site/a.html
printf 'b\n' >up/site/a.html
"$TREE" up/site up 2>err
check "target around source: the file that would land in the source fails" test $? -eq 1
check "target around source: source file intact" test "$(cat up/site/a.html)" = b
check "target around source: says why" grep -q '^site/a.html: failed: refused to write inside the source tree' err
"$TREE" --report src/r.json src out5 2>/dev/null
check "report inside source: exit 2" test $? -eq 2

"$TREE" 2>err >/dev/null
check "no arguments: exit 2" test $? -eq 2
check "no arguments: usage" grep -q '^usage: tvconv-tree ' err
"$TREE" --bogus src out 2>err
check "unknown option: exit 2" test $? -eq 2
check "unknown option: named" grep -q "unknown option '--bogus'" err
"$TREE" -j x src out 2>/dev/null
check "bad -j: exit 2" test $? -eq 2
"$TREE" --help >out.txt
check "--help exits 0" test $? -eq 0
check "--help prints usage" grep -q '^usage: tvconv-tree ' out.txt
check "--version" test "$("$TREE" --version | cut -d' ' -f1)" = tvconv-tree
"$TREE" missing out6 2>/dev/null
check "missing source: exit 2" test $? -eq 2

# --- options ------------------------------------------------------------------
"$TREE" --no-copy src out7 2>/dev/null
check "--no-copy copies nothing" test ! -e out7/img/logo.gif
check "--no-copy still converts" test -f out7/lib.tvx
mkdir -p exts
printf '$a\n' >exts/a.TXT
printf '$b\n' >exts/b.html
"$TREE" --ext txt exts out8 2>/dev/null
check "--ext: a listed extension is converted, in any case" test "$(cat out8/a.TXT)" = '^$a'
check "--ext: other files are copied" test "$(cat out8/b.html)" = '$b'

# --- names that collide -------------------------------------------------------
mkdir -p dup
printf 'one\n' >dup/_x.cfg
printf 'two\n' >dup/x.cfg
printf 'kept\n' >dup/y.cfg
"$TREE" dup out9 2>err
check "a name collision fails" test $? -eq 1
check "a name collision writes neither" test ! -e out9/x.tvx
check "a name collision is reported" grep -q '^x.cfg: failed: target name x.tvx is also taken by _x.cfg; not written' err
check "a name collision stops nothing else" test "$(cat out9/y.tvx)" = kept

# --- a pipe is not read ---------------------------------------------------------
mkdir -p fifo
mkfifo fifo/pipe.html
printf 'x\n' >fifo/a.html
"$TREE" fifo out10 2>err
check "a pipe is skipped, not read" grep -q '^pipe.html: skipped: not a regular file' err

echo "$passed passed, $failures failed"
test "$failures" -eq 0
