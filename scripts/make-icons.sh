#!/usr/bin/env bash
# Draws data/icons/N/pelmar.png at the sizes desktop menus use, with the same shapes as
# data/pelmar.svg (ImageMagick here has no SVG reader). Run after changing the icon.
set -euo pipefail
cd "$(dirname "$0")/.."
for size in 16 24 32 48 64 128 256; do
  mkdir -p "data/icons/$size"
  convert -size 512x512 xc:none \
    -fill '#3b6ea8' -draw 'roundrectangle 24,56 224,456 32,32' \
    -fill '#2f8f6b' -draw 'roundrectangle 288,56 488,456 32,32' \
    -fill '#ffffffd9' -draw 'roundrectangle 56,104 192,136 8,8' \
    -draw 'roundrectangle 56,168 192,200 8,8' -draw 'roundrectangle 56,232 152,264 8,8' \
    -draw 'roundrectangle 320,104 456,136 8,8' -draw 'roundrectangle 320,168 432,200 8,8' \
    -fill '#f2a93b' -stroke white -strokewidth 16 \
    -draw 'polygon 160,328 328,328 328,280 416,360 328,440 328,392 160,392' \
    -resize "${size}x${size}" "data/icons/$size/pelmar.png"
done
