#!/usr/bin/env bash
# SCP upload of 256 MiB to a bench instrument (into its /tmp, a tmpfs).
# Ours: scp_send_file through bench_scp. Peer: OpenSSH scp -O (the classic
# SCP protocol, as ours speaks) with sshpass. Throughput in MiB/s.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-5}
MIB=${SCP_MIB:-256}
need "$DRIVERS/bench_scp"
FILE=$WORK/scp_${MIB}MiB.bin
REMOTE=/tmp/tvbench_scp
cleanup() {
  rm -f "$FILE"
  peer_ssh "rm -f $REMOTE.ours $REMOTE.peer" >/dev/null 2>&1
}
trap cleanup EXIT

ours_copy() { "$DRIVERS/bench_scp" "$PASSWORD" "$FILE" "root@$HOST:$REMOTE.ours"; }
peer_copy() { sshpass -p "$PASSWORD" scp -O -q "${SSH_OPTS[@]}" "$FILE" "root@$HOST:$REMOTE.peer"; }
drop_remote() { peer_ssh "rm -f $REMOTE.ours $REMOTE.peer" >/dev/null 2>&1; }

say "SCP upload of $MIB MiB to $HOST, $RUNS runs each"
head -c $((MIB * 1048576)) /dev/urandom >"$FILE" || die "cannot write $FILE"
local_md5=$(md5sum <"$FILE" | cut -d' ' -f1)
differs=0
check_copy() {  # SIDE: compares the copy on the instrument with the file
  [ "$(peer_ssh "md5sum <$REMOTE.$1" 2>/dev/null | cut -d' ' -f1)" = "$local_md5" ] ||
    differs=$((differs + 1))
}
ours=(); peer=()
for ((i = 0; i < RUNS; i++)); do
  if ((i % 2)); then
    timed peer peer_copy && check_copy peer; drop_remote
    timed ours ours_copy && check_copy ours; drop_remote
  else
    timed ours ours_copy && check_copy ours; drop_remote
    timed peer peer_copy && check_copy peer; drop_remote
  fi
done
note="$(failures_note ours peer)$RUNS runs each"
[ $differs -eq 0 ] || note="$differs COPIES DIFFERED FROM THE FILE; $note"
row_rate "SCP upload of $MIB MiB" "$(rate_of "$MIB" "$(median "${ours[@]}")")" \
  "$(rate_of "$MIB" "$(median "${peer[@]}")")" MiB/s ">=" 0.9 "$note"
finish
