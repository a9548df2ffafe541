# reboot=noop: the command succeeds and nothing happens.
exit 0
