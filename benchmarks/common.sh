# Shared by every benchmark script: paths, the bench, timing, medians and the
# result table. Sourced, never run. Benchmarks report; they never pass or fail
# (a non-zero status means a benchmark could not run at all).

BM_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
ROOT_DIR=$(dirname "$BM_DIR")
BUILD=${BUILD:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT_DIR/$BUILD ;; esac
export BUILD
BIN=$BUILD/bin
DRIVERS=$BUILD/benchmarks
WORK=$BUILD/benchmarks/work
BENCH=$ROOT_DIR/bench/bench
# The instruments' state (knobs, boot state) of this bench (TVBENCH_NAME).
BENCH_STATE=$("$BENCH" state-dir)
OPNS_PATH=/run/netns/${TVBENCH_NAME:-tvbench}

# The instrument the network rows use: i3 (family kfw), which the others'
# tests touch least. Traffic stays inside the bench's 198.18.0.0/15.
HOST=${BM_HOST:-198.18.0.13}
PASSWORD=${BM_PASSWORD:-kdrun64}

# OpenSSH as an operator would run it: password by sshpass, no agent, no
# user configuration, host keys neither checked nor stored.
SSH_OPTS=(-F /dev/null -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null
  -o LogLevel=ERROR -o PreferredAuthentications=password -o BatchMode=no)

# Our programs keep their known-host store under the build, not in $HOME.
export XDG_CONFIG_HOME=$WORK/config

mkdir -p "$WORK" "$XDG_CONFIG_HOME"
BM_NAME=$(basename "$0" .sh)
LOG=$WORK/$BM_NAME.log
# A fresh log per run; the copy of the script that re-enters the bench
# (enter_bench) writes on in the same one.
[ "${BM_LOG_STARTED:-}" = "$BM_NAME" ] || : >"$LOG"
export BM_LOG_STARTED=$BM_NAME

say() { echo "benchmarks: $*" >&2; }
die() { say "$*"; exit 1; }

inside_bench() {
  [ -e "$OPNS_PATH" ] &&
    [ "$(stat -L -c %i /proc/self/ns/net)" = "$(stat -L -c %i "$OPNS_PATH")" ]
}

# Re-runs the calling script inside the bench's operator namespace. A bench
# that is already up (others may be using it) is used and left up; one that
# is down is brought up for this run and taken down after it.
enter_bench() {
  inside_bench && return 0
  [ "$(id -u)" -eq 0 ] || die "needs root (the bench runs in network namespaces)"
  local made=0 rc
  if ! "$BENCH" status >/dev/null 2>&1; then
    say "bringing the bench up"
    "$BENCH" up >&2 || die "the bench did not come up"
    made=1
  else
    say "the bench is up already: using it, leaving it up"
  fi
  "$BENCH" exec "$BASH" "$0" "$@"
  rc=$?
  if [ $made = 1 ]; then
    say "taking the bench down"
    "$BENCH" down >&2
  fi
  exit $rc
}

need() {  # FILE...: the built programs a benchmark runs
  local f
  for f in "$@"; do [ -x "$f" ] || die "$f is not built (make bench builds it)"; done
}

peer_ssh() { sshpass -p "$PASSWORD" ssh "${SSH_OPTS[@]}" "root@$HOST" "$@"; }

# --- timing -----------------------------------------------------------------

now_us() { local t=$EPOCHREALTIME; echo $((10#${t/./})); }

declare -A BM_FAILED=()

# timed NAME CMD...: runs CMD (its output goes to the log) and appends its
# wall time in microseconds to the array NAME; a failed run is counted in
# BM_FAILED[NAME] instead.
timed() {
  local -n acc=$1
  local name=$1 t0 t1 rc
  shift
  echo "--- $name: $*" >>"$LOG"
  t0=$EPOCHREALTIME
  "$@" >>"$LOG" 2>&1
  rc=$?
  t1=$EPOCHREALTIME
  if [ $rc -eq 0 ]; then
    acc+=($((10#${t1/./} - 10#${t0/./})))
    echo "--- $name: ${acc[-1]} us" >>"$LOG"
  else
    BM_FAILED[$name]=$((${BM_FAILED[$name]:-0} + 1))
    echo "--- $name failed with status $rc" >>"$LOG"
  fi
  return $rc
}

median() {  # NUMBERS... -> their median (empty for none)
  printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 }
    END { if (NR == 0) exit; if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

failures_note() {  # ARRAY-NAMES... -> "2 of ours failed; " or nothing
  local n text=""
  for n in "$@"; do
    [ -n "${BM_FAILED[$n]:-}" ] && text+="${BM_FAILED[$n]} runs of $n failed; "
  done
  printf '%s' "$text"
}

# --- rows and the table -------------------------------------------------------

# Rows are tab-separated lines in $BM_ROWS; run.sh collects them from every
# script, a script run alone prints its own rows as a table when it ends.
if [ -z "${BM_ROWS:-}" ]; then
  BM_ROWS=$WORK/$BM_NAME.rows
  BM_ALONE=1
  : >"$BM_ROWS"
fi

aim_met() {  # RATIO OP LIMIT -> yes / no
  awk -v r="$1" -v op="$2" -v l="$3" 'BEGIN {
    if (r == "") { print "-"; exit }
    ok = (op == "<=") ? (r <= l) : (r >= l); print ok ? "yes" : "no" }'
}

put_row() {  # NAME OURS PEER RATIO OP LIMIT NOTE
  printf '%s\t%s\t%s\t%s\t%s %s\t%s\t%s\n' "$1" "$2" "$3" "$4" "$5" "$6" \
    "$(aim_met "$4" "$5" "$6")" "$7" >>"$BM_ROWS"
}

# row_time NAME OURS_US PEER_US OP LIMIT NOTE: ratio is our time over theirs.
row_time() {
  local ours=$2 peer=$3 ratio="" o="n/a" p="n/a"
  [ -n "$ours" ] && o=$(awk -v v="$ours" 'BEGIN { printf "%.1f ms", v / 1000 }')
  [ -n "$peer" ] && p=$(awk -v v="$peer" 'BEGIN { printf "%.1f ms", v / 1000 }')
  [ -n "$ours" ] && [ -n "$peer" ] && ratio=$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.2f", a / b }')
  put_row "$1" "$o" "$p" "$ratio" "$4" "$5" "$6"
}

# row_rate NAME OURS PEER UNIT OP LIMIT NOTE: rates (higher is better);
# ratio is our rate over theirs.
row_rate() {
  local ours=$2 peer=$3 unit=$4 ratio="" o="n/a" p="n/a"
  [ -n "$ours" ] && o=$(awk -v v="$ours" -v u="$unit" 'BEGIN { printf "%.0f %s", v, u }')
  [ -n "$peer" ] && p=$(awk -v v="$peer" -v u="$unit" 'BEGIN { printf "%.0f %s", v, u }')
  [ -n "$ours" ] && [ -n "$peer" ] && ratio=$(awk -v a="$ours" -v b="$peer" 'BEGIN { printf "%.2f", a / b }')
  put_row "$1" "$o" "$p" "$ratio" "$5" "$6" "$7"
}

rate_of() {  # AMOUNT MICROSECONDS -> AMOUNT per second (empty when unknown)
  [ -n "$2" ] && awk -v a="$1" -v t="$2" 'BEGIN { if (t > 0) printf "%.3f", a * 1e6 / t }'
}

machine_line() {
  local cpu
  cpu=$(awk -F': *' '/^model name/ { print $2; exit }' /proc/cpuinfo)
  echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores ($cpu), $(uname -sr)"
}

print_table() {  # ROWS-FILE
  echo "| benchmark | ours (median) | peer (median) | ours/peer | aim | aim met | notes |"
  echo "|---|---|---|---|---|---|---|"
  awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, ($4 == "" ? "-" : $4), $5, $6, $7 }' "$1"
}

finish() {
  if [ -n "${BM_ALONE:-}" ]; then
    echo
    echo "$(machine_line); log: $LOG"
    print_table "$BM_ROWS"
  fi
}

# --- the full fleet ----------------------------------------------------------

# full_fleet_up N: f1..fN as full instruments (`bench/bench fleet N --full`),
# at 198.18.0.(100+K), family kfw. A full fleet of that size that is up
# already is used and left up; otherwise it is brought up now, and
# full_fleet_end (for the script's EXIT trap) ends it. Fills FULL_FLEET
# (names) and FULL_ADDRESS (by name).
declare -A FULL_ADDRESS=()
FULL_FLEET=()
FULL_FLEET_MADE=0
full_fleet_up() {
  local n=$1 k
  if [ "$(wc -l 2>/dev/null <"$BENCH_STATE/full_fleet.table")" != "$n" ]; then
    say "bringing up a full fleet of $n"
    FULL_FLEET_MADE=1
    "$BENCH" fleet "$n" --full >>"$LOG" 2>&1 || die "the full fleet did not come up (log: $LOG)"
  else
    say "the full fleet of $n is up already: using it, leaving it up"
  fi
  for ((k = 1; k <= n; k++)); do
    FULL_FLEET+=("f$k")
    FULL_ADDRESS[f$k]=198.18.0.$((100 + k))
  done
}

full_fleet_end() {
  [ "$FULL_FLEET_MADE" = 1 ] && "$BENCH" fleet 0 >>"$LOG" 2>&1
  FULL_FLEET_MADE=0
}
