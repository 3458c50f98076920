#!/usr/bin/env bash
# Sets up the machine, builds Pelmar and starts it connected to a local demo FTP server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
# Pelmar is a desktop program: it opens connected to the demo server. Without a display
# there is nothing to show it on; pelmar-cli shows the engine at work instead.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec scripts/demo.sh --pelmar
fi
echo "No display here: Pelmar is a desktop program and needs one (X11 or Wayland)."
echo "To run the tests instead: scripts/test.sh"
echo "Meanwhile, pelmar-cli against the demo server:"
exec scripts/demo.sh
