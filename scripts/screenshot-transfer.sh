#!/usr/bin/env bash
# Makes docs/images/transfer.png: Pelmar downloading two large files from a local test server
# that sends slowly, with the progress window and the transfer manager open, under a virtual
# display (with openbox as window manager where it is installed). Expects a built pelmar:
# build/release, or the build folder named by PELMAR_BUILD; PELMAR_SHOT_DISPLAY picks the
# display (:97 by default).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${PELMAR_BUILD:-build/release}")
display=${PELMAR_SHOT_DISPLAY:-:97}
work=$(mktemp -d)
# Inside the build folder, so that the local pane shows a readable path.
downloads=$PWD/build/Downloads
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work" "$downloads"' EXIT

# Two large files (sparse: nothing is written to disk) and a few small ones; one connection
# at a time, so that the second file waits in the queue.
mkdir -p "$work/server/docs" "$work/home" "$downloads"
truncate -s 64M "$work/server/photos-2026.zip"
truncate -s 48M "$work/server/backup-2026-11.tar.gz"
printf 'Welcome to the Pelmar test server.\n' > "$work/server/README.txt"
printf 'Notes about nothing in particular.\n' > "$work/server/docs/notes.txt"
export PELMAR_HOME=$work/home
printf '[Connection]\nSimultaneousTransfers=1\n' > "$PELMAR_HOME/pelmar.ini"
printf '[Windows]\nMain\\Left=0\nMain\\Top=22\nMain\\Width=1200\nMain\\Height=470\nMain\\HostViewStyle=3\nMain\\LocalViewStyle=3\nMain\\LogHeight=110\n' \
  > "$PELMAR_HOME/pelmar-window.ini"

Xvfb "$display" -screen 0 1200x800x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do
  xdpyinfo >/dev/null 2>&1 && break
  sleep 0.1
done
if command -v openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  pids+=($!)
fi

# About 2 MB a second: slow enough to catch the first file a quarter of the way.
/usr/bin/python3 tests/support/servers/pyftpd.py --root "$work/server" --rate 2000000 \
  > "$work/port" &
pids+=($!)
for _ in $(seq 100); do
  [ -s "$work/port" ] && break
  sleep 0.1
done
port=$(head -n1 "$work/port")

(cd "$downloads" && exec "$build/src/mainwindow/pelmar" "ftp://127.0.0.1:$port/") \
  >/dev/null 2>&1 &
pids+=($!)
# The main window by its title (Qt's hidden leader window is also called "Pelmar").
window=
for _ in $(seq 300); do
  window=$(xdotool search --onlyvisible --name "^127\.0\.0\.1 - Pelmar$" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "Pelmar did not open"; exit 1; }
sleep 3
# Both files in the server pane (after the folder "docs"), then Download (Ctrl+D) and the
# transfer manager (Ctrl+G), which opens below the main window.
xdotool mousemove 760 263 click 1 sleep 0.3 key shift+Down
sleep 0.5
xdotool key ctrl+d
sleep 1
progress=$(xdotool search --onlyvisible --name "Transferred - Pelmar$" | head -n1 || true)
[ -n "$progress" ] || { echo "No transfer started"; exit 1; }
xdotool windowactivate --sync "$window" key ctrl+g
sleep 1
# The progress window in front, beside the manager; then figures for a few seconds.
xdotool windowmove "$progress" 830 515 windowactivate "$progress"
sleep 6
mkdir -p docs/images
import -window root png8:docs/images/transfer.png
echo "docs/images/transfer.png"
