#!/usr/bin/env bash
# Runs every benchmark on the bench and prints one table: per row the median
# of several runs of ours and of the peer measured in the same run, and
# their ratio. `make bench` calls it after building; any single benchmark
# also runs alone, e.g. `benchmarks/scp.sh`. Options through the
# environment: BUILD (build directory, default build), RUNS (runs per side,
# default per benchmark). Arguments: benchmark names to run a subset.
. "$(dirname "$0")/common.sh"
ALL=(ssh_line scp query console discover discover_fleet upgrade fleet fleet_full inventory pack_decode flavours)
ALL_KNOWN=("${ALL[@]}")
[ $# -gt 0 ] && ALL=("$@")
enter_bench "$@"

export BM_ROWS=$WORK/run.rows
: >"$BM_ROWS"
for name in "${ALL[@]}"; do
  [ -f "$BM_DIR/$name.sh" ] || die "no benchmark $name (known: ${ALL_KNOWN[*]})"
  before=$(wc -l <"$BM_ROWS")
  bash "$BM_DIR/$name.sh" || say "$name could not run (log: $WORK/$name.log)"
  [ "$(wc -l <"$BM_ROWS")" -gt "$before" ] ||
    printf '%s\tn/a\tn/a\t\t-\t-\tdid not run, see %s\n' "$name" "$WORK/$name.log" >>"$BM_ROWS"
done
RESULT=$WORK/results.md
{
  echo "Measured $(machine_line)."
  echo
  print_table "$BM_ROWS"
} >"$RESULT"
echo
cat "$RESULT"
