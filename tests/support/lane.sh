#!/usr/bin/env bash
# Lanes let the tests run side by side. A lane is a program directory of
# its own, BUILD/lanes/NAME/bin (the build's programs and test programs hard
# linked from BUILD/bin, so that each finds its directory there, and copies
# of the files they read), with configuration, state and runtime
# directories of its own beside it. What the programs write (their log,
# data/, instruments/, locks, host keys) stays in the lane.
#
# CTest hands out the lanes as resources (BUILD/test-benches.json): a test
# without the bench gets one of "lanes" (u1, u2, ...), a bench test one of
# "benches", a lane with a bench of its own named TVBENCH_NAME-ID
# (TVBENCH_NAME by default "tvbench", so tvbench-t1, tvbench-t2, ...). The
# bench that TVBENCH_NAME itself names (make demo's, or one brought up by
# hand) is never used or taken down by a test run.
#
#   lane.sh BUILD unit PROGRAM [ARGS...]    a test without the bench, in its lane
#   lane.sh BUILD bench PROGRAM [ARGS...]   a bench test, in the lane of its bench
#   lane.sh BUILD up|selftest|down          every bench of test-benches.json
#   lane.sh BUILD ready                     up, then selftest (a run's set-up done before ctest)
#   lane.sh BUILD benches                   their names, one a line
#   lane.sh BUILD jobs                      how many lanes there are in all
#
# A PROGRAM in BUILD/bin runs as its lane's link; any other runs as given.
# Started without a lane from CTest (a test program run by hand), a test
# runs in the lane "unit", or on the bench that TVBENCH_NAME names.
set -u

# Every test starts through here: kept to shell built-ins where it can be.
case $0 in */*) HERE=${0%/*} ;; *) HERE=. ;; esac
BENCH=$HERE/../../bench/bench
USAGE="usage: lane.sh BUILD unit|bench|up|selftest|down|ready|benches|jobs ..."
BUILD=${1:?$USAGE}
ACTION=${2:-}
shift 2 2>/dev/null || set --
BASE=${TVBENCH_NAME:-tvbench}
SPEC=$BUILD/test-benches.json

fail() { echo "lane: $*" >&2; exit 1; }

# The ids of one kind of lane in the resource file, which CMake writes on one line.
lane_ids() {  # KIND
  sed -n "s/.*\"$1\": \[\([^]]*\)\].*/\1/p" "$SPEC" 2>/dev/null |
    grep -o '"id": "[a-z0-9_]*"' | sed 's/.*"\([a-z0-9_]*\)"$/\1/'
}
bench_names() { local id; for id in $(lane_ids benches); do echo "$BASE-$id"; done; }

# The id of the lane that CTest gave this test, if any.
allocated() {  # KIND as CTest names it in the environment: BENCHES or LANES
  local group=CTEST_RESOURCE_GROUP_0_$1
  [ "${CTEST_RESOURCE_GROUP_COUNT:-0}" -ge 1 ] && [[ ${!group:-} =~ ^id:([a-z0-9_]+), ]] || return 1
  echo "${BASH_REMATCH[1]}"
}

# Brings BUILD/bin's programs and read files into DIR/bin: a link where the
# build made a new program, a copy where a read file changed. With CHECK=1
# it only tells whether anything would change (status 1).
refresh() {
  local dir=$1 from=$BUILD/bin f name
  if [ ! -d "$dir/runtime" ]; then
    [ "${CHECK:-0}" = 0 ] || return 1
    mkdir -p "$dir/bin" "$dir/config" "$dir/state" && install -d -m 700 "$dir/runtime"
  fi
  for f in "$from"/*; do
    name=${f##*/}
    if [ -f "$f" ] && [ -x "$f" ]; then
      [ "$f" -ef "$dir/bin/$name" ] && continue
      [ "${CHECK:-0}" = 0 ] || return 1
      ln -f "$f" "$dir/bin/$name"
    else
      case $name in
        InstrumentConfig.json | *.data) copy_if_changed "$f" "$dir/bin/$name" || return 1 ;;
        packages)
          [ -d "$dir/bin/$name" ] || { [ "${CHECK:-0}" = 0 ] && mkdir "$dir/bin/$name"; } || return 1
          for f in "$from/$name"/*; do copy_if_changed "$f" "$dir/bin/$name/${f##*/}" || return 1; done ;;
      esac
    fi
  done
}

# FROM TO: copied with its time, so that an equal time means unchanged.
copy_if_changed() {
  [ -e "$1" ] || return 0
  [ -e "$2" ] && ! [ "$1" -nt "$2" ] && ! [ "$1" -ot "$2" ] && return 0
  [ "${CHECK:-0}" = 0 ] || return 1
  cp -p "$1" "$2"
}

# Runs PROGRAM in lane NAME. The lane is brought up to date under its lock
# when it is not: CTest never gives one lane to two tests at once, but test
# programs run by hand or listed at build time may meet there.
run_in_lane() {
  local name=$1 program=$2 dir=$BUILD/lanes/$1
  shift 2
  if ! CHECK=1 refresh "$dir"; then
    mkdir -p "$BUILD/lanes"
    (flock 9 && refresh "$dir") 9>"$BUILD/lanes/$name.lock" || fail "cannot prepare $dir"
  fi
  case $program in "$BUILD"/bin/*) program=$dir/bin/${program#"$BUILD"/bin/} ;; esac
  XDG_CONFIG_HOME=$dir/config XDG_STATE_HOME=$dir/state XDG_RUNTIME_DIR=$dir/runtime \
    exec "$program" "$@"
}

# A fresh lane for each bench: configuration and state start empty, like
# the bench's new host keys.
fresh_lanes() {
  local name
  mkdir -p "$BUILD/lanes"
  for name in $(bench_names); do
    rm -rf "${BUILD:?}/lanes/$name"
    refresh "$BUILD/lanes/$name"
  done
}

# A test run's bench starts afresh: one left over from a run that was cut
# short goes down first, with whatever knobs it kept.
bench_action() {
  [ "$1" != up ] || BUILD=$BUILD "$BENCH" down --if-root >/dev/null
  BUILD=$BUILD "$BENCH" "$1" --if-root
}

# ACTION on every bench, side by side (the first bench comes up alone: it
# may make /run/netns, or build the instrument server). Each one's output
# goes to BUILD/lanes/NAME.ACTION.log and is shown when it fails. Fails
# when one fails; 77 when every one skipped (not root).
each_bench() {
  local action=$1 names name i rc status=0 skipped=0 pids=()
  [ -s "$SPEC" ] || fail "no $SPEC (configure the build again)"
  mkdir -p "$BUILD/lanes"
  mapfile -t names < <(bench_names)
  for i in "${!names[@]}"; do
    name=${names[$i]}
    TVBENCH_NAME=$name bench_action "$action" >"$BUILD/lanes/$name.$action.log" 2>&1 &
    pids+=($!)
    if [ "$i" -eq 0 ] && [ "$action" = up ]; then wait "${pids[0]}"; fi
  done
  for i in "${!names[@]}"; do
    name=${names[$i]}
    rc=0
    wait "${pids[$i]}" || rc=$?
    case $rc in
      0) echo "$name: $action: $(tail -n 1 "$BUILD/lanes/$name.$action.log")" ;;
      77) skipped=$((skipped + 1)) ;;
      *) status=1; echo "$name: $action failed:"; cat "$BUILD/lanes/$name.$action.log" ;;
    esac
  done
  if [ "$status" -eq 0 ] && [ "$skipped" -gt 0 ] && [ "$skipped" -eq ${#names[@]} ]; then
    echo "not root: skipped"
    return 77
  fi
  return $status
}

case $ACTION in
  unit)
    [ $# -ge 1 ] || fail "$USAGE"
    name=$(allocated LANES) || name=unit
    run_in_lane "$name" "$@" ;;
  bench)
    [ $# -ge 1 ] || fail "$USAGE"
    if id=$(allocated BENCHES); then name=$BASE-$id; else name=$BASE; fi
    export TVBENCH_NAME=$name
    run_in_lane "$name" "$@" ;;
  up)
    fresh_lanes
    each_bench up ;;
  selftest | down) each_bench "$ACTION" ;;
  ready)
    fresh_lanes
    each_bench up && each_bench selftest ;;
  benches) bench_names ;;
  jobs) echo $(($(lane_ids benches | wc -l) + $(lane_ids lanes | wc -l))) ;;
  *) fail "$USAGE" ;;
esac
