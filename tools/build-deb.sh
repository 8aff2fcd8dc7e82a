#!/bin/sh
# Builds the Debian package: a Release build with Debian's hardening flags
# (dpkg-buildflags), then cpack. Prints the package's path.
#   tools/build-deb.sh [BUILD_DIR]     default build-deb
# Missing tools are installed with apt-get first (as root, or through sudo):
# the build's, and dpkg-dev and file for cpack's dependency computation.
set -eu
cd "$(dirname "$0")/.."
dir=${1:-build-deb}

missing=""
need() { command -v "$1" >/dev/null 2>&1 || missing="$missing $2"; }
need flex flex
need bison bison
need cmake cmake
need ninja ninja-build
need g++ g++
need gzip gzip
need dpkg-shlibdeps dpkg-dev
need file file
need pkg-config pkg-config
# tvconv-tree's merges link libgit2; the package then depends on its library.
[ -e /usr/include/git2.h ] || missing="$missing libgit2-dev"
. tools/apt-install-missing.sh

# Debian's build flags, with every hardening feature (bindnow too): the
# programs read templates from anywhere. CMake does not read CPPFLAGS
# (_FORTIFY_SOURCE), so it joins the compiler flags. Given as cache entries,
# not in the environment, so that they also reach an existing build
# directory.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1"; }
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTVCONV_TESTS=OFF \
    -DCMAKE_C_FLAGS="$(flags CFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_CXX_FLAGS="$(flags CXXFLAGS) $(flags CPPFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" >&2
cmake --build "$dir" >&2
(cd "$dir" && cpack -G DEB >&2)
ls "$dir"/tvconv_*.deb
