#!/bin/bash
# Runs the bash completion for tvconv-tree as bash would, on a scratch
# directory, and checks what it offers: the options that --help lists, files
# after --report, --html, --sarif and --state, nothing after --exclude,
# directories for SOURCE_DIR and TARGET_DIR.
# Usage: completion_test.sh COMPLETION_FILE TVCONV_TREE
set -u
COMPLETION=$1
TREE=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
failures=0
passed=0

# shellcheck source=/dev/null
. "$COMPLETION"
complete -p tvconv-tree >/dev/null || { echo "FAIL: no completion registered"; exit 1; }

# offers WORD... '=>' EXPECTED...: completes the last WORD of the command line
# "tvconv-tree WORD..." and compares the sorted offers with EXPECTED.
offers() {
    local words=(tvconv-tree) expected=() got
    while [ "$1" != '=>' ]; do words+=("$1"); shift; done
    shift
    expected=("$@")
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    COMPREPLY=()
    _tvconv_tree
    got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort)
    want=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
    if [ "$got" = "$want" ]; then
        passed=$((passed + 1))
    else
        echo "FAIL: tvconv-tree ${words[*]:1}|: offered [${got//$'\n'/ }], expected [${want//$'\n'/ }]"
        failures=$((failures + 1))
    fi
}

cd "$W" || exit 1
mkdir alpha beta -- -odd "with space"
touch alpine.txt beta.html

# Every option of the usage text, and "--" that ends them.
mapfile -t help_options < <("$TREE" --help | sed -n '/^options:/,/^$/p' | grep '^  -' |
    sed 's/   .*//' | grep -o -- '--*[a-z][a-z-]*')
[ ${#help_options[@]} -gt 5 ] || { echo "FAIL: no options in --help"; exit 1; }
offers - '=>' "${help_options[@]}" --
offers --re '=>' --report
offers --check --no "=>" --no-copy --no-merge
# --conflicts takes a directory, not a file.
offers --conflicts al "=>" alpha
offers -j 2 --vers '=>' --version
offers --s '=>' --sarif --state
offers --check --k '=>' --keep-references
offers --check --q '=>' --quiet
offers -q --ve '=>' --verbose --version
offers -j 2 --verb '=>' --verbose

# SOURCE_DIR and TARGET_DIR: directories only, also after options and after
# "--", where a leading "-" is part of a name.
offers al '=>' alpha
offers '' '=>' alpha beta -odd "with space"
offers alpha b '=>' beta
offers --check -j 2 alpha w '=>' "with space"
offers -- - '=>' -odd
offers -- alpha - '=>' -odd
# Options without a value leave the next word to the directories.
offers --force al '=>' alpha
offers --diff --keep-references alpha b '=>' beta

# Option values: --report takes any file, in both "--report F" and
# "--report=F" (which bash splits at "="); --ext offers the default list.
offers --report al '=>' alpha alpine.txt
offers --report = al '=>' alpha alpine.txt
offers --report = '=>' alpha alpine.txt beta beta.html -odd "with space"
offers --html al '=>' alpha alpine.txt
offers --sarif = be '=>' beta beta.html
offers --state al '=>' alpha alpine.txt
# A glob is matched under SOURCE_DIR: names here would mislead.
offers --exclude '' '=>'
offers --exclude = al '=>'
offers --ext '' '=>' html,htm,cfg
offers --ext = h '=>' html,htm,cfg
offers --help '' '=>'
offers -j '' '=>' "$(getconf _NPROCESSORS_ONLN)"

echo "$passed passed, $failures failed"
[ "$failures" = 0 ]
