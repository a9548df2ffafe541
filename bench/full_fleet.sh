# shellcheck shell=bash
# The full fleet of `bench/bench fleet N --full`; sourced by bench/bench.
# Instruments f1..fN (at most 20) are full instruments like i1, started by
# instrument_init.sh: an overlay root, sshd with the kfw family's password,
# rpcbind and the VXI-11 server, the identity files and versions, reboots
# and knobs. fK is a TVS-8010 with serial TVF followed by K in six digits,
# at 198.18.0.(100+K) on the first network. While they run, their rows
# extend the instrument table (row), so that ctl, status and
# link_instrument treat them as they treat i1..i4; down ends them with the
# rest of the bench.

FULL_FLEET_MAX=20
FULL_FLEET_TABLE=$STATE/full_fleet.table

full_fleet_row() {  # K
  printf 'f%d kfw TVS-8010 TVF%06d 2.4.1 1.8.0 1.5.2 2.0.3 198.18.0.%d\n' "$1" "$1" $((100 + $1))
}

full_fleet_names() { awk '{print $1}' "$FULL_FLEET_TABLE" 2>/dev/null; }

valid_full_fleet_size() {
  [[ $1 =~ ^[0-9]+$ ]] && [ "$1" -le "$FULL_FLEET_MAX" ] ||
    fail "full fleet size 0 to $FULL_FLEET_MAX expected, not '$1'"
}

# Twenty instruments boot side by side (host keys, sshd, rpcbind, server);
# on two busy cores that takes longer than the default four.
full_fleet_wait_up() {
  local name t=$((600 + 60 * $#))
  for name in "$@"; do
    while [ "$(instrument_state "$name")" != up ]; do
      t=$((t - 1))
      if [ "$t" -le 0 ] || ! ours "$(cat "$STATE/$name/init.pid" 2>/dev/null)"; then
        say "$name did not come up; its log:"
        tail -n 20 "$STATE/$name/ctl/init.log" >&2
        return 1
      fi
      sleep 0.1
    done
  done
}

# Proportional set size of the processes of the full fleet's instruments
# (their PID namespaces), in MiB: what the instruments cost in user memory.
full_fleet_memory() {
  local name pid line n=0 total
  local -A ns_of_fleet=()
  local -a files=()
  for name in $(full_fleet_names); do
    pid=$(cat "$STATE/$name/init.pid" 2>/dev/null)
    ours "$pid" && ns_of_fleet[$(readlink "/proc/$pid/ns/pid")]=1 && n=$((n + 1))
  done
  [ "$n" -gt 0 ] || return 0
  # One find lists every process's namespace; a process per process would
  # take minutes on a busy machine.
  while read -r line; do
    [ -n "${ns_of_fleet[${line#* }]:-}" ] && files+=("${line%%/ns *}/smaps_rollup")
  done < <(find /proc -mindepth 3 -maxdepth 3 -path '/proc/[0-9]*/ns/pid' -printf '%h %l\n' 2>/dev/null)
  total=$(awk '/^Pss:/ { s += $2 } END { print int(s / 1024) }' "${files[@]}" 2>/dev/null)
  say "processes of the full fleet: ${total} MiB PSS in all, about $((total / n)) MiB per instrument"
}

full_fleet_start() {  # N
  local n=$1 k name names started=$SECONDS
  [ "$n" -gt 0 ] || return 0
  pin_bridge_addresses
  for ((k = 1; k <= n; k++)); do full_fleet_row "$k"; done >"$FULL_FLEET_TABLE"
  names=$(full_fleet_names)
  for name in $names; do start_instrument "$name"; done
  for name in $names; do link_instrument "$name" || { say "cannot link $name"; return 1; }; done
  # shellcheck disable=SC2086
  full_fleet_wait_up $names || return 1
  say "full fleet of $n up in $((SECONDS - started)) s"
  full_fleet_memory
}

# Ends every full fleet instrument at once, then removes its files; its
# links go with the light fleet's (fleet_stop).
full_fleet_stop() {
  local name pid pids="" left n
  [ -f "$FULL_FLEET_TABLE" ] || return 0
  for name in $(full_fleet_names); do
    pid=$(cat "$STATE/$name/init.pid" 2>/dev/null)
    ours "$pid" && kill -TERM "$pid" 2>/dev/null && pids="$pids $pid"
  done
  for n in $(seq 50); do
    left=""
    for pid in $pids; do ours "$pid" && left="$left $pid"; done
    [ -z "$left" ] && break
    sleep 0.1
  done
  for pid in $left; do kill -KILL "$pid" 2>/dev/null; done
  for pid in $left; do stop_pid "$pid"; done
  for name in $(full_fleet_names); do rm -rf "${STATE:?}/$name"; done
  rm -f "$FULL_FLEET_TABLE"
}
