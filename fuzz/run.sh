#!/bin/sh
# Builds the libFuzzer target with address and undefined-behaviour sanitizers
# and fuzzes the converter for a bounded time.
#   fuzz/run.sh [SECONDS [READ_BLOCK]]     default 120 seconds
# READ_BLOCK is the size of the reads of the conversion that is checked
# against the one with the default reads (TVCONV_FUZZ_READ_BLOCK; default
# in fuzz/properties.h): 1 puts a read boundary after every byte.
# Missing tools are installed with apt-get first (as root, or through sudo):
# clang, libclang-rt-14-dev (libFuzzer and clang's sanitizer runtimes), flex,
# bison, cmake and ninja-build. The seed corpus is fuzz/corpus/ plus every
# golden test input; new corpus entries and any crash artifact go to
# fuzz-out/ (ignored by git). Exits non-zero on any finding: a crash, a
# sanitizer report, a leak, a timeout or a broken property (see
# fuzz/properties.h). Crash artifacts are fuzz-out/artifacts/crash-*;
# replay one with fuzz-out/build/fuzz/tvconv_fuzz FILE.
set -eu
cd "$(dirname "$0")/.."

seconds=${1:-120}
if [ $# -ge 2 ]; then
    TVCONV_FUZZ_READ_BLOCK=$2
    export TVCONV_FUZZ_READ_BLOCK
fi
out=fuzz-out
build=$out/build

missing=""
command -v clang++ >/dev/null 2>&1 || missing="$missing clang"
command -v flex >/dev/null 2>&1 || missing="$missing flex"
command -v bison >/dev/null 2>&1 || missing="$missing bison"
command -v cmake >/dev/null 2>&1 || missing="$missing cmake"
command -v ninja >/dev/null 2>&1 || missing="$missing ninja-build"
if ! command -v clang++ >/dev/null 2>&1 ||
    [ ! -e "$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a" ]; then
    missing="$missing libclang-rt-14-dev"
fi
. tools/apt-install-missing.sh

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTVCONV_FUZZ=ON -DTVCONV_SANITIZE=ON -DTVCONV_TESTS=OFF \
    -DTVCONV_WERROR="${TVCONV_WERROR:-OFF}" >/dev/null
cmake --build "$build" --target tvconv_fuzz

mkdir -p "$out/corpus" "$out/seeds" "$out/artifacts"
find tests/golden -name '*.in' -type f | while read -r f; do
    cp "$f" "$out/seeds/$(echo "$f" | tr '/' '_')"
done

# -max_len lets an input reach the parser's 10000-entry stack limit (about
# 2500 nested constructions) and cross many of the checked conversion's
# reads.
# detect_leaks stays on: a conversion must give back all it took.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
"$build/fuzz/tvconv_fuzz" \
    -max_total_time="$seconds" \
    -max_len=16384 \
    -timeout=10 \
    -rss_limit_mb=2048 \
    -dict=fuzz/tvconv.dict \
    -artifact_prefix="$out/artifacts/" \
    -print_final_stats=1 \
    "$out/corpus" fuzz/corpus "$out/seeds"
