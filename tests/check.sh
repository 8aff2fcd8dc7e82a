# Sourced by the shell tests: counts checks, and names each one that fails.
# The caller ends with: echo "$passed passed, $failures failed".
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
