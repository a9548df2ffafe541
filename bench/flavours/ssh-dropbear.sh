# ssh=dropbear: Debian's Dropbear on port 22 in place of sshd, root by
# password. Root's login shell is BusyBox sh with BusyBox's applets ahead of
# everything else on the PATH; Dropbear accepts only a shell listed in
# /etc/shells. Run by the instrument's init; ends in the server.
bb=/usr/local/lib/tvbench-busybox
if [ ! -x /usr/local/bin/tvbench-sh ]; then
  mkdir -p "$bb"
  /bin/busybox --install -s "$bb"
  # The bench's reboot stays the one that runs: BusyBox's own would end the
  # instrument for good.
  for a in reboot halt poweroff; do ln -sf /usr/sbin/reboot "$bb/$a"; done
  cat >/usr/local/bin/tvbench-sh <<SHELL
#!/bin/busybox sh
PATH=$bb:/usr/sbin:/usr/bin:/sbin:/bin
export PATH
exec /bin/busybox sh "\$@"
SHELL
  chmod 755 /usr/local/bin/tvbench-sh
  grep -qx /usr/local/bin/tvbench-sh /etc/shells || echo /usr/local/bin/tvbench-sh >>/etc/shells
fi
usermod -s /usr/local/bin/tvbench-sh root
mkdir -p /etc/dropbear
[ -s /etc/dropbear/dropbear_ed25519_host_key ] ||
  dropbearkey -t ed25519 -f /etc/dropbear/dropbear_ed25519_host_key >/dev/null 2>&1
exec /usr/sbin/dropbear -F -E -m -p 22 -P /run/dropbear.pid -r /etc/dropbear/dropbear_ed25519_host_key
