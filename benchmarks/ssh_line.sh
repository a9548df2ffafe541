#!/usr/bin/env bash
# One script line: SSH connect, authenticate, run "pwd" with the test suffix
# and read "yes" back. Ours: ssh_run_command through bench_ssh_line. Peer:
# OpenSSH ssh with sshpass. One process per run on both sides.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-15}
need "$DRIVERS/bench_ssh_line"
SUFFIX=' >/dev/null 2>&1 && sync && echo yes || echo no'

peer_line() { [ "$(peer_ssh "pwd$SUFFIX")" = yes ]; }
ours_line() { "$DRIVERS/bench_ssh_line" "$HOST" "$PASSWORD"; }

say "one script line on $HOST, $RUNS runs each"
warm=(); timed warm ours_line; timed warm peer_line
ours=(); peer=()
for ((i = 0; i < RUNS; i++)); do
  if ((i % 2)); then timed peer peer_line; timed ours ours_line
  else timed ours ours_line; timed peer peer_line; fi
done
row_time "one script line: SSH login + \`pwd\` with test suffix" \
  "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 0.5 "$(failures_note ours peer)$RUNS runs each"
finish
