# scp=none: no scp on the PATH that either SSH server gives a command, so
# running it fails with 127. Called with "on" or "off" by the instrument's
# init at boot and whenever the knob changes; the program is moved aside
# within the instrument's own files, never the host's.
hidden=/usr/local/lib/tvbench-hidden-scp
case $1 in
  on) [ -e /usr/bin/scp ] && mv /usr/bin/scp "$hidden" ;;
  off) [ -e "$hidden" ] && mv "$hidden" /usr/bin/scp ;;
esac
exit 0
