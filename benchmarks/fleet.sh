#!/usr/bin/env bash
# A fleet upgrade through Ansible: one run of contrib/ansible/upgrade.yml
# upgrading i1, i2 and i3 together (forks 3; both families), against the
# same playbook upgrading one instrument alone. The instruments do not take
# equally long (i2, of the kf4 family, first refuses the kfw password at
# every login), so the run alone is each one's in turn and the peer's time
# is the longest of the three: three together cost what the slowest costs
# alone when the runs do not wait for each other. Each run's time is the
# whole ansible-playbook, the scripts' reboots included; the reboots keep
# the instruments away 0 s (reboot_down) so that
# the runs stay short. Every instrument's software is put back after every run.
. "$(dirname "$0")/common.sh"
enter_bench "$@"
RUNS=${RUNS:-3}
need "$BIN/tavrinctl"
command -v ansible-playbook >/dev/null || die "ansible-playbook is missing (make deps installs ansible-core)"
FLEET=(i1 i2 i3)
declare -A ADDRESS=([i1]=198.18.0.11 [i2]=198.18.0.12 [i3]=198.18.0.13)
declare -A SECRET=([i1]=kdrun64 [i2]=Xmvot27 [i3]=kdrun64)
INVENTORY=$WORK/fleet_inventory.ini
export ANSIBLE_LOCAL_TEMP=$WORK/ansible_tmp ANSIBLE_HOST_KEY_CHECKING=False

{
  echo "[instruments]"
  for i in "${FLEET[@]}"; do echo "$i address=${ADDRESS[$i]}"; done
  echo "[instruments:vars]"
  echo "ansible_connection=local"
  echo "ansible_python_interpreter=/usr/bin/python3"
  echo "tavrinctl=$BIN/tavrinctl"
  echo "packages={\"kfw\": {\"path\": \"$BIN/packages/tvs80_2.5.0.kfw\", \"version\": \"2.5.0\"}, \"kf4\": {\"path\": \"$BIN/packages/tvs90_3.2.0.kf4\", \"version\": \"3.2.0\"}}"
} >"$INVENTORY"

on() { local i=$1; shift; sshpass -p "${SECRET[$i]}" ssh "${SSH_OPTS[@]}" "root@${ADDRESS[$i]}" "$@"; }

declare -A OLD_DOWN=()
for i in "${FLEET[@]}"; do
  OLD_DOWN[$i]=$(sed -n 's/^reboot_down=//p' "$BENCH_STATE/$i/ctl/bench_knobs" 2>/dev/null | tail -n 1)
  on "$i" 'tar -C /tvs -cf - releases' >"$WORK/fleet_saved_$i.tar" 2>>"$LOG" &&
    [ -s "$WORK/fleet_saved_$i.tar" ] || die "cannot save the software of $i"
done
put_back() {
  local i n
  for i in "${FLEET[@]}"; do
    for n in 1 2 3 4 5; do
      on "$i" 'rm -rf /tvs/releases /tmp/tvs_update /tmp/tvs_update.tgz /tmp/kf4_update /tmp/kf4_update.tgz && tar -C /tvs -xf -' \
        <"$WORK/fleet_saved_$i.tar" >>"$LOG" 2>&1 && break
      sleep 1
    done
  done
}
cleanup() {
  put_back
  for i in "${FLEET[@]}"; do
    "$BENCH" ctl "$i" "reboot_down=${OLD_DOWN[$i]}" >/dev/null
    rm -f "$WORK/fleet_saved_$i.tar"
  done
}
trap cleanup EXIT
for i in "${FLEET[@]}"; do "$BENCH" ctl "$i" reboot_down=0 >/dev/null || die "cannot set reboot_down on $i"; done

playbook() {  # HOSTS: one run; fails unless every host changed and none failed
  local out
  # The playbook's first batch is one instrument alone; here it is all three,
  # since the row measures runs side by side.
  out=$(ansible-playbook -i "$INVENTORY" "$ROOT_DIR/contrib/ansible/upgrade.yml" --forks 3 -e canary=3 \
    -l "$1" 2>&1)
  echo "$out"
  ! grep -Eq 'failed=[1-9]|unreachable=[1-9]|changed=0' <<<"$out"
}

ours=() peer=()
declare -A alone_of=()
for ((r = 0; r < RUNS; r++)); do
  timed ours playbook i1,i2,i3
  put_back
  alone=()
  for i in "${FLEET[@]}"; do
    timed alone playbook "$i" && alone_of[$i]+=" ${alone[-1]}"
    put_back
  done
  [ ${#alone[@]} -eq ${#FLEET[@]} ] && peer+=("$(printf '%s\n' "${alone[@]}" | sort -n | tail -n 1)")
done
each=""
for i in "${FLEET[@]}"; do
  m=$(median ${alone_of[$i]:-})
  [ -n "$m" ] && each+="$i $(awk -v v="$m" 'BEGIN { printf "%.1f s", v / 1e6 }'), "
done
row_time "fleet upgrade through one playbook run, i1+i2+i3 / slowest alone" "$(median "${ours[@]}")" \
  "$(median "${peer[@]}")" "<=" 1.5 "$RUNS runs each; alone: ${each}reboots 0 s; $(failures_note ours alone)"
finish
