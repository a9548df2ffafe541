#!/usr/bin/env bash
# Console query rate: "*IDN?" repeated on one link. Ours: benchterm with
# query method 3, the queries on its standard input. Peer: lxi benchmark.
# Each side is timed with QUERIES queries and with none (benchterm) or one
# (lxi), so that the rate leaves out starting and connecting.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-9}
N=${QUERIES:-2000}
need "$BIN/benchterm"
QUERY_FILE=$WORK/console_queries.txt
QUIT_FILE=$WORK/console_quit.txt
OUT=$WORK/console_out.txt
trap 'rm -f "$QUERY_FILE" "$QUIT_FILE" "$OUT" "$LXI_OUT"' EXIT
{ for ((i = 0; i < N; i++)); do echo '*IDN?'; done; echo q; } >"$QUERY_FILE"
echo q >"$QUIT_FILE"

ours_run() { "$BIN/benchterm" "rip=$HOST" method=3 <"$1" >"$OUT"; }
ours_many() { ours_run "$QUERY_FILE" && [ "$(grep -c 'Tavrin,' "$OUT")" -eq "$N" ]; }
ours_none() { ours_run "$QUIT_FILE"; }
LXI_OUT=$WORK/console_lxi.txt
peer_many() { lxi benchmark -a "$HOST" -c "$N" >>"$LXI_OUT"; }
peer_one() { lxi benchmark -a "$HOST" -c 1; }

say "console query rate on $HOST: $N queries, $RUNS runs each"
om=(); o0=(); pm=(); p1=(); : >"$LXI_OUT"
for ((i = 0; i < RUNS; i++)); do
  timed o0 ours_none; timed om ours_many
  timed p1 peer_one; timed pm peer_many
done
ours_rate=""; peer_rate=""
m=$(median "${om[@]}"); z=$(median "${o0[@]}")
[ -n "$m" ] && [ -n "$z" ] && ours_rate=$(rate_of "$N" "$(awk -v a="$m" -v b="$z" 'BEGIN { print a - b }')")
m=$(median "${pm[@]}"); z=$(median "${p1[@]}")
[ -n "$m" ] && [ -n "$z" ] && peer_rate=$(rate_of $((N - 1)) "$(awk -v a="$m" -v b="$z" 'BEGIN { print a - b }')")
own=$(grep -o 'Result: [0-9.]* requests' "$LXI_OUT" | awk '{ print $2 }')
note="$(failures_note o0 om p1 pm)$RUNS runs each; lxi's own figure $(median $own) q/s"
row_rate "console query rate, \`*IDN?\` on one link ($N queries)" "$ours_rate" "$peer_rate" q/s \
  ">=" 1.0 "$note"
finish
