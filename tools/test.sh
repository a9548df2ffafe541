#!/usr/bin/env bash
# make test after configuring: the build, then every test through CTest
# with the bench tests side by side on benches of their own
# (tests/support/lane.sh), and the hardening run: the tests again under the
# sanitizers (tools/sanitize.sh) and a short run of each fuzz target
# (tools/fuzz.sh). Ends with how long each stage took and the tests that
# passed only on their retry, and fails when any stage failed.
#
# The tests mostly wait on the instruments, so once the plain build is done
# three lines of work go side by side: the plain tests; the sanitizer build
# and then its tests; the fuzz targets' build and then their runs. The
# builds go at a lower priority than the tests. The plain tests' output
# comes as they run, each other line's once it is done.
#
#   BUILD=build JOBS=2 FUZZ_SMOKE_SECONDS=10 tools/test.sh [CTEST ARGS...]
set -u

ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=${BUILD:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
JOBS=${JOBS:-2}
export JOBS
LOGS=$BUILD/test-logs
STAGES=$LOGS/stages
mkdir -p "$LOGS"
rm -f "$LOGS"/*.log "$STAGES"

say() { echo "test: $*"; }

# The tests that failed once and then passed, from each ctest log.
retried() {
  local log
  for log in "$@"; do
    [ -f "$log" ] || continue
    awk -v run="${log##*/}" 'match($0, /Test +#[0-9]+: [^ ]+/) {
           name = substr($0, RSTART, RLENGTH); sub(/^Test +#[0-9]+: /, "", name)
           if ($0 ~ /\*\*\*/) failed[name] = 1
           else if ($0 ~ / Passed /) passed[name] = 1
         }
         END { for (name in failed) if (name in passed) print name " (" run ")" }' "$log"
  done | sort
}

# One line a stage, written by whichever line of work ran it.
record() {  # NAME STARTED STATUS
  printf '%-26s %5d s .. %5d s  %s\n' "$1" "$(($2 - started))" "$((SECONDS - started))" \
    "$([ "$3" -eq 0 ] && echo passed || echo "FAILED ($3)")" >>"$STAGES"
}

# stage NAME COMMAND...: runs COMMAND with its output on ours and in LOGS/NAME.log.
stage() {
  local name=$1 from=$SECONDS status
  shift
  "$@" 2>&1 | tee "$LOGS/$name.log"
  status=${PIPESTATUS[0]}
  record "$name" "$from" "$status"
  return "$status"
}

# quiet NAME NICENESS COMMAND...: runs COMMAND at that priority, its output in LOGS/NAME.log.
quiet() {
  local name=$1 niceness=$2 from=$SECONDS status=0
  shift 2
  nice -n "$niceness" "$@" >"$LOGS/$name.log" 2>&1 || status=$?
  record "$name" "$from" "$status"
  [ "$status" -eq 0 ] || { tail -40 "$LOGS/$name.log"; say "$name failed (log: $LOGS/$name.log)"; }
  return "$status"
}

summary() {
  echo
  say "stages (from the start of the run, .. to the end of each):"
  sed 's/^/  /' "$STAGES"
  say "in all: $((SECONDS - started)) s"
  local again
  mapfile -t again < <(retried "$LOGS"/plain-tests.log "$LOGS"/sanitizer-tests.log | sed 's/-tests.log)$/)/')
  if [ ${#again[@]} -gt 0 ]; then
    say "${#again[@]} test(s) passed only on their retry:"
    printf '  %s\n' "${again[@]}"
  else
    say "no test needed its retry"
  fi
}

# Each line of work beside the plain tests is a session of its own, so
# that an interrupted run ends it whole.
lines=()
trap 'for p in "${lines[@]}"; do kill -- -"$p" 2>/dev/null; done' EXIT
trap 'exit 130' INT TERM

started=$SECONDS
stage build cmake --build "$BUILD" -j "$JOBS" || { summary; exit 1; }

# The fuzz targets' build waits for the sanitizer build, which the
# sanitizer tests wait for: the first to finish is the first needed.
sanitizer_built=$LOGS/sanitizer-built
rm -f "$sanitizer_built"
setsid bash -c "$(declare -f record quiet say); started=$started; STAGES=$STAGES LOGS=$LOGS
  quiet sanitizer-build 10 bash '$ROOT/tools/sanitize.sh' --build-only; status=\$?
  echo \$status >'$sanitizer_built'
  [ \$status -eq 0 ] && quiet sanitizer-tests 0 bash '$ROOT/tools/sanitize.sh' \"\$@\"" sanitizer "$@" &
lines+=($!)
setsid bash -c "$(declare -f record quiet say); started=$started; STAGES=$STAGES LOGS=$LOGS
  while [ ! -s '$sanitizer_built' ]; do sleep 2; done
  quiet fuzz-build 15 bash '$ROOT/tools/fuzz.sh' --build-only" &
lines+=($!)

stage plain-tests bash -c 'cd "$1" && shift && exec ctest --output-on-failure "$@"' ctest "$BUILD" \
  -j "${TEST_JOBS:-$("$ROOT/tests/support/lane.sh" "$BUILD" jobs)}" "$@"
wait "${lines[@]}"
lines=()
# The hardening runs' output, after the plain tests'.
for name in sanitizer-build sanitizer-tests fuzz-build; do
  [ -s "$LOGS/$name.log" ] || continue
  echo
  say "--- $name"
  if [ "$name" = sanitizer-tests ]; then cat "$LOGS/$name.log"; else tail -5 "$LOGS/$name.log"; fi
done
# Two fuzz targets at a time take both processors: they run once the tests are done.
grep -q '^sanitizer-tests .*passed$' "$STAGES" && grep -q '^fuzz-build .*passed$' "$STAGES" &&
  stage fuzz bash "$ROOT/tools/fuzz.sh" "${FUZZ_SMOKE_SECONDS:-10}"
summary
! grep -q FAILED "$STAGES" && grep -q '^fuzz .*passed$' "$STAGES"
