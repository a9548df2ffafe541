#!/usr/bin/env bash
# Package packing and decoding throughput on 1 GiB. Ours: TavrinOperator -p4
# (packing), and DecodePackage through bench_decode (the upgrade's check
# and decode). Peer: md5sum of the same file (the archive for packing, the
# package for decoding). Both files stay in the page cache; peak memory
# comes from /usr/bin/time. The 1 GiB files are deleted at the end.
# No network: runs as well outside the bench.
. "$(dirname "$0")/common.sh"
RUNS=${RUNS:-3}
MIB=${PACK_MIB:-1024}
need "$BIN/TavrinOperator" "$DRIVERS/bench_decode"
DIR=$WORK/pack
ARCHIVE=$DIR/archive.tgz
PACKAGE=$DIR/archive.kf4
DECODED=$DIR/decoded.tgz
RSS=$DIR/rss
trap 'rm -rf "$DIR"' EXIT
mkdir -p "$DIR"

# TavrinOperator writes its log beside itself; a copy keeps bin/ clean.
cp "$BIN/TavrinOperator" "$DIR/TavrinOperator"
# Each run also notes its processor time (user + system) and peak RSS.
with_rss() { /usr/bin/time -f '%U %S %M' -a -o "$RSS.$1" "${@:2}"; }
ours_pack() { with_rss pack "$DIR/TavrinOperator" -p4 "$ARCHIVE" -o "$PACKAGE.new"; }
first_pack() { "$DIR/TavrinOperator" -p4 "$ARCHIVE" -o "$PACKAGE"; }
ours_decode() { with_rss decode "$DRIVERS/bench_decode" "$PACKAGE" "$DECODED" kf4; }
# Before each timed run, untimed: the output of the last run is removed and
# the disk has taken every dirty page, so that no run pays for truncating
# 1 GiB or for the write-back of the one before.
settle() { rm -f "$@"; sync; }
peer_archive() { with_rss md5a md5sum "$ARCHIVE"; }
peer_package() { with_rss md5p md5sum "$PACKAGE"; }
peak() { awk '$3 > m { m = $3 } END { printf "%.1f MiB", m / 1024 }' "$RSS.$1" 2>/dev/null; }
cpu() { median $(awk '{ print $1 + $2 }' "$RSS.$1" 2>/dev/null); }
cpu_ratio() {  # OURS PEER -> the peer's processor time over ours
  awk -v a="$(cpu "$1")" -v b="$(cpu "$2")" 'BEGIN { if (a > 0) printf "%.2f (%.2f s / %.2f s)", b / a, b, a }'
}

say "packing and decoding $MIB MiB, $RUNS runs each"
head -c $((MIB * 1048576)) /dev/urandom >"$ARCHIVE" || die "cannot write $ARCHIVE"
first_pack || die "packing failed"
ours_decode || die "decoding failed"
cmp -s "$ARCHIVE" "$DECODED" || die "the decoded package differs from the archive"
rm -f "$RSS".*
pack=(); md5a=(); decode=(); md5p=()
for ((i = 0; i < RUNS; i++)); do
  settle; timed md5a peer_archive
  settle "$PACKAGE.new"; timed pack ours_pack
  settle; timed md5p peer_package
  settle "$DECODED"; timed decode ours_decode
done
for f in "$RSS".*; do echo "--- ${f##*.} user system peak-KiB:" $(cat "$f"); done >>"$LOG"
note="$(failures_note pack md5a)$RUNS runs each; peak RSS ours $(peak pack), md5sum $(peak md5a); processor time md5sum/ours $(cpu_ratio pack md5a)"
row_rate "package packing, $MIB MiB (\`TavrinOperator -p4\` / md5sum)" \
  "$(rate_of "$MIB" "$(median "${pack[@]}")")" "$(rate_of "$MIB" "$(median "${md5a[@]}")")" \
  MiB/s ">=" 0.9 "$note"
note="$(failures_note decode md5p)$RUNS runs each; peak RSS ours $(peak decode), md5sum $(peak md5p); processor time md5sum/ours $(cpu_ratio decode md5p)"
row_rate "package check and decoding, $MIB MiB (upgrade's decode / md5sum)" \
  "$(rate_of "$MIB" "$(median "${decode[@]}")")" "$(rate_of "$MIB" "$(median "${md5p[@]}")")" \
  MiB/s ">=" 0.9 "$note"
finish
