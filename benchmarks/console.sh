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
{ for ((i = 0; i < N; i++)); do echo '*IDN?'; done; echo q; } >"$QUERY_FILE"
echo q >"$QUIT_FILE"

# A query takes about 2.5 times as long when the console and the instrument's
# server run on different processors as when they share one, and the
# scheduler picks either from run to run. Both clients therefore run on the
# processor the server is held to, so each side is timed with the same
# placement; the server is set free again at the end.
SERVER_PID=""
PIN=()
hold_server() {
  local inst init
  inst=$("$BENCH" status 2>/dev/null | awk -v h="$HOST(" 'index($0, h) { print $1; exit }')
  [ -n "$inst" ] && init=$(cat "$BENCH_STATE/$inst/init.pid" 2>/dev/null) || return 0
  SERVER_PID=$(pgrep -P "$init" -f tv_instrument_server | head -1)
  [ -n "$SERVER_PID" ] && taskset -p -c 0 "$SERVER_PID" >/dev/null && PIN=(taskset -c 0)
}
free_server() { [ -n "$SERVER_PID" ] && taskset -p -c "0-$(($(nproc) - 1))" "$SERVER_PID" >/dev/null; }
trap 'free_server; rm -f "$QUERY_FILE" "$QUIT_FILE" "$OUT" "$LXI_OUT"' EXIT
hold_server

ours_run() { "${PIN[@]}" "$BIN/benchterm" "rip=$HOST" method=3 <"$1" >"$OUT"; }
ours_many() { ours_run "$QUERY_FILE" && [ "$(grep -c 'Tavrin,' "$OUT")" -eq "$N" ]; }
ours_none() { ours_run "$QUIT_FILE"; }
LXI_OUT=$WORK/console_lxi.txt
peer_many() { "${PIN[@]}" lxi benchmark -a "$HOST" -c "$N" >>"$LXI_OUT"; }
peer_one() { "${PIN[@]}" lxi benchmark -a "$HOST" -c 1; }

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
pinned="both on the server's processor"
[ ${#PIN[@]} -gt 0 ] || pinned="placement left to the scheduler"
note="$(failures_note o0 om p1 pm)$RUNS runs each, $pinned; lxi's own figure $(median $own) q/s"
row_rate "console query rate, \`*IDN?\` on one link ($N queries)" "$ours_rate" "$peer_rate" q/s \
  ">=" 1.0 "$note"
finish
