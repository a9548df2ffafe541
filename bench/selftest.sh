#!/usr/bin/env bash
# Checks a running bench from the operator namespace with stock clients:
# OpenSSH ssh and scp, rpcinfo and lxi. Started by `bench/bench selftest`,
# which passes STATE, OPNS_PATH, BENCH, INSTRUMENT_TABLE and host_fingerprint.
# Prints PASS, FAIL or SKIP per check; exits 1 when a check failed.
set -u
: "${STATE:?}" "${OPNS_PATH:?}" "${BENCH:?}" "${INSTRUMENT_TABLE:?}"

VXI_PROGRAM=395183
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

pass() { echo "PASS  $*"; }
fail() { echo "FAIL  $*"; }
skip() { echo "SKIP  $*"; }
check() {  # DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
same() {  # DESCRIPTION GOT WANTED
  if [ "$2" = "$3" ]; then
    pass "$1"
  else
    fail "$1"
    echo "      got: $(echo "$2" | tr '\n' '|')"
  fi
}

op() { nsenter --net="$OPNS_PATH" "$@"; }
field() { echo "$INSTRUMENT_TABLE" | awk -v n="$1" -v f="$2" '$1 == n {print $f}'; }
password_of() { case $1 in kf4) echo Xmvot27 ;; *) echo kdrun64 ;; esac; }
other_password() { case $1 in kf4) echo kdrun64 ;; *) echo Xmvot27 ;; esac; }
idn_of() { echo "Tavrin,$(field "$1" 3),$(field "$1" 4),$(field "$1" 5)"; }

# The key exchange our programs use (libssh2's first choice); OpenSSH's
# own first choice, a post-quantum hybrid, costs both sides many times more.
SSH_OPTS=(-o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o LogLevel=ERROR
  -o ConnectTimeout=3 -o NumberOfPasswordPrompts=1 -o KexAlgorithms=curve25519-sha256)
# ssh_run PASSWORD ADDRESS AUTH COMMAND: AUTH is password or keyboard-interactive
ssh_run() {
  op sshpass -p "$1" ssh "${SSH_OPTS[@]}" -o PreferredAuthentications="$3" "root@$2" "$4" 2>/dev/null
}
ssh_ok() { ssh_run "$1" "$2" password true; }
host_key() { op ssh-keyscan -T 3 -t ed25519 "$1" 2>/dev/null | awk '{print $3}'; }
vxi_listed() { op rpcinfo -p "$1" 2>/dev/null | awk '{print $1}' | grep -qx "$VXI_PROGRAM"; }

have_server() { [ -x "$STATE/shared/tv_instrument_server" ]; }

# --- one instrument (run in parallel; the refused logins take seconds) ----

check_instrument() {
  local name=$1 family addr pw other out want
  family=$(field "$name" 2)
  addr=$(field "$name" 9 | cut -d, -f1)
  pw=$(password_of "$family")
  other=$(other_password "$family")

  want=$(printf '%s\n%s\n%s\n/root' "$name" "$(field "$name" 4)" "$(field "$name" 3)")
  out=$(ssh_run "$pw" "$addr" password 'hostname; cat /tvs/etc/serial /tvs/etc/model; pwd')
  same "$name: ssh root@$addr with the $family password (password auth) shows hostname, serial, model" \
    "$out" "$want"
  out=$(ssh_run "$pw" "$addr" keyboard-interactive 'echo ok')
  same "$name: keyboard-interactive login with the $family password" "$out" ok
  check "$name: the other family's password is refused" eval '! ssh_ok "$other" "$addr"'

  out=$(ssh_run "$pw" "$addr" password 'cut -d: -f1 /tvs/releases/package_version | tr "\n" " "')
  same "$name: /tvs/releases/package_version has package, driver, scpi and ui" \
    "$out" "package driver scpi ui "
  out=$(ssh_run "$pw" "$addr" password 'ls -A /root; echo /root:')
  local leaked
  leaked=$(comm -12 <(ls -A /root | sort) <(echo "$out" | sort) | tr '\n' ' ')
  check "$name: /root holds none of the host's files${leaked:+ (found: $leaked)}" \
    [ -z "$leaked" -a "${out##*$'\n'}" = /root: ]

  # yescrypt would cost every login of the tests a tenth of a second.
  check "$name: root's password is kept as SHA-512" grep -q '^root:\$6\$' "$STATE/$name/upper/etc/shadow"

  local file=$tmp/upload-$name.bin sum
  head -c 300000 /dev/urandom >"$file"
  sum=$(md5sum <"$file" | cut -d' ' -f1)
  if op sshpass -p "$pw" scp -O -q "${SSH_OPTS[@]}" "$file" "root@$addr:" 2>/dev/null; then
    out=$(ssh_run "$pw" "$addr" password "md5sum </root/upload-$name.bin; rm -f /root/upload-$name.bin")
    check "$name: scp -O upload arrives intact in the instrument's /root" [ "${out%% *}" = "$sum" ]
  else
    fail "$name: scp -O upload"
  fi
  check "$name: the upload did not reach the host's /root" [ ! -e "/root/upload-$name.bin" ]

  local second
  second=$(field "$name" 9 | cut -s -d, -f2)
  [ -n "$second" ] && check "$name: ssh on its second network at $second" ssh_ok "$pw" "$second"

  if have_server; then
    if [ "$(cat "$STATE/$name/ctl/vxi_state" 2>/dev/null)" = off ]; then
      skip "$name: rpcinfo -p lists $VXI_PROGRAM (vxi=off is set)"
    else
      check "$name: rpcinfo -p $addr lists the VXI-11 program $VXI_PROGRAM" vxi_listed "$addr"
    fi
  fi
}

# --- the VXI-11 side --------------------------------------------------------

check_discovery() {
  local out found want expected a name
  out=$(op lxi discover 2>&1)
  found=$(echo "$out" | sed -n 's/.*Found "\(.*\)" on address \(.*\)$/\2 \1/p' | sort -u)
  expected=$(for name in i1 i2 i3 i4; do
    for a in $(field "$name" 9 | tr , ' '); do echo "$a $(idn_of "$name")"; done
  done | sort -u)
  # i3 may be listed on its second network too, nothing else may be.
  want=$(echo "$expected" | grep -v '^198\.19\.')
  local extra missing
  extra=$(comm -23 <(echo "$found") <(echo "$expected"))
  missing=$(comm -13 <(echo "$found") <(echo "$want"))
  check "lxi discover finds i1..i4 with their *IDN? and nothing else" [ -z "$extra$missing" ]
  [ -n "$extra$missing" ] && echo "      found: $(echo "$found" | tr '\n' ';')"
}

check_vxi() {
  if ! have_server; then
    skip "VXI-11 checks: tv_instrument_server is not built"
    return
  fi
  local out busy=""
  for name in i1 i2 i3 i4; do
    [ "$(cat "$STATE/$name/ctl/vxi_state" 2>/dev/null)" = off ] && busy="$busy $name"
  done
  if [ -n "$busy" ]; then
    skip "lxi discover (vxi=off is set on$busy)"
  else
    check_discovery
  fi
  out=$(op lxi scpi -a 198.18.0.12 '*IDN?' 2>&1)
  same "lxi scpi -a 198.18.0.12 '*IDN?' answers $(idn_of i2)" "$out" "$(idn_of i2)"

  if [ "$(cat "$STATE/i2/ctl/vxi_state")" = on ]; then
    "$BENCH" ctl i2 vxi=off >/dev/null
    check "vxi=off: the portmapper of i2 no longer lists the VXI-11 program" eval '! vxi_listed 198.18.0.12'
    "$BENCH" ctl i2 vxi=on >/dev/null
    check "vxi=on: the VXI-11 program is back on i2" vxi_listed 198.18.0.12
  fi
}

# --- reboot -----------------------------------------------------------------

# Waits up to TENTHS tenths of a second for COMMAND to succeed.
within() {
  local n=$1
  shift
  until "$@"; do
    n=$((n - 1))
    [ "$n" -gt 0 ] || return 1
    sleep 0.1
  done
}

check_reboot() {
  local name=i4 pw=kdrun64 home moved=198.18.0.24 key before_down started took
  home=$(field "$name" 9)
  before_down=$(sed -n 's/^reboot_down=//p' "$STATE/$name/ctl/bench_knobs")
  key=$(host_key "$home")
  "$BENCH" ctl "$name" reboot_down=1 reboot_address="$moved" >/dev/null || { fail "ctl $name"; return; }

  ssh_run "$pw" "$home" password 'echo kept >/root/selftest-kept; touch /tmp/selftest-gone'
  started=$(date +%s%N)
  ssh_run "$pw" "$home" password reboot >/dev/null
  local rc=$?
  took=$((($(date +%s%N) - started) / 1000000))
  check "$name: 'reboot' over ssh returns at once (exit $rc after $took ms)" [ $rc -eq 0 -a $took -lt 3000 ]
  check "$name: goes away after the reboot command" within 50 eval '! ssh_ok "$pw" "$home"'
  check "$name: comes back at the new address $moved" within 200 ssh_ok "$pw" "$moved"
  check "$name: no longer answers at $home" eval '! ssh_ok "$pw" "$home"'
  same "$name: keeps its files but not /tmp across the reboot" \
    "$(ssh_run "$pw" "$moved" password 'cat /root/selftest-kept; rm /root/selftest-kept; ls /tmp')" kept
  check "$name: keeps its host key across the reboot" [ -n "$key" -a "$(host_key "$moved")" = "$key" ]
  if have_server && [ "$(cat "$STATE/$name/ctl/vxi_state")" = on ]; then
    check "$name: VXI-11 registered again at $moved" within 50 vxi_listed "$moved"
  fi

  "$BENCH" ctl "$name" reboot_address="$home" new_hostkey=1 >/dev/null
  ssh_run "$pw" "$moved" password reboot >/dev/null
  within 50 eval '! ssh_ok "$pw" "$moved"'
  check "$name: back home at $home after a second reboot" within 200 ssh_ok "$pw" "$home"
  check "$name: new_hostkey=1 brought a new host key" [ "$(host_key "$home")" != "$key" ]
  check "$name: the once-only knobs are cleared" \
    eval '! grep -q -e reboot_address -e new_hostkey "$STATE/$name/ctl/bench_knobs"'
  "$BENCH" ctl "$name" reboot_down="$before_down" >/dev/null
}

check_host() {
  check "the host's /etc/shadow and network are as before the bench" \
    eval 'host_fingerprint | cmp -s - "$STATE/host.before"'
}

{
  for name in i1 i2 i3 i4; do check_instrument "$name" >"$tmp/$name.out" 2>&1 & done
  wait
  cat "$tmp"/i?.out
  check_vxi
  check_reboot
  check_host
} 2>&1 | tee "$tmp/report"

count() { grep -c "^$1 " "$tmp/report"; }
echo "selftest: $(count PASS) passed, $(count FAIL) failed, $(count SKIP) skipped"
[ "$(count FAIL)" -eq 0 ]
