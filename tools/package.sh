#!/usr/bin/env bash
# Builds $BUILD/tavrinoperator_<version>_<arch>.deb with debhelper from this
# source tree; the objects go to $BUILD/deb, the build's output to
# $BUILD/deb.log (shown only when the build fails). Prints the package path.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
mkdir -p "$BUILD"
out=$(cd "$BUILD" && pwd)
log=$out/deb.log
dpkg-checkbuilddeps
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
deb=$out/tavrinoperator_${version}_${arch}.deb
rm -f "$deb"
# dh skips a build it has stamped; make decides what changed instead.
rm -f debian/debhelper-build-stamp
if ! DEB_OBJ=$BUILD/deb DEB_OUT=$out JOBS=${JOBS:-} \
     DEB_BUILD_OPTIONS="parallel=${JOBS:-$(nproc)}" \
     bash -c 'debian/rules build && debian/rules binary' >"$log" 2>&1; then
  tail -n 40 "$log" >&2
  echo "package build failed, see $log" >&2
  exit 1
fi
echo "$deb"
