# Sourced by the shell tests: counts checks, and shows each one that fails
# with what it expected and what it got.
# The caller ends with: echo "$passed passed, $failures failed".
failures=0
passed=0

# check NAME COMMAND...: runs COMMAND and counts it. A failure shows the
# command with its arguments (for `test`, the values it compared), what the
# command printed, and for `cmp A B` a diff of the two files.
check() {
    check_name=$1
    shift
    if check_output=$("$@" 2>&1); then
        passed=$((passed + 1))
        return 0
    fi
    failures=$((failures + 1))
    echo "FAIL: $check_name"
    printf '  ran:'
    printf " '%s'" "$@"
    echo
    if [ -n "$check_output" ]; then
        printf '%s\n' "$check_output" | head -n 80 | sed 's/^/  | /'
    fi
    if [ "$1" = cmp ] && [ $# -eq 3 ] && [ -f "$2" ] && [ -f "$3" ]; then
        diff -u "$2" "$3" | head -n 80 | sed 's/^/  /'
    fi
    return 1
}

# check_equal NAME EXPECTED ACTUAL: the two strings are the same.
check_equal() {
    if [ "$2" = "$3" ]; then
        passed=$((passed + 1))
        return 0
    fi
    failures=$((failures + 1))
    printf 'FAIL: %s\n  expected: [%s]\n  actual:   [%s]\n' "$1" "$2" "$3"
    return 1
}
