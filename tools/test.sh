#!/usr/bin/env bash
# make test after configuring: the build, then every test through CTest
# with the bench tests side by side on benches of their own
# (tests/support/lane.sh), and the hardening run: the tests again under the
# sanitizers (tools/sanitize.sh) and a short run of each fuzz target
# (tools/fuzz.sh). Ends with how long each stage took and the tests that
# passed only on their retry, and fails when any stage failed.
#
# The plain build first, alone: both builds at once would hold back the
# plain tests, which take longest. Then two lines of work go side by side:
# the plain tests, and the sanitizer build (which holds the fuzz targets
# too) and its tests; the fuzz targets run one at a time once one line's
# tests are done. Each line's benches come up and check themselves as soon as its
# instrument server is built, while the rest builds. The tests mostly wait
# on the instruments, so the plain tests run at a lower priority than the
# sanitizer line, which has more work left. The plain line's output comes
# as it runs, the other's once it is done.
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

# One line a stage, written by whichever line of work ran it (tools/sanitize.sh too).
export TV_STAGES=$STAGES TV_STARTED LOGS
now() { date +%s; }
record() {  # NAME STARTED STATUS
  printf '%-26s %5d s .. %5d s  %s\n' "$1" "$(($2 - TV_STARTED))" "$(($(now) - TV_STARTED))" \
    "$([ "$3" -eq 0 ] && echo passed || echo "FAILED ($3)")" >>"$TV_STAGES"
}

# stage NAME COMMAND...: runs COMMAND with its output on ours and in LOGS/NAME.log.
stage() {
  local name=$1 from status
  from=$(now)
  shift
  "$@" 2>&1 | tee "$LOGS/$name.log"
  status=${PIPESTATUS[0]}
  record "$name" "$from" "$status"
  return "$status"
}

# quiet NAME NICENESS COMMAND...: runs COMMAND at that priority, its output in LOGS/NAME.log.
quiet() {
  local name=$1 niceness=$2 from status=0
  from=$(now)
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
  say "in all: $(($(now) - TV_STARTED)) s"
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
benches=
trap 'for p in "${lines[@]}" $benches; do kill -- -"$p" 2>/dev/null; done' EXIT
trap 'exit 130' INT TERM

TV_STARTED=$(now)
# The benches need only the instrument server: as root they come up and
# check themselves while the rest builds, and the plain tests then leave
# out their set-up, which has happened. When that fails, the tests' own
# set-up brings them up again and says why.
lane=$ROOT/tests/support/lane.sh
if [ "$(id -u)" -eq 0 ] &&
  cmake --build "$BUILD" -j "$JOBS" --target tv_instrument_server tv_refuse_exec >"$LOGS/server.log" 2>&1; then
  setsid bash -c "$(declare -f now record quiet say)
    quiet plain-benches 0 '$lane' '$BUILD' ready" &
  benches=$!
fi
if ! stage plain-build cmake --build "$BUILD" -j "$JOBS"; then
  [ -z "$benches" ] || { kill -- -"$benches" 2>/dev/null; wait "$benches"; "$lane" "$BUILD" down >/dev/null 2>&1; }
  summary
  exit 1
fi
setup=()
if [ -n "$benches" ] && wait "$benches" && grep -q '^plain-benches .*passed$' "$STAGES"; then
  cat "$LOGS/plain-benches.log"
  # Left out, and not added back for the tests that need them.
  setup=(-FS bench -E '^bench_(up|selftest)$')
fi
benches=

# The sanitizer line: its build, then its tests; the fuzz targets, once
# that build holds them and one line's tests are done, one at a time beside
# the other's. The end of a line's tests is mostly waiting on instruments,
# where the fuzz targets take no processor time from a test.
setsid bash -c "$(declare -f now record quiet say)
  quiet sanitizer-tests 0 bash '$ROOT/tools/sanitize.sh' \"\$@\"" sanitizer "$@" &
lines+=($!)
setsid bash -c "$(declare -f now record quiet say)
  until grep -q '^sanitizer-build ' '$STAGES' 2>/dev/null &&
    grep -q -e '^plain-tests ' -e '^sanitizer-tests ' '$STAGES'; do
    kill -0 ${lines[0]} 2>/dev/null || grep -q '^sanitizer-build ' '$STAGES' || exit 1
    sleep 2
  done
  JOBS=1 FUZZ_BUILD='${SANITIZE_BUILD:-build-asan}' quiet fuzz 0 bash '$ROOT/tools/fuzz.sh' --built '${FUZZ_SMOKE_SECONDS:-10}'" &
lines+=($!)

stage plain-tests nice -n 5 bash -c 'cd "$1" && shift && exec ctest --output-on-failure "$@"' ctest "$BUILD" \
  -j "${TEST_JOBS:-$("$lane" "$BUILD" jobs)}" "${setup[@]}" "$@"
wait "${lines[@]}"
lines=()
# The sanitizer line's output, after the plain tests'.
for name in sanitizer-tests fuzz; do
  [ -s "$LOGS/$name.log" ] || continue
  echo
  say "--- $name"
  cat "$LOGS/$name.log"
done
summary
! grep -q FAILED "$STAGES" && grep -q '^sanitizer-tests .*passed$' "$STAGES" && grep -q '^fuzz .*passed$' "$STAGES"
