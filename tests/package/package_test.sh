#!/usr/bin/env bash
# The Debian package end to end: built (tools/package.sh), checked with
# lintian, desktop-file-validate and appstreamcli, unpacked with dpkg-deb -x
# into a scratch root and run from there by an ordinary user inside the
# bench's operator namespace: a packaging run, connect on both families,
# discovery, an upgrade, the console and the window under Xvfb. Every file
# those runs write must land in the user's state directory, none beside the
# programs. Needs root (the user, the bench); usage: package_test.sh SOURCE BUILD
set -euo pipefail
src=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
user=tvoperator
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root"; exit 77; }

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "--- $*"; }

step "make package"
deb=$(BUILD=$build bash "$src/tools/package.sh")
step "lintian $(basename "$deb")"
status=0
lintian_out=$(lintian --fail-on error,warning "$deb" 2>&1) || status=$?
printf '%s\n' "$lintian_out" | grep -v 'running with root privileges' || true
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings"

scratch=$(mktemp -d /tmp/tvpackage.XXXXXX)
cleanup() { pkill -KILL -u "$user" -f "$root/usr" 2>/dev/null || true; rm -rf "$scratch"; }
trap cleanup EXIT
chmod 755 "$scratch"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
step "desktop-file-validate, appstreamcli"
desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null || fail "metainfo"
for page in TavrinOperator tavrinctl benchterm; do
  [ -s "$root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page $page(1)"
done

step "InstrumentConfig.json a conffile"
# The administrator's copy survives upgrades; the programs read it by its
# fixed name beside themselves, a link to it.
config=/etc/tavrinoperator/InstrumentConfig.json
[ "$(dpkg-deb -I "$deb" conffiles)" = "$config" ] || fail "conffiles: $(dpkg-deb -I "$deb" conffiles)"
[ -s "$root$config" ] || fail "no $config"
[ "$(readlink "$root/usr/lib/tavrinoperator/InstrumentConfig.json")" = "$config" ] ||
  fail "the program directory's InstrumentConfig.json does not name $config"
# Unpacked, not installed: the link is to lead into this root.
ln -sfn "$root$config" "$root/usr/lib/tavrinoperator/InstrumentConfig.json"

# The ordinary user, made once; each run starts from an empty state directory.
# Every run that uses the user takes this lock first, so two never meet.
exec 8>/tmp/tvpackage-test.lock
flock 8
id -u "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
home=$(getent passwd "$user" | cut -d: -f6)
state=$home/.local/state/TavrinOperator
rm -rf "$state" "$home/.config/TavrinOperator"
runtime=$scratch/runtime
install -d -m 700 -o "$user" "$runtime"
install -d -m 755 "$scratch/in"
cp "$build/examples/tvs80_2.5.0.tgz" "$scratch/in/"
chmod 644 "$scratch/in/"*
touch "$scratch/stamp"
sleep 1

lib=$root/usr/lib/tavrinoperator
# A login-like environment of the user, with the unpacked programs on the PATH.
as_user() {
  "$src/bench/bench" exec runuser -u "$user" -- env -i HOME="$home" USER="$user" \
    XDG_RUNTIME_DIR="$runtime" PATH="$root/usr/bin:/usr/bin:/bin" "$@"
}
expect() {  # expect TEXT FILE
  grep -qF -- "$1" "$2" || { cat "$2" >&2; fail "no \"$1\""; }
}
out=$scratch/out

step "packaging run"
as_user TavrinOperator -p "$scratch/in/tvs80_2.5.0.tgz" || fail "packaging run"
package=$state/tvs80_2.5.0.kfw
[ -s "$package" ] || fail "no package in $state"
if as_user TavrinOperator -p "$scratch/in/tvs80_2.5.0.tgz" -o "$lib/x.kfw" 2>"$out"; then
  fail "a packaging run that cannot write its output succeeds"
fi
[ "$(wc -l <"$out")" -eq 1 ] || { cat "$out"; fail "not one line on standard error"; }
expect "TavrinOperator: cannot write $lib/x.kfw" "$out"

step "tavrinctl connect, discover, upgrade"
as_user tavrinctl connect 198.18.0.11 >"$out" 2>&1 || { cat "$out"; fail "connect kfw"; }
expect "Model Number: TVS-8010" "$out"
as_user tavrinctl connect 198.18.0.12 >"$out" 2>&1 || { cat "$out"; fail "connect kf4"; }
expect "Model Number: TVS-9020" "$out"
as_user tavrinctl discover >"$out" 2>&1 || { cat "$out"; fail "discover"; }
expect "198.18.0.12 (Tavrin,TVS-9020" "$out"
as_user tavrinctl upgrade 198.18.0.13 "$package" >"$out" 2>&1 || { cat "$out"; fail "upgrade"; }
expect "status: Upgrading completed, the instrument is now rebooting." "$out"
# Back to the software the bench started with, for the tests after this one.
as_user tavrinctl restore 198.18.0.13 >"$out" 2>&1 || { cat "$out"; fail "restore"; }

step "benchterm"
printf '*IDN?\nq\n' | as_user benchterm rip=198.18.0.12 >"$out" 2>&1 || { cat "$out"; fail "benchterm"; }
expect "Tavrin,TVS-9020,TV9020B0002" "$out"

step "the window under Xvfb"
# Typed and clicked as an operator does: the first number of the address
# field, the address (a full number moves on by itself, '.' to the next),
# then Return, which presses the dialog's default button, Connect.
cat >"$scratch/window.sh" <<'WINDOW'
set -u
TavrinOperator & pid=$!
window=$(timeout 30 xdotool search --sync --name "Tavrin Operator" | head -1)
[ -n "$window" ] || { kill $pid; exit 1; }
sleep 1
# As at a keyboard: Alt+I chooses the address, Tab enters its first number.
xdotool windowfocus --sync "$window"
xdotool key alt+i Tab
xdotool type --delay 80 '198.18.0.11'
xdotool key Return
for _ in $(seq 30); do
  grep -q "Connecting to instrument IP" "$LOG" 2>/dev/null && break
  sleep 1
done
# The connect and the identity reading that follows it.
sleep 12
kill $pid; wait $pid
WINDOW
sshd_log=$("$src/bench/bench" state-dir)/i1/ctl/sshd.log
logins=$(grep -c Accepted "$sshd_log" || true)
as_user env LOG="$state/TavrinOperator.log" xvfb-run -a -s "-screen 0 1024x768x24" \
  bash "$scratch/window.sh" >"$out" 2>&1 || true
expect "Connecting to instrument IP (198.18.0.11)..." "$state/TavrinOperator.log"
if grep -q "failed\|error" "$state/TavrinOperator.log"; then
  cat "$state/TavrinOperator.log" "$out" >&2; fail "the window did not connect"
fi
# The credential probe and the connection check log in over SSH.
[ "$(grep -c Accepted "$sshd_log")" -ge $((logins + 2)) ] || fail "the window did not log in to i1"

step "where the runs wrote"
beside=$(find "$root" -newer "$scratch/stamp")
[ -z "$beside" ] || fail "written beside the programs: $beside"
# The host keys are the user's trust settings, kept in the configuration
# directory with the lock that orders the runs changing them; the desktop's
# libraries keep their caches (fontconfig's, for the window) in the user's
# cache directory; everything else belongs in the state directory.
elsewhere=$(find "$home" -newer "$scratch/stamp" -type f \
  ! -path "$state/*" ! -path "$home/.config/TavrinOperator/known_hosts" \
  ! -path "$home/.config/TavrinOperator/known_hosts.lock" ! -path "$home/.cache/*")
[ -z "$elsewhere" ] || fail "written outside $state: $elsewhere"
[ -s "$state/TavrinOperator.log" ] || fail "no operation log in $state"
echo "PASS"
