#!/usr/bin/env bash
# Starts a local demo FTP server (pyftpdlib on 127.0.0.1, serving a small demo folder) and
# shows Pelmar's engine at work on it through pelmar-cli. With --serve the server keeps
# running until Ctrl-C, so you can try pelmar-cli against it yourself; with --pelmar Pelmar
# opens connected to it (its local pane in the demo downloads folder); with --panes the two
# panes of the developer harness do.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release
cli=$build/tools/cli/pelmar-cli
demo=$build/demo-ftp
downloads=$build/demo-downloads

rm -rf "$demo" "$downloads"
mkdir -p "$demo/docs" "$demo/pictures" "$demo/empty folder" "$downloads"
printf 'Welcome to the Pelmar demo server.\n' > "$demo/README.txt"
printf 'Notes about nothing in particular.\n' > "$demo/docs/notes.txt"
head -c 1048576 /dev/urandom > "$demo/pictures/random.bin"

/usr/bin/python3 tests/support/servers/pyftpd.py --root "$demo" > "$build/demo-port" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$build/demo-port" ] && break
  sleep 0.1
done
port=$(head -n1 "$build/demo-port")
url="ftp://127.0.0.1:$port"
export PELMAR_HOME=${PELMAR_HOME:-$PWD/$build/demo-home}
echo "Demo FTP server: $url/ (anonymous, or user pelmar with password secret)"
echo
echo "\$ pelmar-cli -v ls $url/"
"$cli" -v ls "$url/"
echo
echo "\$ pelmar-cli get $url/pictures/random.bin $downloads/"
"$cli" get "$url/pictures/random.bin" "$downloads/"
cmp "$demo/pictures/random.bin" "$downloads/random.bin" && echo "random.bin downloaded intact."

if [ "${1:-}" = "--pelmar" ]; then
  echo
  echo "Opening Pelmar on $url/ (closing Pelmar stops the demo server)."
  (cd "$downloads" && "$OLDPWD/$build/src/mainwindow/pelmar" "$url/")
  exit 0
fi

if [ "${1:-}" = "--panes" ]; then
  echo
  echo "Opening the two panes on $url/ (close the window to stop)."
  "$build/tools/panes/pelmar-panes" "$url/" "$PWD/$downloads"
  exit 0
fi

if [ "${1:-}" = "--serve" ]; then
  echo
  echo "Serving $demo at $url/ until Ctrl-C."
  wait $server
fi
