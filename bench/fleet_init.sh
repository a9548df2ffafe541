#!/usr/bin/env bash
# First process of one light fleet instrument: a portmapper and our VXI-11
# server, nothing else (no sshd, no root of its own).
#
# bench/bench starts it inside fresh network, mount and PID namespaces:
# usage `fleet_init.sh NAME STATE_DIR IDN`. It publishes its pid, gives
# itself a private /run (rpcbind keeps its socket and lock there), runs
# rpcbind and the server, and writes "up" to its state file. The bench links
# it to both networks from outside.
# SIGTERM ends it (the kernel then ends every process in its namespace).
set -u

name=$1
dir=$2/fleet/$name
idn=$3
server=$2/shared/tv_instrument_server

read -r hostpid _ </proc/self/stat
echo "$hostpid" >"$dir/init.pid.new" && mv "$dir/init.pid.new" "$dir/init.pid"
exec >>"$dir/init.log" 2>&1
trap 'exit 0' TERM INT

mount -t tmpfs -o mode=755 tmpfs /run || { echo "$name: no private /run"; exit 1; }
install -d -o _rpc -m 755 /run/rpcbind
echo 1 >/proc/sys/net/ipv6/conf/all/disable_ipv6
ip link set lo up

# Sleeps without blocking the TERM trap.
pause() {
  sleep "$1" &
  wait $!
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

registered() { rpcinfo -p 127.0.0.1 | grep -qw 395183; }

rpcbind -f &
wait_for 100 rpcinfo -p 127.0.0.1 || { echo "$name: rpcbind is not answering"; exit 1; }
"$server" --idn "$idn" &
wait_for 100 registered || { echo "$name: the VXI-11 server did not register"; exit 1; }
echo up >"$dir/state.new" && mv "$dir/state.new" "$dir/state"
while :; do pause 3600; done
