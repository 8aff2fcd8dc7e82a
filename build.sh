#!/bin/sh
# Sets up, builds and runs tvconv on a Debian machine.
#   ./build.sh example   build, then convert examples/example.tv2 to standard output
#   ./build.sh test      build, then run every test
# Missing build tools (flex, bison, cmake, ninja, a C++ compiler, the JSON,
# hash and diff headers, libgit2 for merges, and for the tests GoogleTest, groff, man-db,
# mandoc, python3 with python3-jsonschema, patch, git, Chromium, Node.js and npm)
# are installed with apt-get first (as root, or through sudo); the tests'
# playwright-core comes from npm. TVCONV_WERROR=ON in the environment makes
# warnings errors (CI sets it).
set -eu
cd "$(dirname "$0")"

mode=${1:-}
case "$mode" in
    example | test) ;;
    *)
        echo "usage: $0 example|test" >&2
        exit 2
        ;;
esac

missing=""
need() { # command-or-file package
    case "$1" in
        /*) [ -e "$1" ] || missing="$missing $2" ;;
        *) command -v "$1" >/dev/null 2>&1 || missing="$missing $2" ;;
    esac
}
need flex flex
need bison bison
need cmake cmake
need ninja ninja-build
need g++ g++
need /usr/include/nlohmann/json.hpp nlohmann-json3-dev
need /usr/include/xxhash.h libxxhash-dev
need /usr/include/dtl/dtl.hpp libdtl-dev
need pkg-config pkg-config
need /usr/include/git2.h libgit2-dev
if [ "$mode" = test ]; then
    need /usr/include/gtest/gtest.h libgtest-dev
    # The manual page tests format and lint the pages.
    need groff groff-base
    need man man-db
    need mandoc mandoc
    # The HTML report is checked in Debian's Chromium, driven from Node.js.
    need /usr/bin/chromium chromium
    need node nodejs
    need npm npm
    # The fault-injection test checks what a run left behind with Python.
    need python3 python3
    # The report tests validate the JSON report and the SARIF log with
    # Debian's python3-jsonschema (rfc3987 lets it check URIs) and apply
    # --diff output with patch.
    need /usr/lib/python3/dist-packages/jsonschema/__init__.py python3-jsonschema
    need /usr/lib/python3/dist-packages/rfc3987.py python3-rfc3987
    need patch patch
    # The diff test applies --diff output with git apply too.
    need git git
fi
. tools/apt-install-missing.sh

if [ "$mode" = test ]; then
    # playwright-core from npm, pinned, inside the build tree (CMake looks for
    # it there before it registers the browser test). 1.61 is the last that
    # runs on Debian 12's Node.js 18.
    playwright=1.61.1
    if ! grep -qs "\"version\": \"$playwright\"" build/npm/node_modules/playwright-core/package.json; then
        npm install --prefix build/npm --no-audit --no-fund --loglevel=error \
            "playwright-core@$playwright" >&2
    fi
fi

tests=OFF
[ "$mode" = test ] && tests=ON
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DTVCONV_TESTS=$tests \
    -DTVCONV_WERROR="${TVCONV_WERROR:-OFF}" >&2
cmake --build build >&2

if [ "$mode" = example ]; then
    exec ./build/tvconv examples/example.tv2
fi
ctest --test-dir build --output-on-failure -j 2
