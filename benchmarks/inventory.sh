#!/usr/bin/env bash
# Inventory of 20 full instruments (`bench/bench fleet 20 --full`). Ours:
# one `tavrinctl inventory` of the 20 addresses (8 connects at once, its
# default). Peer: the same 20 connects one after the other, `tavrinctl
# --json connect` per instrument, as a script would collect them without
# inventory. Both sides make the same queries of every instrument.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-3}
need "$BIN/tavrinctl"
trap full_fleet_end EXIT
full_fleet_up 20
OUT=$WORK/inventory_ours.csv

ours_inventory() {
  local addresses=() i
  for i in "${FULL_FLEET[@]}"; do addresses+=("${FULL_ADDRESS[$i]}"); done
  "$BIN/tavrinctl" inventory "${addresses[@]}" >"$OUT" || return 1
  # A header and one successful row per instrument.
  [ "$(grep -c ',success,' "$OUT")" -eq ${#FULL_FLEET[@]} ]
}

peer_connects() {
  local i
  for i in "${FULL_FLEET[@]}"; do
    "$BIN/tavrinctl" --json connect "${FULL_ADDRESS[$i]}" | grep -q '"result":"success"' || return 1
  done
}

say "inventory of ${#FULL_FLEET[@]} full instruments, $RUNS runs each"
ours=(); peer=()
for ((r = 0; r < RUNS; r++)); do
  if ((r % 2)); then timed peer peer_connects; timed ours ours_inventory
  else timed ours ours_inventory; timed peer peer_connects; fi
done
rm -f "$OUT"
row_time "inventory of 20 full instruments / the 20 connects one by one" \
  "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 0.25 \
  "$(failures_note ours peer)$RUNS runs each; \`tavrinctl inventory\` (8 at once) against 20 \`tavrinctl --json connect\` in a row"
finish
