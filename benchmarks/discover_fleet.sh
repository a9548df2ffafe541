#!/usr/bin/env bash
# Discovery of a fleet of 100 light instruments, each on both of the
# bench's networks (with the four default instruments, 208 responders).
# Ours: discover_instruments through bench_discover. Peer: lxi discover.
# Both broadcast from the operator namespace only. The instruments found
# are compared by their identification texts (one instrument with two
# addresses is one instrument).
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-5}
need "$DRIVERS/bench_discover"
OURS_OUT=$WORK/discover_fleet_ours.txt
PEER_OUT=$WORK/discover_fleet_peer.txt
"$BENCH" fleet 100 >>"$LOG" 2>&1 || die "the fleet did not come up (log: $LOG)"
trap '"$BENCH" fleet 0 >>"$LOG" 2>&1; rm -f "$OURS_OUT" "$PEER_OUT"' EXIT

ours_discover() { "$DRIVERS/bench_discover" >"$OURS_OUT"; }
peer_discover() { lxi discover >"$PEER_OUT"; }
ours_found() { cut -d' ' -f2- "$OURS_OUT" | sort -u; }
peer_found() { sed -n 's/^ *Found "\(.*\)" on address .*/\1/p' "$PEER_OUT" | sort -u; }

say "discovery of a fleet of 100 from the operator namespace, $RUNS runs each"
ours=(); peer=(); differ=0
for ((i = 0; i < RUNS; i++)); do
  if ((i % 2)); then timed peer peer_discover; timed ours ours_discover
  else timed ours ours_discover; timed peer peer_discover; fi
  [ "$(ours_found)" = "$(peer_found)" ] || differ=$((differ + 1))
done
found=$(ours_found | wc -l)
note="$(failures_note ours peer)$RUNS runs each; "
if [ $differ -eq 0 ]; then
  note+="both found the same $found instruments every run"
else
  note+="found sets differed in $differ runs (last: ours $(ours_found | wc -l), peer $(peer_found | wc -l))"
fi
row_time "discovery of 100 instruments on two networks" "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 0.5 "$note"
finish
