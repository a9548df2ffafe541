#!/bin/sh
# The instrument's reboot command: asks the instrument's init to restart it
# and returns at once, as a real reboot leaves its caller a moment to finish.
# The init takes the services and the links down and brings them back; the
# host is never touched. The reboot knob may choose another behaviour
# (flavours/reboot-VALUE.sh).
mode=$(sed -n 's/^reboot=//p' /run/tvbench/bench_knobs 2>/dev/null | tail -n 1)
flavour=/run/tvbench/bin/flavours/reboot-$mode.sh
[ -n "$mode" ] && [ -f "$flavour" ] && exec sh "$flavour"
echo reboot >/run/tvbench/cmd
