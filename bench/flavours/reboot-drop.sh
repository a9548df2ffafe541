# reboot=drop: the session that asked is cut before its command can report
# an exit status, then the instrument reboots. Run by the instrument's reboot
# command in place of its usual work.
echo reboot >/run/tvbench/cmd
# Every process between us and the listening server belongs to the session.
listener=$(cat /run/sshd.pid /run/dropbear.pid 2>/dev/null)
pid=$$
session=""
while :; do
  pid=$(awk '{print $4}' "/proc/$pid/stat" 2>/dev/null)
  [ -n "$pid" ] && [ "$pid" -gt 1 ] || break
  case " $listener " in *" $pid "*) break ;; esac
  session="$session $pid"
done
kill -KILL $session 2>/dev/null
sleep 5
