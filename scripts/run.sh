#!/usr/bin/env bash
# Sets up the machine, builds Pelmar and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"
exec scripts/demo.sh
