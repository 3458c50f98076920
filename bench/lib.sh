# Shared by the benchmark scripts: build pelmar-cli, start vsftpd on loopback (active and passive mode,
# anonymous read/write over $root), timing helpers. Needs root (vsftpd).

bench_setup() {
  scripts/setup.sh
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" >/dev/null
  cli=$PWD/build/release/tools/cli/pelmar-cli
  # BENCH_TMP=/dev/shm takes the disk out of the measurement.
  work=$(mktemp -d "${BENCH_TMP:-/tmp}/pelmar-bench-XXXXXX")
  root=$work/root
  mkdir -p "$root" "$work/empty" "$work/local" "$work/home"
  chmod 777 "$root"
  # Default preferences: binary for these file names, 90 s time-out.
  export PELMAR_HOME=$work/home
}

# start_vsftpd [name [extra configuration lines]]: sets port, url and server.
start_vsftpd() {
  local name=${1:-vsftpd}
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$work/$name.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=YES
local_enable=NO
anon_root=$root
no_anon_password=YES
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_world_readable_only=NO
run_as_launching_user=YES
seccomp_sandbox=NO
secure_chroot_dir=$work/empty
connect_from_port_20=NO
pasv_enable=YES
port_enable=YES
xferlog_enable=NO
max_per_ip=0
max_clients=0
${2:-}
CONF
  /usr/sbin/vsftpd "$work/$name.conf" 0>&2 &
  server=$!
  trap bench_cleanup EXIT
  for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
  done
  url="ftp://127.0.0.1:$port"
}

bench_cleanup() {
  kill "$server" 2>/dev/null || true
  pkill -f "$work/vsftpd" 2>/dev/null || true
  rm -rf "$work"
}

seconds() { # command... -> elapsed seconds
  local start end
  # Write back what earlier steps left dirty, so that no run pays for another's disk writes.
  sync
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
