# reboot=hang: the command never returns; the instrument reboots under it.
echo reboot >/run/tvbench/cmd
while :; do sleep 60; done
