# ssh=rsa_only: OpenSSH with its default algorithms and an RSA host key only,
# as on hardened images: the key is offered with SHA-2 signatures
# (rsa-sha2-512, rsa-sha2-256) and never with SHA-1. Run by the
# instrument's init; ends in the server.
[ -s /etc/ssh/ssh_host_rsa_key ] || ssh-keygen -q -t rsa -b 2048 -N '' -f /etc/ssh/ssh_host_rsa_key
exec /usr/sbin/sshd -D -E "$ctl/sshd.log" -o HostKey=/etc/ssh/ssh_host_rsa_key \
  -o HostKeyAlgorithms=rsa-sha2-512,rsa-sha2-256
