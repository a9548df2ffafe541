#!/usr/bin/env bash
# First process of one simulated instrument.
#
# bench/bench starts it inside fresh network, mount, UTS, IPC and PID
# namespaces: usage `instrument_init.sh NAME STATE_DIR`. It publishes its pid,
# builds the instrument's root (an overlay on the host's / whose upper layer
# lies in STATE_DIR/NAME), moves into it, and then runs the instrument's
# services: rpcbind, the VXI-11 server and sshd. It stays as the instrument's
# init, acting on the lines written to /run/tvbench/cmd:
#   reboot  take services and links down for reboot_down seconds, come back
#   vxi     start or stop the VXI-11 server as the vxi knob says
#   ssh     restart the SSH service as the ssh knob says
#   links   take the links down (vanish knob) or up again
#   flavours apply the flavours that change the instrument's files
# SIGTERM ends the instrument (the kernel then ends every process in it).
set -u

name=$1
dir=$2/$name
shared=$2/shared
ctl=/run/tvbench            # the instrument's view of $dir/ctl
flavours=$ctl/bin/flavours  # the flavours' files (bench/flavours)
# shellcheck source=/dev/null
. "$dir/ctl/instrument.conf"   # FAMILY PASSWORD IDN MODEL SERIAL VERSIONS LINKS

log() { echo "$(date +%T.%N | cut -c1-12) $name: $*"; }
die() { log "error: $*"; exit 1; }

# --- stage 1: still on the host's root ------------------------------------

read -r hostpid _ </proc/self/stat
echo "$hostpid" >"$dir/init.pid.new" && mv "$dir/init.pid.new" "$dir/init.pid"

root=$dir/root
# A whiteout for /root in the upper layer: the directory made over it below
# is opaque, so none of the host's files under /root show through.
mknod "$dir/upper/root" c 0 0 || die "cannot prepare /root"
mount -t overlay "tvbench-$name" \
  -o "lowerdir=/,upperdir=$dir/upper,workdir=$dir/work" "$root" || die "overlay mount failed"
[ "$(stat -f -c %T "$root")" = overlayfs ] || die "$root is not an overlay"
mkdir -m 700 "$root/root"

mount -t tmpfs -o mode=755 tmpfs "$root/run"
mkdir "$root/run/tvbench"
mount --bind "$dir/ctl" "$root/run/tvbench"
mount --bind "$shared" "$root/run/tvbench/bin"
mount -o remount,bind,ro "$root/run/tvbench/bin"
mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
mount --rbind /dev "$root/dev"
mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
# Private pseudo-terminals, so that interactive logins work without the host's.
if mount -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts "$root/dev/pts"; then
  mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"
fi
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"

cd "$root" || die "cannot enter $root"
pivot_root . . || die "pivot_root failed"
umount -l . || die "cannot detach the host's root"
cd / || exit 1

# --- stage 2: inside the instrument ---------------------------------------

# Everything below writes to the instrument's own files; make sure that is
# the overlay and never the host's root.
[ "$(stat -f -c %T /)" = overlayfs ] || die "/ is not the overlay; refusing to go on"

exec >>"$ctl/init.log" 2>&1
log "root ready"

write_files() {
  echo "$name" >/etc/hostname
  printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n' "$name" >/etc/hosts
  mkdir -p /tvs/releases /tvs/etc
  printf '%s\n' "$MODEL" >/tvs/etc/model
  printf '%s\n' "$SERIAL" >/tvs/etc/serial
  set -- $VERSIONS
  printf 'package: %s\ndriver: %s\nscpi: %s\nui: %s\n' "$1" "$2" "$3" "$4" \
    >/tvs/releases/package_version
  printf 'MODEL,%s\nDRIVER,%s\nSERVER,%s\n' "$MODEL" "$2" "$3" >/tvs/etc/system_info

  # sshd reads its drop-ins before the main file; the first setting wins.
  cat >/etc/ssh/sshd_config.d/00-instrument.conf <<'EOF'
# The instrument's service login: root by password or a one-prompt
# keyboard-interactive exchange, with host keys of the instrument's own.
AddressFamily inet
PermitRootLogin yes
PasswordAuthentication yes
KbdInteractiveAuthentication yes
UsePAM yes
PrintMotd no
PrintLastLog no
UseDNS no
HostKey /etc/ssh/ssh_host_ed25519_key
HostKey /etc/ssh/ssh_host_ecdsa_key
PidFile /run/sshd.pid
MaxStartups 64:30:128
EOF
  # A lean login: no message of the day, no mail notice.
  sed -i -e '/pam_motd\.so/s/^/# /' -e '/pam_mail\.so/s/^/# /' /etc/pam.d/sshd
  # A refused password is answered at once: the credential probe offers the
  # other family's password first, and two seconds per refusal would only
  # slow every test of a kf4 instrument.
  sed -i '/^auth.*pam_unix\.so/s/$/ nodelay/' /etc/pam.d/common-auth
  : >/etc/motd
  rm -f /usr/sbin/reboot
  install -m 755 /run/tvbench/bin/reboot /usr/sbin/reboot
  # SHA-512 as an embedded instrument's shadow holds it: PAM would choose
  # yescrypt, whose deliberate cost (a tenth of a second of processor time)
  # every one of the tests' logins would pay.
  echo "root:$PASSWORD" | chpasswd -c SHA512 || die "cannot set root's password"
}

make_host_keys() {
  rm -f /etc/ssh/ssh_host_* /etc/dropbear/dropbear_*_host_key   # the flavours make theirs again
  ssh-keygen -q -t ed25519 -N '' -C "root@$name" -f /etc/ssh/ssh_host_ed25519_key &&
    ssh-keygen -q -t ecdsa -N '' -C "root@$name" -f /etc/ssh/ssh_host_ecdsa_key ||
    die "cannot make host keys"
}

set_state() { echo "$1" >"$ctl/state.new" && mv "$ctl/state.new" "$ctl/state"; }

# Pauses without blocking the traps (a plain sleep would delay SIGTERM).
pause() {
  sleep "$1" &
  local p=$!
  while kill -0 "$p" 2>/dev/null; do wait "$p"; done
}

# The value of KEY in a KEY=VALUE file, or empty.
knob() { sed -n "s/^$2=//p" "$1" 2>/dev/null | tail -n 1; }

# Removes the once-only bench knobs after a reboot used them.
forget_knobs() {
  (
    flock 8
    grep -v -e '^reboot_address=' -e '^new_hostkey=' "$ctl/bench_knobs" >"$ctl/bench_knobs.new"
    mv "$ctl/bench_knobs.new" "$ctl/bench_knobs"
  ) 8>"$ctl/knobs.lock"
}

wait_for() {  # TENTHS COMMAND...: retries COMMAND every 0.1 s
  local n=$1
  shift
  while ! "$@" >/dev/null 2>&1; do
    n=$((n - 1))
    [ "$n" -gt 0 ] || return 1
    pause 0.1
  done
}

listening() { [ -n "$(ss -Hln "$1" "sport = :$2")" ]; }
registered() { rpcinfo -p 127.0.0.1 | grep -qw 395183; }

# A sanitizer build of the server reports into the instrument's own files
# (TVBENCH_SANITIZER_LOGS, set by tools/sanitize.sh): the host path of the
# run's other reports may lie under the instrument's /tmp or /root, which
# are its own and empty, and which a reboot clears.
if [ -n "${TVBENCH_SANITIZER_LOGS:-}" ]; then
  for v in ASAN_OPTIONS UBSAN_OPTIONS; do
    [ -n "${!v:-}" ] || continue
    kind=${v%%_*}
    export "$v=$(printf '%s' "${!v}" | sed "s|log_path=[^:]*|log_path=$TVBENCH_SANITIZER_LOGS/${kind,,}|")"
  done
fi

server_pid=""
start_server() {
  [ -n "$server_pid" ] && return 0
  if [ ! -x "$ctl/bin/tv_instrument_server" ]; then
    echo none >"$ctl/vxi_state"
    return 0
  fi
  "$ctl/bin/tv_instrument_server" --idn "$IDN" --knobs "$ctl/knobs" >>"$ctl/server.log" 2>&1 &
  server_pid=$!
  wait_for 50 registered || log "VXI-11 server did not register with rpcbind"
  echo on >"$ctl/vxi_state"
}

stop_server() {
  if [ -n "$server_pid" ]; then
    kill -TERM "$server_pid" 2>/dev/null
    wait_for 30 eval '! kill -0 '"$server_pid" || kill -KILL "$server_pid" 2>/dev/null
    server_pid=""
  fi
  [ -x "$ctl/bin/tv_instrument_server" ] && echo off >"$ctl/vxi_state"
}

apply_vxi() {
  if [ "$(knob "$ctl/bench_knobs" vxi)" = off ]; then stop_server; else start_server; fi
}

# The SSH service on port 22: sshd, or with ssh=kbdint an sshd that offers
# keyboard-interactive authentication only, with ssh=noexec an sshd that
# logs in and then refuses every command (it cannot fork), or with
# ssh=tarpit a listener that takes every connection and never says a word.
# Any other value is a flavour (flavours/ssh-VALUE.sh), which ends in its
# server. A restart leaves the sessions already running alone.
ssh_pid=""
ssh_mode=""
start_ssh() {
  ssh_mode=$(knob "$ctl/bench_knobs" ssh)
  # Root's shell is bash unless a flavour says otherwise.
  [ "$(getent passwd root | cut -d: -f7)" = /bin/bash ] || usermod -s /bin/bash root
  case $ssh_mode in
    tarpit)
      perl -MIO::Socket::INET -e '
        my $l = IO::Socket::INET->new(LocalPort => 22, Listen => 64, ReuseAddr => 1) or die "$!\n";
        my @held;
        while (my $c = $l->accept) { push @held, $c }' >>"$ctl/sshd.log" 2>&1 &
      ;;
    # Without re-executing itself for each connection (-r): a login costs
    # about a seventh less processor time, and the client sees the same
    # server.
    kbdint) /usr/sbin/sshd -D -r -E "$ctl/sshd.log" -o PasswordAuthentication=no & ;;
    noexec) LD_PRELOAD=$ctl/bin/tv_refuse_exec.so /usr/sbin/sshd -D -E "$ctl/sshd.log" & ;;
    "") /usr/sbin/sshd -D -r -E "$ctl/sshd.log" & ;;
    *) ctl=$ctl bash "$flavours/ssh-$ssh_mode.sh" >>"$ctl/sshd.log" 2>&1 & ;;
  esac
  ssh_pid=$!
  wait_for 50 listening -t 22 || log "nothing listens on port 22"
}

stop_ssh() {
  [ -n "$ssh_pid" ] || return 0
  kill -TERM "$ssh_pid" 2>/dev/null
  wait_for 30 eval '! listening -t 22' || kill -KILL "$ssh_pid" 2>/dev/null
  wait_for 30 eval '! listening -t 22'
  ssh_pid=""
}

# Links up, unless the vanish knob keeps the instrument off the network:
# down links send nothing, not even a reset, as with a pulled cable.
apply_links() {
  local state=up
  [ "$(knob "$ctl/bench_knobs" vanish)" = 1 ] && state=down
  for l in $LINKS; do ip link set "$l" "$state"; done
}

# The flavours that change the instrument's files (kind "file" in the
# table): each value's file is told "on" when the knob has that value and
# "off" otherwise.
apply_file_flavours() {
  local key values kind value v
  while read -r key values kind _; do
    [ "$kind" = file ] || continue
    value=$(knob "$ctl/bench_knobs" "$key")
    for v in ${values//|/ }; do
      if [ "$v" = "$value" ]; then sh "$flavours/$key-$v.sh" on; else sh "$flavours/$key-$v.sh" off; fi
    done
  done < <(grep -v '^#' "$flavours/table")
}

# A real reboot gives the kernel a new boot id; the instrument's own is a
# file over the host's, renewed on every boot.
new_boot_id() {
  cat /proc/sys/kernel/random/uuid >/run/tvbench-boot_id
  mountpoint -q /proc/sys/kernel/random/boot_id ||
    mount --bind /run/tvbench-boot_id /proc/sys/kernel/random/boot_id ||
    log "cannot give the instrument a boot id of its own"
}

boot() {
  set_state booting
  new_boot_id
  apply_file_flavours
  hostname "$(head -n 1 /etc/hostname)"
  apply_links
  rm -rf /run/rpcbind /run/rpcbind.* /run/sshd /run/sshd.pid
  install -d -o _rpc -m 755 /run/rpcbind
  install -d -m 755 /run/sshd
  rpcbind -f >>"$ctl/rpcbind.log" 2>&1 &
  wait_for 50 listening -u 111 || log "rpcbind is not listening"
  apply_vxi
  start_ssh
  set_state up
  log "up"
}

# Moves the address of the matching network to ADDRESS, on the same link.
move_address() {
  local want=$1 l a
  for l in $LINKS; do
    for a in $(ip -4 -o addr show dev "$l" | awk '{print $4}'); do
      if [ "${a%.*}" = "${want%.*}" ]; then
        ip addr del "$a" dev "$l"
        ip addr add "$want/24" brd + dev "$l"
        log "address $a -> $want"
        return 0
      fi
    done
  done
  log "no link on the network of $want; address unchanged"
}

reboot_cycle() {
  log "reboot"
  set_state rebooting
  pause 0.5                    # let the command that asked return to its caller
  server_pid=""
  ssh_pid=""
  kill -TERM -1 2>/dev/null    # every process but this one, like a shutdown
  wait_for 20 eval '! kill -0 -1' || kill -KILL -1 2>/dev/null
  wait_for 20 eval '! kill -0 -1'
  for l in $LINKS; do ip link set "$l" down; done
  find /tmp -mindepth 1 -maxdepth 1 -exec rm -rf {} +   # a tmpfs does not outlive a reboot
  local down address newkey
  down=$(knob "$ctl/bench_knobs" reboot_down)
  address=$(knob "$ctl/bench_knobs" reboot_address)
  newkey=$(knob "$ctl/bench_knobs" new_hostkey)
  forget_knobs
  set_state down
  pause "${down:-3}"
  [ -n "$address" ] && move_address "$address"
  [ "$newkey" = 1 ] && make_host_keys
  boot
}

trap 'log stopped; exit 0' TERM INT

echo 1 >/proc/sys/net/ipv6/conf/all/disable_ipv6
echo 1 >/proc/sys/net/ipv6/conf/default/disable_ipv6
ip link set lo up
write_files
make_host_keys
for l in $LINKS; do
  wait_for 100 ip link show "$l" || die "link $l never arrived"
done
echo 1 >/proc/sys/net/ipv6/conf/all/disable_ipv6

exec 3<>"$ctl/cmd"
boot
while :; do
  read -r command <&3 || continue
  case $command in
    reboot) reboot_cycle ;;
    vxi) apply_vxi ;;
    ssh)
      [ "$(knob "$ctl/bench_knobs" ssh)" = "$ssh_mode" ] || { stop_ssh; start_ssh; }
      touch "$ctl/ssh_applied"
      ;;
    links) apply_links; touch "$ctl/links_applied" ;;
    flavours) apply_file_flavours; touch "$ctl/flavours_applied" ;;
    *) log "unknown command: $command" ;;
  esac
done
