#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs: the programs
# run (--version), the desktop entry and the AppStream metadata validate, the icon, the
# metadata and the manual pages are where desktops and man look for them.
# Usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "FAIL: $*"; exit 1; }
for f in bin/pelmar bin/pelmar-cli \
  share/applications/io.github.pelmar.Pelmar.desktop \
  share/metainfo/io.github.pelmar.Pelmar.metainfo.xml \
  share/icons/hicolor/scalable/apps/pelmar.svg \
  share/icons/hicolor/48x48/apps/pelmar.png share/icons/hicolor/256x256/apps/pelmar.png \
  share/man/man1/pelmar.1 share/man/man1/pelmar-cli.1; do
  [ -s "$prefix/$f" ] || fail "missing $f"
done
"$prefix/bin/pelmar" --version | grep -qx 'pelmar [0-9.]*' || fail "pelmar --version"
"$prefix/bin/pelmar-cli" --version | grep -qx 'pelmar-cli [0-9.]*' || fail "pelmar-cli --version"
entry=$prefix/share/applications/io.github.pelmar.Pelmar.desktop
desktop-file-validate "$entry" || fail "desktop entry"
grep -qx 'Exec=pelmar %u' "$entry" || fail "Exec line"
for scheme in ftp ftps ftpes; do
  grep -q "x-scheme-handler/$scheme;" "$entry" || fail "no handler for $scheme://"
done
appstreamcli validate --no-net "$prefix/share/metainfo/io.github.pelmar.Pelmar.metainfo.xml" \
  || fail "AppStream metadata"
man -l "$prefix/share/man/man1/pelmar-cli.1" >/dev/null 2>&1 || fail "pelmar-cli.1 does not render"
echo "install tree OK"
