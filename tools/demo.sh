#!/usr/bin/env bash
# The operator window against the simulated instruments of the bench.
#
# Brings the bench up (or uses the one already running, and then leaves it
# running), starts TavrinOperator inside the bench's operator namespace from
# the build's bin/ directory, where the update scripts, InstrumentConfig.json
# and the sample packages lie beside it, and takes the bench down again when
# the window closes.
#
# With a display the window is the operator's to use. Without one
# ($DISPLAY empty) TavrinOperatorDemo, the same window with a driver that is
# never shipped, runs under Xvfb on a DEMO_SCREEN screen (1366x768 unless
# set), takes the height that screen's desk offers (a 32 px panel and a
# title bar less), connects once to DEMO_ADDRESS (198.18.0.11 unless set),
# saves a screenshot to DEMO_SCREENSHOT (build/demo-window.png unless set),
# upgrades from DEMO_PACKAGE when that is set, restores when DEMO_RESTORE is
# 1, and closes. DEMO_SCALE (for instance 1.25) scales the window as a
# desktop's scaling does; DEMO_PALETTE=dark gives it a dark desktop palette.
set -eu

ROOT=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
BUILD=${BUILD:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
BIN=$BUILD/bin
BENCH=$ROOT/bench/bench
OPERATOR_NAMESPACE=/run/netns/${TVBENCH_NAME:-tvbench}

say() { echo "demo: $*"; }
fail() { echo "demo: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || fail "needs root: the bench lives in network namespaces"
demo_program=TavrinOperator
[ -n "${DISPLAY:-}" ] || demo_program=TavrinOperatorDemo
for f in $demo_program benchterm UpdatingScript_kfw.data UpdatingScript_kf4.data \
         InstrumentConfig.json; do
  [ -e "$BIN/$f" ] || fail "$BIN/$f is missing (make demo builds it)"
done

bench_started=0
xvfb_pid=
cleanup() {
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  if [ "$bench_started" -eq 1 ]; then
    say "taking the bench down"
    BUILD=$BUILD "$BENCH" down >/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -e "$OPERATOR_NAMESPACE" ]; then
  say "using the bench that is already running (it stays up afterwards)"
else
  say "bringing the bench up"
  bench_started=1
  BUILD=$BUILD "$BENCH" up
fi
"$BENCH" status

# Where the desktop would keep the user's runtime files.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR=/tmp/runtime-$(id -u)
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

# benchterm lies beside the operator program.
export TAVRINOPERATOR=$BIN

# A display of our own: the first free number from 90 on.
start_xvfb() {
  local n
  for n in $(seq 90 120); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 "${DEMO_SCREEN:-1366x768}x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
  done
  fail "Xvfb did not start"
}

if [ -n "${DISPLAY:-}" ]; then
  cat <<EOT
demo: the window opens now. Try:
  - IP 198.18.0.11 and Connect (a TVS-8010, family kfw), or 198.18.0.12 (TVS-9020, kf4)
  - DISCOVERY, then Discovery: lists the instruments of InstrumentConfig.json
  - a hostname and Apply; Upgrade from $BIN/packages/ (tvs80_*.kfw for the
    TVS-8010s, tvs90_*.kf4 for the TVS-9020); Restore puts the old software back
EOT
  [ "$bench_started" -eq 0 ] || say "the bench goes down when the window closes"
  "$BENCH" exec "$BIN/TavrinOperator"
else
  start_xvfb
  shot=${DEMO_SCREENSHOT:-$BUILD/demo-window.png}
  case $shot in /*) ;; *) shot=$PWD/$shot ;; esac
  say "no display: the window runs under Xvfb ($DISPLAY) and connects to ${DEMO_ADDRESS:-198.18.0.11}"
  [ -z "${DEMO_SCALE:-}" ] || export QT_SCALE_FACTOR=$DEMO_SCALE
  TAVRINOPERATOR_DEMO_FIT=1 \
  TAVRINOPERATOR_DEMO_PALETTE=${DEMO_PALETTE:-} \
  TAVRINOPERATOR_DEMO_CONNECT=${DEMO_ADDRESS:-198.18.0.11} \
  TAVRINOPERATOR_DEMO_SCREENSHOT=$shot \
  TAVRINOPERATOR_DEMO_UPGRADE=${DEMO_PACKAGE:-} \
  TAVRINOPERATOR_DEMO_RESTORE=${DEMO_RESTORE:-} \
  TAVRINOPERATOR_DEMO_EXIT=1 \
    timeout 900 "$BENCH" exec "$BIN/TavrinOperatorDemo" || fail "the window did not finish"
  [ -s "$shot" ] || fail "no screenshot was written"
  say "the window after the connect: $shot"
fi
