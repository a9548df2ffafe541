#!/usr/bin/env bash
# Builds $BUILD/tavrinoperator_<version>_<arch>.deb with debhelper from this
# source tree; the objects go to $BUILD-deb, the build's output to
# $BUILD/deb.log (shown only when the build fails). Prints the package path.
#
# The objects lie beside $BUILD, as deep in the tree as its own: compiled
# with the same flags (tools/configure.sh), each is then found in the
# compiler cache that $BUILD's build filled, whose paths are hashed relative
# to the source tree (make sets the same).
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
mkdir -p "$BUILD"
out=$(cd "$BUILD" && pwd)
log=$out/deb.log
export CCACHE_DIR=${CCACHE_DIR:-$out/ccache} CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1} CCACHE_DEPEND=${CCACHE_DEPEND:-1}
dpkg-checkbuilddeps
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=$out/tavrinoperator_${version}_${arch}.deb
rm -f "$deb"
# dh skips a build it has stamped; make decides what changed instead.
rm -f debian/debhelper-build-stamp
if ! DEB_OBJ=$out-deb DEB_OUT=$out JOBS=${JOBS:-} \
     DEB_BUILD_OPTIONS="parallel=${JOBS:-$(nproc)}" \
     bash -c 'debian/rules build && debian/rules binary' >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "package build failed, see $log" >&2
  exit 1
fi
echo "$deb"
