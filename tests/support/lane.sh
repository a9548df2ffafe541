#!/usr/bin/env bash
# Lanes let the tests run side by side. A lane is a program directory of
# its own, BUILD/lanes/NAME/bin (the build's programs and test programs hard
# linked from BUILD/bin, so that each finds its directory there, and copies
# of the files they read), with configuration, state and runtime
# directories of its own beside it. What the programs write (their log,
# data/, instruments/, locks, host keys) stays in the lane.
#
# A bench lane also has a bench of its own, named after the bench CTest
# gives the test from BUILD/test-benches.json: TVBENCH_NAME-ID (TVBENCH_NAME
# by default "tvbench", so tvbench-t1, tvbench-t2, ...). The bench that
# TVBENCH_NAME itself names (make demo's, or one brought up by hand) is
# never used or taken down by a test run.
#
#   lane.sh BUILD unit PROGRAM [ARGS...]    a test without the bench, in the lane "unit"
#   lane.sh BUILD bench PROGRAM [ARGS...]   a bench test, in the lane of its bench
#   lane.sh BUILD up|selftest|down          every bench of test-benches.json
#   lane.sh BUILD benches                   their names, one a line
#
# A PROGRAM in BUILD/bin runs as its lane's link; any other runs as given.
# Without a bench from CTest (a test
# program started by hand) a bench test uses the bench TVBENCH_NAME names.
set -u

# Every test starts through here: kept to shell built-ins where it can be.
case $0 in */*) HERE=${0%/*} ;; *) HERE=. ;; esac
BENCH=$HERE/../../bench/bench
BUILD=${1:?usage: lane.sh BUILD unit|bench|up|selftest|down|benches ...}
ACTION=${2:-}
shift 2 2>/dev/null || set --
BASE=${TVBENCH_NAME:-tvbench}
SPEC=$BUILD/test-benches.json

fail() { echo "lane: $*" >&2; exit 1; }

bench_ids() { grep -o '"id" *: *"[a-z0-9_]*"' "$SPEC" 2>/dev/null | sed 's/.*"\([a-z0-9_]*\)"$/\1/'; }
bench_names() { local id; for id in $(bench_ids); do echo "$BASE-$id"; done; }

# The bench CTest allocated to this test, if any.
allocated_bench() {
  local group=${CTEST_RESOURCE_GROUP_0_BENCHES:-}
  [ "${CTEST_RESOURCE_GROUP_COUNT:-0}" -ge 1 ] && [[ $group =~ ^id:([a-z0-9_]+), ]] || return 1
  echo "$BASE-${BASH_REMATCH[1]}"
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
# when it is not: a lane's tests never overlap, but test programs run by
# hand or listed at build time may.
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
  for name in $(bench_names); do
    rm -rf "${BUILD:?}/lanes/$name"
    refresh "$BUILD/lanes/$name"
  done
}

# ACTION on every bench; selftest side by side, up and down one after the
# other (bench/bench serialises them anyway). Fails when one fails; 77 when
# every one skipped.
each_bench() {
  local action=$1 name pids=() status=0 skipped=0 total=0 rc
  [ -s "$SPEC" ] || fail "no $SPEC (configure the build again)"
  for name in $(bench_names); do
    total=$((total + 1))
    if [ "$action" = selftest ]; then
      TVBENCH_NAME=$name "$BENCH" selftest --if-root >"$BUILD/lanes/$name.selftest.log" 2>&1 &
      pids+=($!)
    else
      TVBENCH_NAME=$name BUILD=$BUILD "$BENCH" "$action" --if-root || status=1
    fi
  done
  for name in $(bench_names); do
    [ ${#pids[@]} -gt 0 ] || break
    wait "${pids[0]}"
    rc=$?
    pids=("${pids[@]:1}")
    case $rc in
      0) echo "$name: selftest passed" ;;
      77) skipped=$((skipped + 1)) ;;
      *) status=1; echo "$name: selftest failed:"; cat "$BUILD/lanes/$name.selftest.log" ;;
    esac
  done
  [ "$status" -eq 0 ] && [ "$total" -gt 0 ] && [ "$skipped" -eq "$total" ] && { echo "not root: skipped"; return 77; }
  return $status
}

case $ACTION in
  unit)
    [ $# -ge 1 ] || fail "usage: lane.sh BUILD unit PROGRAM [ARGS...]"
    run_in_lane unit "$@" ;;
  bench)
    [ $# -ge 1 ] || fail "usage: lane.sh BUILD bench PROGRAM [ARGS...]"
    name=$(allocated_bench) || name=$BASE
    export TVBENCH_NAME=$name
    run_in_lane "$name" "$@" ;;
  up)
    mkdir -p "$BUILD/lanes"
    fresh_lanes
    each_bench up ;;
  selftest | down) each_bench "$ACTION" ;;
  benches) bench_names ;;
  *) fail "usage: lane.sh BUILD unit|bench|up|selftest|down|benches ..." ;;
esac
