#!/bin/sh
# Command-line behaviour of the tvconv executable: arguments, files, exit
# statuses and the messages that go with them.
# Usage: driver_test.sh PATH_TO_TVCONV
set -u
TESTS_DIR=$(cd "$(dirname "$0")" && pwd)
TVCONV=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
. "$TESTS_DIR/check.sh"

exists() { if [ -e "$1" ]; then echo yes; else echo no; fi; }
size() { wc -c <"$1" | tr -d ' '; }

printf 'a $b\n' >"$T/in.tv2"

# --- arguments ----------------------------------------------------------------
# No argument: standard input to standard output.
out=$(printf 'x(y)' | "$TVCONV" 2>"$T/err"); st=$?
check_equal "stdin to stdout" "x^(y^)/0/" "$out/$st/$(cat "$T/err")"

# One argument: the file to standard output.
out=$("$TVCONV" "$T/in.tv2" 2>"$T/err"); st=$?
check_equal "file to stdout" "a ^\$b/0/" "$out/$st/$(cat "$T/err")"

# Two arguments: file to file; a third is ignored.
"$TVCONV" "$T/in.tv2" "$T/out.tv3" ignored 2>"$T/err"; st=$?
check_equal "file to file" "a ^\$b/0/" "$(cat "$T/out.tv3")/$st/$(cat "$T/err")"

# Plain text only, and an empty input, are still converted.
out=$(printf '' | "$TVCONV"); st=$?
check_equal "empty input" "/0" "$out/$st"

# --- files that cannot be used ----------------------------------------------------
# A missing input names the file, exits 1 and creates no output.
"$TVCONV" "$T/missing" "$T/never" 2>"$T/err"; st=$?
check_equal "missing input" "tvconv: $T/missing: No such file or directory/1/no" \
    "$(cat "$T/err")/$st/$(exists "$T/never")"

# There are no options: an argument that begins with "-" is a file name.
(cd "$T" && "$TVCONV" -x 2>"$T/err"); st=$?
check_equal "dash argument" "tvconv: -x: No such file or directory/1" "$(cat "$T/err")/$st"

# --help and --version, when no file has that name: the usage and the
# version, exit 0, nothing on standard error. A file of that name is
# converted as any other.
(cd "$T" && "$TVCONV" --help >"$T/out" 2>"$T/err"); st=$?
check_equal "--help with no such file" "0/usage: tvconv [INPUT [OUTPUT]]/" \
    "$st/$(head -n 1 "$T/out")/$(cat "$T/err")"
(cd "$T" && "$TVCONV" --version >"$T/out" 2>"$T/err"); st=$?
check_equal "--version with no such file" "0/1/" "$st/$(grep -c '^tvconv [0-9][0-9.]*$' "$T/out")/$(cat "$T/err")"
mkdir "$T/named"
printf 'a $b\n' >"$T/named/--help"
printf 'v(1)' >"$T/named/--version"
out=$(cd "$T/named" && "$TVCONV" --help 2>&1); st=$?
check_equal "a file named --help is converted" "a ^\$b/0" "$out/$st"
out=$(cd "$T/named" && "$TVCONV" --version 2>&1); st=$?
check_equal "a file named --version is converted" "v^(1^)/0" "$out/$st"

# An output that cannot be opened.
"$TVCONV" "$T/in.tv2" "$T/nodir/out" 2>"$T/err"; st=$?
check_equal "unopenable output" "tvconv: $T/nodir/out: No such file or directory/1" \
    "$(cat "$T/err")/$st"

# The same file in and out, by the same path, another path, a symbolic or a
# hard link: refused before anything is truncated.
cp "$T/in.tv2" "$T/same.tv2"
ln -s "$T/same.tv2" "$T/link.tv2"
ln "$T/same.tv2" "$T/hard.tv2"
for o in "$T/same.tv2" "$T/./same.tv2" "$T/link.tv2" "$T/hard.tv2"; do
    "$TVCONV" "$T/same.tv2" "$o" 2>"$T/err"; st=$?
    check_equal "same file $o" "tvconv: $o: input and output are the same file/1/a \$b" \
        "$(cat "$T/err")/$st/$(cat "$T/same.tv2")"
done

# A directory opens but cannot be read: a scanner fatal error, status 2, and
# no converted text.
"$TVCONV" "$T" "$T/dir.tv3" 2>"$T/err"; st=$?
check_equal "directory input" "input in flex scanner failed/2/0" \
    "$(cat "$T/err")/$st/$(size "$T/dir.tv3")"

# --- errors of the conversion -------------------------------------------------------
# A syntax error leaves a named output empty, with status 1, even one that
# held something before.
printf 'x\n^if[' >"$T/bad.tv2"
printf 'old\n' >"$T/bad.tv3"
"$TVCONV" "$T/bad.tv2" "$T/bad.tv3" 2>"$T/err"; st=$?
check_equal "syntax error" "Unrecognized sequence (line 2): parse error, unexpected \$ near '['/1/0" \
    "$(cat "$T/err")/$st/$(size "$T/bad.tv3")"

# Standard output and standard error in one file: a diagnostic met while
# converting comes first, then the document, then the error found after the
# whole document (the document's last line has no line feed).
printf '^ascii[x]\na $x\n^[b]' >"$T/after.tv2"
"$TVCONV" "$T/after.tv2" >"$T/both" 2>&1; st=$?
check_equal "error after the document, in a file shared with the output" \
    "Unconvertible operator 'ascii' (line 1): remarked, edit manually
^rem{^ascii[x]}
a ^\$x
^^Unrecognized sequence (line 3): parse error, unexpected SQBRO, expecting \$ near '['/1" \
    "$(cat "$T/both")/$st"

# Running out of memory: forty nested ^-f would write a terabyte. Status 2,
# the message, and nothing written. A sanitizer build reserves more address
# space than the limit allows before it converts anything: skipped there,
# and only there.
awk 'BEGIN { for (i = 0; i < 40; i++) printf "^-f["; printf "x"
             for (i = 0; i < 40; i++) printf "]" }' >"$T/oom.tv2"
limit=300000 # KB
if ldd "$TVCONV" 2>/dev/null | grep -q -e libasan -e libubsan; then
    echo "skipped: out of memory (a sanitizer build does not run within $limit KB)"
else
    out=$(ulimit -v $limit && exec "$TVCONV" "$T/in.tv2" 2>&1); st=$?
    check_equal "a small conversion runs within $limit KB" "a ^\$b/0" "$out/$st"
    (ulimit -v $limit && exec "$TVCONV" "$T/oom.tv2" "$T/oom.tv3" 2>"$T/err"); st=$?
    check_equal "out of memory" "tvconv: out of memory/2/0" \
        "$(cat "$T/err")/$st/$(size "$T/oom.tv3")"
fi

# --- output that cannot be written ------------------------------------------------
# A failure, never a silent success.
"$TVCONV" "$T/in.tv2" /dev/full 2>"$T/err"; st=$?
check_equal "/dev/full as output file" "tvconv: /dev/full: No space left on device/1" \
    "$(cat "$T/err")/$st"
"$TVCONV" "$T/in.tv2" >/dev/full 2>"$T/err"; st=$?
check_equal "/dev/full as stdout" "tvconv: standard output: No space left on device/1" \
    "$(cat "$T/err")/$st"
"$TVCONV" "$T/in.tv2" >&- 2>"$T/err"; st=$?
check_equal "closed stdout" "tvconv: standard output: Bad file descriptor/1" "$(cat "$T/err")/$st"

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
