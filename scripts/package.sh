#!/usr/bin/env bash
# Builds the Debian package of Pelmar into build/release: pelmar_VERSION_ARCH.deb, with its
# dependencies worked out from the programs (dpkg-shlibdeps).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release -DPELMAR_BUILD_TESTS=OFF >/dev/null
cmake --build --preset release -j "$(nproc)" >/dev/null
(cd build/release && cpack -G DEB >/dev/null)
ls build/release/pelmar_*.deb
