#!/usr/bin/env bash
# One-shot SCPI query: "*IDN?" with the link opened and closed. Ours:
# instrument_query through bench_query. Peer: lxi scpi. One process per run.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-21}
need "$DRIVERS/bench_query"

ours_query() { "$DRIVERS/bench_query" "$HOST" "*IDN?"; }
peer_query() { lxi scpi -a "$HOST" "*IDN?"; }

say "one-shot *IDN? to $HOST, $RUNS runs each"
ours_reply=$(ours_query 2>&1)
peer_reply=$(peer_query 2>&1)
ours=(); peer=()
for ((i = 0; i < RUNS; i++)); do
  if ((i % 2)); then timed peer peer_query; timed ours ours_query
  else timed ours ours_query; timed peer peer_query; fi
done
in_process=$("$DRIVERS/bench_query" "$HOST" "*IDN?" 100 2>>"$LOG")
note="$(failures_note ours peer)$RUNS runs each, one process per query"
[ -n "$in_process" ] && note+="; ours within one process: $(awk -v v="$in_process" 'BEGIN { printf "%.1f ms", v / 1000 }') per query"
[ "$ours_reply" = "$peer_reply" ] || note="replies differ: \"$ours_reply\" / \"$peer_reply\"; $note"
row_time "one-shot SCPI query \`*IDN?\` (link opened and closed)" \
  "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 1.0 "$note"
finish
