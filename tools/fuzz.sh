#!/usr/bin/env bash
# The libFuzzer targets of fuzz/: builds them with clang in a build
# directory of their own, replays the kept crash inputs of
# fuzz/regressions/<target>/, then fuzzes each target for SECONDS from its
# seed corpus fuzz/corpus/<target>/.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]     (default 60 s, every target)
#
# FUZZ_BUILD names the build directory (default build-fuzz). What a run
# learns stays in $FUZZ_BUILD/fuzz-corpus/<target>; an input that finds a
# fault is written to $FUZZ_BUILD/fuzz-artifacts/ and ends the run with
# status 1 (keep it under fuzz/regressions/<target>/ once mended).
#
# Each target runs in a sandbox of its own: no network, and every
# filesystem read-only but a private scratch tmpfs (its TMPDIR) and the
# build's fuzz directories.
# The inputs name files the code under test opens or deletes.
set -eu

ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=${FUZZ_BUILD:-build-fuzz}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
JOBS=${JOBS:-2}
EACH=${1:-60}
[ $# -gt 0 ] && shift
ALL=(script_file interpreter package vxi11_reply instrument_info benchterm_options)
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=("${ALL[@]}")

say() { echo "fuzz: $*"; }
fail() { echo "fuzz: $*" >&2; exit 1; }

[[ $EACH =~ ^[0-9]+$ ]] || fail "SECONDS expected, not '$EACH'"
command -v clang++ >/dev/null || fail "clang++ is missing (make deps)"

# The compiler is chosen once, when the directory is first configured.
# Optimised as libFuzzer advises (-O1), with line tables for the reports.
mkdir -p "$BUILD"
if [ -f "$BUILD/CMakeCache.txt" ]; then compilers=(); else compilers=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++); fi
cmake -S "$ROOT" -B "$BUILD" "${compilers[@]}" -DTV_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" >"$BUILD/configure.log" 2>&1 ||
  { cat "$BUILD/configure.log" >&2; fail "configuring $BUILD failed"; }
cmake --build "$BUILD" --target fuzz_targets -j "$JOBS" >/dev/null ||
  fail "building the fuzz targets failed (cmake --build $BUILD --target fuzz_targets)"

WORK=$BUILD/fuzz-work
mkdir -p "$WORK" "$BUILD/fuzz-corpus" "$BUILD/fuzz-artifacts" "$BUILD/fuzz-scratch"

# Runs CMD... with no network and nothing writable but a fresh tmpfs as
# TMPDIR and the build's fuzz directories. The tmpfs lies inside the build
# directory rather than on /tmp, which would hide a checkout under /tmp. As
# root through a private mount namespace; otherwise through a user
# namespace, where one is allowed.
sandboxed() {
  local setup='
    mount --make-rprivate / &&
    findmnt -rn -o TARGET | while read -r m; do
      mount -o remount,bind,ro "$m" 2>/dev/null || true
    done &&
    mount -t tmpfs -o size=512m,mode=1777 tmpfs "$FUZZ_RW"/fuzz-scratch &&
    for d in "$FUZZ_RW"/fuzz-corpus "$FUZZ_RW"/fuzz-artifacts "$FUZZ_RW"/fuzz-work; do
      mount --bind "$d" "$d" && mount -o remount,bind,rw "$d" || exit 1
    done &&
    exec "$@"'
  local how=(--mount --net --fork)
  [ "$(id -u)" -eq 0 ] || how=(--user --map-root-user "${how[@]}")
  FUZZ_RW=$BUILD TMPDIR=$BUILD/fuzz-scratch unshare "${how[@]}" bash -c "$setup" sandbox "$@"
}

# Prints the lines of a fuzzer's log that say what went wrong.
report() {
  grep -E 'ERROR|SUMMARY|runtime error|fuzz check failed|^ +#[0-9]+ |Test unit written' "$1" |
    grep -v -E 'in fuzzer::|in __sanitizer|in __asan|libc_start|in _start' | head -40 >&2
}

status=0
for name in "${TARGETS[@]}"; do
  target=${name%_fuzzer}_fuzzer
  binary=$BUILD/fuzz/$target
  [ -x "$binary" ] || fail "no target $target (known: ${ALL[*]})"
  log=$WORK/$target.log
  regressions=()
  for f in "$ROOT"/fuzz/regressions/"$target"/*; do [ -f "$f" ] && regressions+=("$f"); done
  if [ ${#regressions[@]} -gt 0 ]; then
    if ! sandboxed "$binary" -timeout=10 "${regressions[@]}" >"$log" 2>&1; then
      report "$log"
      say "$target: a kept crash input fails again (log: $log)"
      status=1
      continue
    fi
  fi
  corpus=$BUILD/fuzz-corpus/$target
  mkdir -p "$corpus"
  if sandboxed "$binary" -max_total_time="$EACH" -max_len=4096 -timeout=10 \
    -artifact_prefix="$BUILD/fuzz-artifacts/$target-" -print_final_stats=1 \
    "$corpus" "$ROOT/fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    say "$target: ${runs:-?} inputs in ${EACH} s, ${#regressions[@]} kept crash input(s) replayed, no fault"
  else
    report "$log"
    say "$target: FAULT (log: $log)"
    status=1
  fi
done
exit $status
