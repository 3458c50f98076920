#!/usr/bin/env bash
# Makes docs/images/main-window.png: Pelmar connected to the demo server, under a virtual
# display, with a remote folder opened and files selected, as a person would see it;
# docs/images/transfer.png, a download under way (see scripts/screenshot-transfer.sh); and
# every dialog in docs/images/dialogs/ (see scripts/dialog-shots.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
display=:98
Xvfb "$display" -screen 0 1100x720x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
# A data folder of its own, so the window opens as on a first run but larger.
export PELMAR_HOME=$(mktemp -d)
printf '[Windows]\nMain\\Left=0\nMain\\Top=0\nMain\\Width=1100\nMain\\Height=690\nMain\\HostViewStyle=3\nMain\\LocalViewStyle=3\nMain\\LogHeight=150\n' \
  > "$PELMAR_HOME/pelmar-window.ini"
scripts/demo.sh --pelmar >/dev/null 2>&1 &
demo=$!
trap 'kill $demo $xvfb 2>/dev/null || true; pkill -f "mainwindow/pelmar ftp://127.0.0.1" || true; rm -rf "$PELMAR_HOME"' EXIT
for _ in $(seq 100); do
  window=$(xdotool search --name "Pelmar" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "Pelmar did not open"; exit 1; }
sleep 2
# Into "pictures" on the server side, back up, and two entries selected.
xdotool mousemove 800 305 click 1 sleep 0.3 key Return
sleep 1
xdotool key BackSpace
sleep 1
xdotool key Down shift+Down
sleep 0.5
mkdir -p docs/images
import -window root -crop 1100x690+0+0 docs/images/main-window.png
echo "docs/images/main-window.png"
scripts/screenshot-transfer.sh
cmake --build --preset release -j "$(nproc)" --target pelmar-dialog-shots >/dev/null
PELMAR_HOME=$(mktemp -d) build/release/tools/dialog-shots/pelmar-dialog-shots docs/images/dialogs
