#!/usr/bin/env bash
# Instruments as they are in the field (bench/flavours): one script line
# (SSH login + `pwd` with the test suffix) per SSH flavour, ours against
# OpenSSH's client; for ssh=rsa_only, where our SSH library cannot meet the
# instrument, how soon ours fails with its cause against OpenSSH's login;
# and a whole tavrinctl connect per flavour (ours alone). The flavour is set
# on the benchmark's instrument and cleared again at the end.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-9}
need "$DRIVERS/bench_ssh_line" "$BIN/tavrinctl"
SUFFIX=' >/dev/null 2>&1 && sync && echo yes || echo no'
INSTRUMENT=${BM_INSTRUMENT:-i3}

flavour() { "$BENCH" ctl "$INSTRUMENT" reset ${1:+"$@"} >>"$LOG" 2>&1 || die "cannot set $*"; }
trap 'flavour' EXIT

peer_line() { [ "$(peer_ssh "pwd$SUFFIX")" = yes ]; }
ours_line() { "$DRIVERS/bench_ssh_line" "$HOST" "$PASSWORD"; }
ours_refused() { ! "$DRIVERS/bench_ssh_line" "$HOST" "$PASSWORD"; }
ours_connect() { "$BIN/tavrinctl" connect "$HOST"; }
ours_connect_refused() { ! "$BIN/tavrinctl" connect "$HOST"; }

USUAL_OPTS=("${SSH_OPTS[@]}")
for knob in "" ssh=dropbear ssh=legacy ssh=rsa_only; do
  flavour $knob
  name=${knob:-the usual sshd}
  BM_FAILED=()
  SSH_OPTS=("${USUAL_OPTS[@]}")
  # OpenSSH's client no longer offers what the legacy instrument needs.
  [ "$knob" = ssh=legacy ] && SSH_OPTS+=(-o HostKeyAlgorithms=+ssh-rsa
    -o KexAlgorithms=+diffie-hellman-group14-sha1 -o Ciphers=+aes128-cbc)
  say "$name on $HOST, $RUNS runs each"
  ours=(); peer=(); connect=()
  if [ "$knob" = ssh=rsa_only ]; then
    for ((i = 0; i < RUNS; i++)); do
      timed ours ours_refused; timed peer peer_line; timed connect ours_connect_refused
    done
    row_time "\`ssh=rsa_only\`: ours fails naming the cause; peer logs in" \
      "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 1.0 "$(failures_note ours peer)$RUNS runs each"
    row_time "\`ssh=rsa_only\`: tavrinctl connect until it fails (one login, not two)" \
      "$(median "${connect[@]}")" "" "<=" 1.0 "$(failures_note connect)ours alone"
    continue
  fi
  warm=(); timed warm ours_line; timed warm peer_line
  for ((i = 0; i < RUNS; i++)); do
    if ((i % 2)); then timed peer peer_line; timed ours ours_line
    else timed ours ours_line; timed peer peer_line; fi
    timed connect ours_connect
  done
  row_time "one script line on ${knob:+\`}$name${knob:+\`}" \
    "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 0.5 "$(failures_note ours peer)$RUNS runs each"
  row_time "tavrinctl connect on ${knob:+\`}$name${knob:+\`}" \
    "$(median "${connect[@]}")" "" "<=" 1.0 "$(failures_note connect)ours alone"
done
finish
