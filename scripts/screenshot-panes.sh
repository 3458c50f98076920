#!/usr/bin/env bash
# Makes docs/images/panes.png: the two panes (the developer harness) on the demo server under
# a virtual display, with a folder opened and files selected, as a person would see them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
display=:97
Xvfb "$display" -screen 0 1180x760x24 >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
scripts/demo.sh --panes >/dev/null 2>&1 &
demo=$!
trap 'kill $demo $xvfb 2>/dev/null || true; pkill -f "pelmar-panes ftp://127.0.0.1" || true' EXIT
for _ in $(seq 100); do
  window=$(xdotool search --name "Pelmar panes" 2>/dev/null | head -n1 || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "the panes did not open"; exit 1; }
xdotool windowmove "$window" 0 0 windowsize "$window" 1180 760
sleep 1.5
# Into "pictures" on the remote side, back up, and the whole folder selected.
xdotool mousemove 900 95 click 1 sleep 0.3 key Down Down Return
sleep 1
xdotool key BackSpace
sleep 1
xdotool key ctrl+a
sleep 0.5
mkdir -p docs/images
import -window root -crop 1180x760+0+0 docs/images/panes.png
echo "docs/images/panes.png"
