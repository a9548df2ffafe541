#!/usr/bin/env bash
# A fleet upgrade at fleet size: one run of contrib/ansible/upgrade.yml
# upgrading 20 full instruments (`bench/bench fleet 20 --full`, family kfw)
# with forks 10 (all 20 in one batch, so forks alone bounds the runs at
# once), against the same playbook upgrading one of them alone. Each run's
# time is the whole ansible-playbook: per instrument a connect, the upgrade
# with its reboot (the bench's reboot_down, 3 s unless set) and the
# connect that reads the version back. Every instrument's software is put
# back after every run.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-2}
FORKS=${FORKS:-10}
need "$BIN/tavrinctl"
command -v ansible-playbook >/dev/null || die "ansible-playbook is missing (make deps installs ansible-core)"
PASSWORD=kdrun64
INVENTORY=$WORK/fleet_full_inventory.ini
export ANSIBLE_LOCAL_TEMP=$WORK/ansible_tmp ANSIBLE_HOST_KEY_CHECKING=False

on() { local i=$1; shift; sshpass -p "$PASSWORD" ssh "${SSH_OPTS[@]}" "root@${FULL_ADDRESS[$i]}" "$@"; }

put_back() {  # every instrument at once; each tried a few times
  local i
  for i in "${FULL_FLEET[@]}"; do
    (
      for n in 1 2 3 4 5; do
        on "$i" 'rm -rf /tvs/releases /tmp/tvs_update /tmp/tvs_update.tgz && tar -C /tvs -xf -' \
          <"$WORK/fleet_full_saved.tar" >>"$LOG" 2>&1 && exit 0
        sleep 1
      done
      say "could not put back the software of $i"
    ) &
  done
  wait
}
cleanup() {
  [ -s "$WORK/fleet_full_saved.tar" ] && put_back
  rm -f "$WORK/fleet_full_saved.tar"
  full_fleet_end
}
trap cleanup EXIT
full_fleet_up 20

{
  echo "[instruments]"
  for i in "${FULL_FLEET[@]}"; do echo "$i address=${FULL_ADDRESS[$i]}"; done
  echo "[instruments:vars]"
  echo "ansible_connection=local"
  echo "ansible_python_interpreter=/usr/bin/python3"
  echo "tavrinctl=$BIN/tavrinctl"
  echo "packages={\"kfw\": {\"path\": \"$BIN/packages/tvs80_2.5.0.kfw\", \"version\": \"2.5.0\"}}"
} >"$INVENTORY"
# Every full instrument starts with the same software: one copy serves all.
on f1 'tar -C /tvs -cf - releases' >"$WORK/fleet_full_saved.tar" 2>>"$LOG" &&
  [ -s "$WORK/fleet_full_saved.tar" ] || die "cannot save the software of f1"

playbook() {  # HOSTS COUNT: one run; fails unless every host changed and none failed
  local out
  out=$(ansible-playbook -i "$INVENTORY" "$ROOT_DIR/contrib/ansible/upgrade.yml" --forks "$FORKS" \
    -e canary=20 -e batch=20 -l "$1" 2>&1)
  echo "$out"
  [ "$(grep -Ec ' changed=1 +unreachable=0 +failed=0' <<<"$out")" -eq "$2" ]
}

say "upgrade of ${#FULL_FLEET[@]} full instruments in one playbook run (forks $FORKS) against one alone, $RUNS runs each"
ours=(); peer=()
all=$(IFS=,; echo "${FULL_FLEET[*]}")
for ((r = 0; r < RUNS; r++)); do
  if ((r % 2)); then
    timed peer playbook f1 1; put_back
    timed ours playbook "$all" ${#FULL_FLEET[@]}; put_back
  else
    timed ours playbook "$all" ${#FULL_FLEET[@]}; put_back
    timed peer playbook f1 1; put_back
  fi
done
down=$(sed -n 's/^reboot_down=//p' "$BENCH_STATE/f1/ctl/bench_knobs" 2>/dev/null | tail -n 1)
row_time "fleet upgrade of 20 full instruments in one playbook run / one alone" \
  "$(median "${ours[@]}")" "$(median "${peer[@]}")" "<=" 2.0 \
  "$(failures_note ours peer)$RUNS runs each; forks $FORKS, all 20 in one batch; reboots ${down:-3} s"
finish
