# ssh=legacy: OpenSSH offering only what old instruments offer: an RSA host
# key signed with ssh-rsa (SHA-1), diffie-hellman-group14-sha1, aes128-cbc
# and hmac-sha1. Run by the instrument's init; ends in the server.
[ -s /etc/ssh/ssh_host_rsa_key ] || ssh-keygen -q -t rsa -b 2048 -N '' -f /etc/ssh/ssh_host_rsa_key
exec /usr/sbin/sshd -D -E "$ctl/sshd.log" -o HostKey=/etc/ssh/ssh_host_rsa_key \
  -o HostKeyAlgorithms=ssh-rsa -o KexAlgorithms=diffie-hellman-group14-sha1 \
  -o Ciphers=aes128-cbc -o MACs=hmac-sha1
