#!/usr/bin/env bash
# Renders every dialog to docs/images/dialogs/*.png under a virtual display, at 100% and at
# 200% scaling (the "@2x" files), so their layouts can be looked at after each change.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target pelmar-dialog-shots >/dev/null
display=:97
Xvfb "$display" -screen 0 1600x1200x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display PELMAR_HOME=$(mktemp -d)
out=docs/images/dialogs
build/release/tools/dialog-shots/pelmar-dialog-shots "$out"
QT_SCALE_FACTOR=2 build/release/tools/dialog-shots/pelmar-dialog-shots "$out/2x"
