#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Quiet, idempotent, never prompts.
set -eu
pkgs=(
  cmake g++ make ninja-build pkg-config ccache
  libboost-regex-dev libboost-thread-dev nlohmann-json3-dev
  libtirpc-dev rpcsvc-proto libssh2-1-dev libssl-dev libgtest-dev libedit-dev
  qt6-base-dev xvfb xauth
  openssh-server openssh-client rpcbind sshpass lxi-tools iproute2 procps psmisc util-linux
  dropbear-bin busybox
  time coreutils
  ansible-core pylint pycodestyle yamllint python3-voluptuous
  clang libclang-rt-14-dev lld
  debhelper dpkg-dev fakeroot lintian desktop-file-utils appstream perl xdotool passwd
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run 'make deps' as root)" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null >/dev/null
