#!/usr/bin/env bash
# A whole upgrade of the sample kfw package on i3, reboot excluded. Ours:
# tavrinctl upgrade (probe, connection check, pending check, decode, the
# script's main body). Peer: the same steps, one OpenSSH ssh (or scp -O)
# per SSH call that ours makes, run by a shell loop with sshpass.
#
# The reboot is left out on both sides: each run's time is its total minus
# the span from the start of the `reboot wait` line (ours: its progress
# notice; peer: before its `reboot` command) to the start of the next line
# (ours: the next progress notice; peer: once the instrument answers after
# coming back). The bench's reboot_down knob of i3 is 0 during the runs so
# that they stay short; i3's software is put back after every run.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-3}
INSTRUMENT=${BM_INSTRUMENT:-i3}
need "$BIN/tavrinctl" "$DRIVERS/bench_decode"
PACKAGE=$BIN/packages/tvs80_2.5.0.kfw
[ -f "$PACKAGE" ] || die "$PACKAGE is not built (make bench builds it)"
ARCHIVE=$WORK/tvs80_2.5.0.tgz
SAVED=$WORK/upgrade_saved_releases.tar
KNOBS=$BENCH_STATE/$INSTRUMENT/ctl/bench_knobs
STATE_FILE=$BENCH_STATE/$INSTRUMENT/ctl/state
SUFFIX=' >/dev/null 2>&1 && sync && echo yes || echo no'

"$DRIVERS/bench_decode" "$PACKAGE" "$ARCHIVE" kfw || die "cannot decode $PACKAGE"
old_down=$(sed -n 's/^reboot_down=//p' "$KNOBS" 2>/dev/null | tail -n 1)
peer_ssh 'tar -C /tvs -cf - releases' >"$SAVED" 2>>"$LOG" && [ -s "$SAVED" ] ||
  die "cannot save the software of $HOST"
# Others' tests share the bench and may hold i3 a moment (a reboot, a
# changed password): putting the software back is tried a few times.
put_back() {
  local n
  for n in 1 2 3 4 5; do
    peer_ssh 'rm -rf /tvs/releases /tmp/tvs_update /tmp/tvs_update.tgz && tar -C /tvs -xf -' \
      <"$SAVED" >>"$LOG" 2>&1 && return 0
    sleep 2
  done
  return 1
}
cleanup() {
  put_back || say "could not put back the software of $HOST (saved in $SAVED)"
  "$BENCH" ctl "$INSTRUMENT" "reboot_down=$old_down" >/dev/null
  rm -f "$ARCHIVE" "$SAVED"
}
trap cleanup EXIT
"$BENCH" ctl "$INSTRUMENT" reboot_down=0 >/dev/null || die "cannot set reboot_down on $INSTRUMENT"

us() { local t=$1; echo $((10#${t/./})); }

# ours_upgrade: appends the run's time without the reboot to `ours`.
ours_upgrade() {
  local t0 now line last="" before="" after="" done=0 status=""
  t0=$EPOCHREALTIME
  while IFS= read -r line; do
    now=$EPOCHREALTIME
    echo "$now $line" >>"$LOG"
    case $line in
      "progress: "*)
        [ -n "$before" ] && [ -z "$after" ] && after=$now
        last=$now ;;
      "log: Successfully reconnected"*) before=$last ;;
      "status: Upgrading completed"*) done=1 ;;
      "exit: "*) status=${line#exit: } ;;
    esac
  done < <("$BIN/tavrinctl" upgrade "$HOST" "$PACKAGE" 2>&1; echo "exit: $?")
  now=$EPOCHREALTIME
  if [ "$status" != 0 ] || [ $done != 1 ] || [ -z "$after" ]; then
    BM_FAILED[ours]=$((${BM_FAILED[ours]:-0} + 1))
    return 1
  fi
  ours+=($(($(us "$now") - $(us "$t0") - ($(us "$after") - $(us "$before")))))
  echo "--- ours: ${ours[-1]} us without the reboot" >>"$LOG"
}

# The peer's steps, each one OpenSSH call; a test line succeeds on "yes".
run() { peer_ssh "$1" >>"$LOG" 2>&1; }
value() { peer_ssh "$1" 2>>"$LOG"; }
check() { [ "$(peer_ssh "$1$SUFFIX" 2>>"$LOG")" = yes ]; }

# Waits (outside the timed span) until the instrument has been down and
# answers again.
peer_reboot() {
  local n=0
  run reboot || return 1
  while [ "$(cat "$STATE_FILE" 2>/dev/null)" = up ] && [ $n -lt 100 ]; do sleep 0.05; n=$((n + 1)); done
  n=0
  while [ $n -lt 600 ]; do
    [ "$(cat "$STATE_FILE" 2>/dev/null)" = up ] && check pwd && return 0
    sleep 0.1
    n=$((n + 1))
  done
  return 1
}

peer_steps() {
  local model version serial
  value pwd >/dev/null || return 1                      # credential probe
  value pwd >/dev/null || return 1                      # connection check
  check '[ -e /tvs/releases/update_pending ]' && return 1
  run "echo Uploading tvs80_2.5.0.tgz to the instrument at $HOST" || return 1
  sshpass -p "$PASSWORD" scp -O -q "${SSH_OPTS[@]}" "$ARCHIVE" "root@$HOST:/tmp/tvs_update.tgz" || return 1
  check 'gzip -t /tmp/tvs_update.tgz' || return 1
  check 'rm -rf /tmp/tvs_update && mkdir -p /tmp/tvs_update && tar -xzf /tmp/tvs_update.tgz -C /tmp/tvs_update' || return 1
  model=$(value 'cat /tvs/etc/model') || return 1
  version=$(value "sed -n 's/^package: *//p' /tmp/tvs_update/package_version") || return 1
  check "grep -qx \"$model\" /tmp/tvs_update/models" || return 1
  run "echo Installing package $version on $model" || return 1
  check 'rm -rf /tvs/releases/previous && mkdir -p /tvs/releases/previous/current' || return 1
  check 'cp -p /tvs/releases/package_version /tvs/releases/previous/package_version' || return 1
  check '[ ! -d /tvs/releases/current ] || cp -a /tvs/releases/current/. /tvs/releases/previous/current/' || return 1
  check 'touch /tvs/releases/update_pending' || return 1
  value 'echo true' >/dev/null || return 1              # Rollback=true, as ours sends it
  check 'rm -rf /tvs/releases/current && cp -a /tmp/tvs_update/payload /tvs/releases/current' || return 1
  check 'cp /tmp/tvs_update/package_version /tvs/releases/package_version' || return 1
  check 'rm -rf /tmp/tvs_update /tmp/tvs_update.tgz' || return 1
  serial=$(value 'cat /tvs/etc/serial') || return 1
  peer_before=$EPOCHREALTIME
  peer_reboot || return 1
  peer_after=$EPOCHREALTIME
  check 'sh /tvs/releases/current/bin/selftest' || return 1
  check "grep -qx \"package: $version\" /tvs/releases/package_version" || return 1
  check 'rm -f /tvs/releases/update_pending' || return 1
  run "echo Package $version is installed"
}

peer_upgrade() {
  local t0 t1
  echo "--- peer upgrade" >>"$LOG"
  t0=$EPOCHREALTIME
  if ! peer_steps; then
    BM_FAILED[peer]=$((${BM_FAILED[peer]:-0} + 1))
    return 1
  fi
  t1=$EPOCHREALTIME
  peer+=($(($(us "$t1") - $(us "$t0") - ($(us "$peer_after") - $(us "$peer_before")))))
  echo "--- peer: ${peer[-1]} us without the reboot" >>"$LOG"
}

installed() { value 'sed -n "s/^package: *//p" /tvs/releases/package_version'; }

say "upgrade of $HOST with $(basename "$PACKAGE"), $RUNS runs each, reboot excluded"
ours=(); peer=(); wrong=0
for ((i = 0; i < RUNS; i++)); do
  for side in ours peer; do
    ((i % 2)) && side=$([ $side = ours ] && echo peer || echo ours)
    "${side}_upgrade" && [ "$(installed)" != 2.5.0 ] && wrong=$((wrong + 1))
    put_back || die "cannot put back the software of $HOST"
  done
done
note="$(failures_note ours peer)$RUNS runs each; SSH calls: 24 outside the reboot on both sides"
[ $wrong -eq 0 ] || note="$wrong runs did not leave 2.5.0 installed; $note"
row_time "whole upgrade of the sample package, reboot excluded" \
  "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 0.6 "$note"
finish
