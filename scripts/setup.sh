#!/usr/bin/env bash
# Installs, only when missing, every Debian package that building, testing and running
# Pelmar needs, and unpacks the FTP servers the tests run that cannot be installed beside
# vsftpd. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev libgl-dev libcanberra-dev libssl-dev libsecret-1-dev libsqlite3-dev libssh-dev
  dbus-daemon dbus-bin gnome-keyring libsecret-tools
  libgtest-dev libgmock-dev
  python3 python3-pyftpdlib python3-openssl vsftpd curl lftp bc openssl
  openssh-server openssh-client python3-paramiko
  desktop-file-utils appstream man-db
  libmemcached11 libmemcachedutil2 libhashkit2 libpcre2-posix3 libhiredis0.14
  clang libclang-rt-14-dev
  xvfb xauth xdotool imagemagick adwaita-icon-theme openbox
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
updated=0

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  updated=1
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# ProFTPD and Pure-FTPd for the real-server tests. Debian's packages conflict with vsftpd, so
# they are unpacked into the build tree instead of installed (the libraries ProFTPD needs are
# installed above).
servers="$(cd "$(dirname "$0")/.." && pwd)/build/servers"
if [ ! -x "$servers/usr/sbin/proftpd" ] || [ ! -x "$servers/usr/sbin/pure-ftpd" ] ||
   [ ! -x "$servers/usr/bin/pure-pw" ]; then
  echo "Unpacking proftpd-core and pure-ftpd into $servers"
  debs=$(mktemp -d)
  trap 'rm -rf "$debs"' EXIT
  if ! (cd "$debs" && apt-get download -qq proftpd-core pure-ftpd 2>/dev/null); then
    [ "$updated" -eq 1 ] || "${sudo_cmd[@]}" apt-get update -qq
    (cd "$debs" && apt-get download -qq proftpd-core pure-ftpd)
  fi
  mkdir -p "$servers"
  for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$servers"; done
fi
