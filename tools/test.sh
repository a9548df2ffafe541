#!/usr/bin/env bash
# make test after configuring: the build, then every test through CTest
# with the bench tests side by side on benches of their own
# (tests/support/lane.sh), then the hardening run: the tests again under the
# sanitizers (tools/sanitize.sh) and a short run of each fuzz target
# (tools/fuzz.sh). Ends with how long each stage took and the tests that
# passed only on their retry, and fails when any stage failed.
#
# The tests mostly wait on the instruments, so while one run's tests go,
# the next stage's build goes alongside at a lower priority: the sanitizer
# build beside the plain tests, the fuzz targets' build beside the
# sanitizer tests.
#
#   BUILD=build JOBS=2 FUZZ_SMOKE_SECONDS=10 tools/test.sh [CTEST ARGS...]
set -u

ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=${BUILD:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
JOBS=${JOBS:-2}
export JOBS
LOGS=$BUILD/test-logs
mkdir -p "$LOGS"
rm -f "$LOGS"/*.log

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

stages=()
failed=0
record() {  # NAME SECONDS STATUS
  stages+=("$(printf '%-34s %5d s  %s' "$1" "$2" "$([ "$3" -eq 0 ] && echo passed || echo "FAILED ($3)")")")
  [ "$3" -eq 0 ] || failed=1
}

# stage NAME COMMAND...: runs COMMAND, its output also kept in LOGS/NAME.log.
stage() {
  local name=$1 started=$SECONDS status
  shift
  "$@" 2>&1 | tee "$LOGS/$name.log"
  status=${PIPESTATUS[0]}
  record "$name" $((SECONDS - started)) "$status"
  return "$status"
}

# beside NAME COMMAND...: starts COMMAND in the background at a lower
# priority, its output in LOGS/NAME.log; joined by `join_beside`.
beside_pid=
beside_name=
beside_started=0
beside() {
  beside_name=$1
  beside_started=$SECONDS
  shift
  # A session of its own, so that an interrupted run ends the whole build.
  setsid nice -n 19 "$@" >"$LOGS/$beside_name.log" 2>&1 &
  beside_pid=$!
}
join_beside() {
  local status=0
  wait "$beside_pid" || status=$?
  record "$beside_name (alongside)" $((SECONDS - beside_started)) "$status"
  [ "$status" -eq 0 ] || { tail -40 "$LOGS/$beside_name.log"; say "$beside_name failed (log: $LOGS/$beside_name.log)"; }
  return "$status"
}
trap '[ -z "$beside_pid" ] || kill -- -"$beside_pid" 2>/dev/null' EXIT
trap 'exit 130' INT TERM

summary() {
  echo
  say "stages:"
  printf '  %s\n' "${stages[@]}"
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

started=$SECONDS
stage build cmake --build "$BUILD" -j "$JOBS" || { summary; exit 1; }

beside sanitizer-build bash "$ROOT/tools/sanitize.sh" --build-only
stage plain-tests bash -c 'cd "$1" && shift && exec ctest --output-on-failure "$@"' ctest "$BUILD" \
  -j "${TEST_JOBS:-$("$ROOT/tests/support/lane.sh" "$BUILD" jobs)}" "$@"
if join_beside; then
  beside fuzz-build bash "$ROOT/tools/fuzz.sh" --build-only
  stage sanitizer-tests bash "$ROOT/tools/sanitize.sh" "$@"
  join_beside && stage fuzz bash "$ROOT/tools/fuzz.sh" "${FUZZ_SMOKE_SECONDS:-10}"
fi
beside_pid=
summary
exit $failed
