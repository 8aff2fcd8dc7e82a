#!/bin/sh
# needs.sh TOOL... -- COMMAND...: runs COMMAND when every TOOL is there (a
# command name, or the absolute path of a file). A test whose tool is
# missing never just disappears: under CI (CI=true) it fails and names what
# is missing; elsewhere it is skipped with status 77, which CTest reports as
# skipped.
missing=""
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    case "$1" in
        /*) [ -e "$1" ] || missing="$missing $1" ;;
        *) command -v "$1" >/dev/null 2>&1 || missing="$missing $1" ;;
    esac
    shift
done
if [ $# -lt 2 ]; then
    echo "usage: needs.sh TOOL... -- COMMAND..." >&2
    exit 2
fi
shift
if [ -n "$missing" ]; then
    if [ "${CI:-}" = true ]; then
        echo "FAIL: missing under CI:$missing (./build.sh test installs them)"
        exit 1
    fi
    echo "skipped: missing:$missing (./build.sh test installs them)"
    exit 77
fi
exec "$@"
