#!/usr/bin/env bash
# The libFuzzer targets of fuzz/: builds them with clang in a build
# directory of their own, replays the kept crash inputs of
# fuzz/regressions/<target>/, then fuzzes each target for SECONDS from its
# seed corpus fuzz/corpus/<target>/.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]     (default 60 s, every target)
#   tools/fuzz.sh --build-only              the targets built, none run
#   tools/fuzz.sh --built [SECONDS] ...     run the targets FUZZ_BUILD already
#                                           holds (the sanitizer build's, in make test)
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

build_only=0 built=0
[ "${1:-}" = --build-only ] && { build_only=1; shift; }
[ "${1:-}" = --built ] && { built=1; shift; }
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
if [ "$built" -eq 0 ]; then
  mkdir -p "$BUILD"
  if [ -f "$BUILD/CMakeCache.txt" ]; then settings=(); else settings=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++); fi
  command -v ccache >/dev/null && settings+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  cmake -S "$ROOT" -B "$BUILD" "${settings[@]}" -DTV_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_C_FLAGS_DEBUG="-O1 -g1" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" >"$BUILD/configure.log" 2>&1 ||
    { cat "$BUILD/configure.log" >&2; fail "configuring $BUILD failed"; }
  cmake --build "$BUILD" --target fuzz_targets -j "$JOBS" >/dev/null ||
    fail "building the fuzz targets failed (cmake --build $BUILD --target fuzz_targets)"
fi
[ "$build_only" -eq 0 ] || exit 0

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

# Replays a target's kept crash inputs, then fuzzes it; says how it went.
fuzz_target() {
  local target=$1 binary=$BUILD/fuzz/$1 log=$WORK/$1.log f runs corpus regressions=()
  for f in "$ROOT"/fuzz/regressions/"$target"/*; do [ -f "$f" ] && regressions+=("$f"); done
  if [ ${#regressions[@]} -gt 0 ]; then
    if ! sandboxed "$binary" -timeout=10 "${regressions[@]}" >"$log" 2>&1; then
      report "$log"
      say "$target: a kept crash input fails again (log: $log)"
      return 1
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
    return 1
  fi
}

targets=()
for name in "${TARGETS[@]}"; do
  target=${name%_fuzzer}_fuzzer
  [ -x "$BUILD/fuzz/$target" ] || fail "no target $target (known: ${ALL[*]})"
  targets+=("$target")
done
# JOBS targets at a time, each on a processor of its own; what each says is
# printed in the order of the targets.
pids=()
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n || true; done
  fuzz_target "$target" >"$WORK/$target.said" 2>&1 &
  pids+=($!)
done
status=0
for i in "${!targets[@]}"; do
  wait "${pids[$i]}" || status=1
  cat "$WORK/${targets[$i]}.said"
done
exit $status
