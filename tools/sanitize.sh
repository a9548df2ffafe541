#!/usr/bin/env bash
# The tests again (less a few that only wait out a time bound), built with AddressSanitizer and UndefinedBehaviorSanitizer
# in a build directory of its own (SANITIZE_BUILD, default build-asan).
#
#   tools/sanitize.sh [CTEST ARGS...]     e.g. tools/sanitize.sh -L unit
#   tools/sanitize.sh --build-only        the build alone
#
# Any report fails the run, also one from a program a test starts and from
# the simulated instruments' VXI-11 servers (the bench runs this build's
# server): every report goes to a file, and the run fails when one exists.
# Leaks of the libraries we call, not of our code, are suppressed in
# tools/lsan.supp, each with its reason.
#
# As root the bench tests run too, side by side on benches of their own
# (tests/support/lane.sh), which come up for them with this build's
# instrument server and go down afterwards. TEST_JOBS tests run at once
# (default: one per lane).
set -eu
build_only=0
[ "${1:-}" = --build-only ] && { build_only=1; shift; }

ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=${SANITIZE_BUILD:-build-asan}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
JOBS=${JOBS:-2}
BENCH=$ROOT/bench/bench
LANE=$ROOT/tests/support/lane.sh
REPORTS=$BUILD/sanitizer-reports

say() { echo "sanitize: $*"; }
fail() { echo "sanitize: $*" >&2; exit 1; }

# Unoptimised with line tables only: the build is several times quicker than
# an optimised one with full debug information, the sanitizers see every
# access, and reports still name file and line. Asserts stay on. clang
# builds this in two thirds of gcc's processor time.
command -v clang++ >/dev/null || fail "clang++ is missing (make deps)"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# The libraries carry the fuzzer's coverage as well, so that the fuzz
# targets of fuzz/ are built here too: `make test` runs them from this
# build (tools/fuzz.sh --built) rather than compiling everything again.
# Ninja, which starts no helper process per file as make's files do.
generator=()
if command -v ninja >/dev/null; then
  generator=(-G Ninja)
  # A directory made by another generator is made again.
  [ ! -f "$BUILD/CMakeCache.txt" ] || grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$BUILD/CMakeCache.txt" ||
    rm -rf "$BUILD/CMakeCache.txt" "$BUILD/CMakeFiles"
fi
# Each target's files are compiled as one (CMake's unity build), which
# parses their headers once for all: two thirds less processor time for
# this build. lld links several times quicker.
linker=()
command -v ld.lld >/dev/null && linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)
cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" -DTV_SANITIZE=ON -DTV_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug "${launcher[@]}" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=0 "${linker[@]}" \
  -DCMAKE_C_FLAGS_DEBUG="-O0 -g1" -DCMAKE_CXX_FLAGS_DEBUG="-O0 -g1" \
  >/dev/null || fail "configuring $BUILD failed"

# The start and end of a stage, on the stage table of `make test` when it asks (tools/test.sh).
stage_done() {  # NAME STARTED STATUS
  [ -n "${TV_STAGES:-}" ] || return 0
  printf '%-26s %5d s .. %5d s  %s\n' "$1" "$(($2 - TV_STARTED))" "$(($(date +%s) - TV_STARTED))" \
    "$([ "$3" -eq 0 ] && echo passed || echo "FAILED ($3)")" >>"$TV_STAGES"
}
build() {  # TARGET...: the whole build when none is named
  local targets=()
  [ $# -eq 0 ] || targets=(--target "$@")
  cmake --build "$BUILD" -j "$JOBS" "${targets[@]}" >>"$BUILD/build.log" 2>&1 ||
    { tail -40 "$BUILD/build.log" >&2; fail "the sanitizer build failed (log: $BUILD/build.log)"; }
}
: >"$BUILD/build.log"
if [ "$build_only" -eq 1 ]; then build; exit 0; fi

rm -rf "$REPORTS"
mkdir -p "$REPORTS"

finish() {
  # The benches' own clean-up is left out of the ctest run below, so that
  # the instruments' server logs can still be read; it happens here.
  "$LANE" "$BUILD" down >/dev/null 2>&1 || true
}
trap finish EXIT
trap 'exit 130' INT TERM

# Full stacks on every allocation: the suppressions name the library call
# a leak comes through, which the fast unwinder cannot see past.
export ASAN_OPTIONS="log_path=$REPORTS/asan:detect_leaks=1:halt_on_error=1:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="log_path=$REPORTS/ubsan:print_stacktrace=1:halt_on_error=1"
# The instruments' servers read the suppressions too, and an instrument's
# /tmp, /root, /run and /dev/shm are its own: a checkout there is out of
# their sight, so they get a copy in a place they share with the host.
SUPPRESSIONS=$ROOT/tools/lsan.supp
case $ROOT in
  /tmp/* | /root/* | /run/* | /dev/shm/*)
    SUPPRESSIONS=/var/tmp/tvbench-lsan-$(id -u).supp
    cp "$ROOT/tools/lsan.supp" "$SUPPRESSIONS" ;;
esac
export LSAN_OPTIONS="suppressions=$SUPPRESSIONS:print_suppressions=0"
# The instruments' servers report inside their own file systems, at this
# path (bench/instrument_init.sh).
export TVBENCH_SANITIZER_LOGS=/var/log/tvbench-sanitizer

# As root the benches come up and check themselves while the rest builds:
# they need only this build's instrument server. The ctest run below then
# leaves out their set-up, which has happened.
built_from=$(date +%s)
benches=()
if [ "$(id -u)" -eq 0 ]; then
  build tv_instrument_server tv_refuse_exec
  ( from=$(date +%s)
    "$LANE" "$BUILD" ready >"$BUILD/benches.log" 2>&1
    status=$?
    stage_done sanitizer-benches "$from" "$status"
    exit "$status" ) &
  benches=($!)
fi
build
stage_done sanitizer-build "$built_from" 0
if [ ${#benches[@]} -gt 0 ]; then
  wait "${benches[0]}" || { cat "$BUILD/benches.log" >&2; fail "the benches did not come up whole"; }
  cat "$BUILD/benches.log"
  benches=(-FS bench)
fi

# Tests whose time goes to waiting out a bound on a silent or vanished
# instrument, or to Ansible's own work, run the same code of ours as their
# quicker neighbours: the plain run has them, this one leaves them out.
WAITS='SshServiceBench\.APortThatNeverSpeaks|FaultBench\.TheInstrumentVanishingSilently'
WAITS+='|SshChannelBench\.AQuietCommandLonger|Vxi11Bench\.WritesAndReadsAnsweredTooLate|FleetBench\.'
# The benches' set-up, when it has happened above.
[ ${#benches[@]} -eq 0 ] || WAITS+='|^bench_up$|^bench_selftest$'

set +e
(cd "$BUILD" && ctest --output-on-failure -j "${TEST_JOBS:-$("$LANE" "$BUILD" jobs)}" "${benches[@]}" -FC bench \
  -E "$WAITS" "$@")
tests=$?
set -e

# Reports of the programs the tests ran, and of the instruments' servers,
# which write into their own overlay of the file system.
mapfile -t found < <(
  find "$REPORTS" -type f 2>/dev/null
  for name in $("$LANE" "$BUILD" benches); do
    find "$(TVBENCH_NAME=$name "$BENCH" state-dir)"/*/upper"$TVBENCH_SANITIZER_LOGS" -type f 2>/dev/null
  done)
for report in "${found[@]}"; do
  echo "=== $report" >&2
  head -60 "$report" >&2
done
[ ${#found[@]} -eq 0 ] || fail "${#found[@]} sanitizer report(s); the tests' own result: $tests"
[ "$tests" -eq 0 ] || fail "tests failed under the sanitizers"
say "no sanitizer reports"
