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
    -resize "${size}x${size}" -define png:exclude-chunks=date,time "data/icons/$size/pelmar.png"
done

# The toolbar's own Connect and Connect to URL icons, for desktops whose icon theme has
# neither (the style's stand-ins are small bitmaps that look soft on high-density screens).
mkdir -p data/toolbar
for size in 16 32 64; do
  # Connect: a server with a green link light.
  convert -size 256x256 xc:none \
    -fill '#4a6f9c' -draw 'roundrectangle 40,24 216,104 16,16' \
    -draw 'roundrectangle 40,120 216,200 16,16' \
    -fill '#ffffffcc' -draw 'rectangle 64,56 152,72' -draw 'rectangle 64,152 152,168' \
    -fill '#3bbf5a' -draw 'circle 184,64 196,64' -draw 'circle 184,160 196,160' \
    -fill '#4a6f9c' -draw 'rectangle 120,200 136,232' -draw 'rectangle 64,224 192,240' \
    -resize "${size}x${size}" -define png:exclude-chunks=date,time "data/toolbar/connect-$size.png"
  # Connect to URL: a globe.
  convert -size 256x256 xc:none \
    -fill '#3b83c4' -stroke '#1f5d94' -strokewidth 12 -draw 'circle 128,128 128,24' \
    -fill none -stroke '#ffffff' -strokewidth 10 -draw 'ellipse 128,128 44,98 0,360' \
    -draw 'line 34,128 222,128' -draw 'line 52,80 204,80' -draw 'line 52,176 204,176' \
    -draw 'line 128,32 128,224' \
    -resize "${size}x${size}" -define png:exclude-chunks=date,time "data/toolbar/url-$size.png"
done
