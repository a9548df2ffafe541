#!/usr/bin/env bash
# Configures the build directory BUILD (default build) the way the Debian
# package is compiled: Debian's build flags with the package's hardening
# (debian/rules), no build type of CMake's own, and ccache when it is there.
# The tests then run the code the package ships, and the package's build
# (make package, the package test) finds every object of its own in the
# compiler cache (see the Makefile for where that lies).
#
#   tools/configure.sh [BUILD] [CMAKE ARGS...]
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
[ $# -gt 0 ] && shift
# What debian/rules asks dpkg-buildflags for, read from there.
maint=$(sed -n 's/^export DEB_BUILD_MAINT_OPTIONS *= *//p' debian/rules)
eval "$(DEB_BUILD_MAINT_OPTIONS=$maint dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS; debhelper adds them to the compilers' flags.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS=$LDFLAGS \
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=None "${launcher[@]}" "$@" >/dev/null
