#!/bin/sh
# Command-line behaviour of the tvconv executable: arguments, files, exit
# statuses and the messages that go with them.
# Usage: driver_test.sh PATH_TO_TVCONV
set -u
TVCONV=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
failures=0
passes=0

check() { # description, expected, actual
    if [ "$2" = "$3" ]; then
        passes=$((passes + 1))
    else
        failures=$((failures + 1))
        printf 'FAIL: %s\n  expected: [%s]\n  actual:   [%s]\n' "$1" "$2" "$3"
    fi
}

# Standard output and standard error in one file: a diagnostic met while
# converting comes first, then the document, then the error found after the
# whole document (the document's last line has no line feed).
printf '^ascii[x]\na $x\n^[b]' > "$T/after.tv2"
"$TVCONV" "$T/after.tv2" >"$T/both" 2>&1; st=$?
check "error after the document, in a file shared with the output" \
    "Unconvertible operator 'ascii' (line 1): remarked, edit manually
^rem{^ascii[x]}
a ^\$x
^^Unrecognized sequence (line 3): parse error, unexpected SQBRO, expecting \$ near '['/1" \
    "$(cat "$T/both")/$st"

# Running out of memory: forty nested ^-f would write a terabyte. Status 2,
# the message, and nothing written. A sanitizer build reserves more address
# space than the limit allows before it converts anything: skipped there.
awk 'BEGIN { for (i = 0; i < 40; i++) printf "^-f["; printf "x"
             for (i = 0; i < 40; i++) printf "]" }' > "$T/oom.tv2"
limit=300000 # KB
if (ulimit -v $limit && exec "$TVCONV" "$T/in.tv2" >/dev/null 2>&1); then
    (ulimit -v $limit && exec "$TVCONV" "$T/oom.tv2" "$T/oom.tv3" 2>"$T/err"); st=$?
    check "out of memory" "tvconv: out of memory/2/0" \
        "$(cat "$T/err")/$st/$(wc -c < "$T/oom.tv3" | tr -d ' ')"
else
    echo "skipped: out of memory (the binary does not run within $limit KB)"
fi

# Plain text only, and an empty input, are still converted.
out=$(printf '' | "$TVCONV"); st=$?
check "empty input" "/0" "$out/$st"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
