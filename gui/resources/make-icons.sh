#!/usr/bin/env bash
# Draws the three icons of the program with ImageMagick. The .ico files are committed;
# run this again only to change a drawing.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT

# Panel row: a touch panel (dark frame, blue screen, a green "online" dot).
convert -size 32x32 xc:none \
  -fill '#37474f' -draw 'roundrectangle 2,5 29,26 3,3' \
  -fill '#4fc3f7' -draw 'rectangle 5,8 26,22' \
  -fill '#ffffff' -draw 'rectangle 8,11 17,13' -draw 'rectangle 8,16 22,18' \
  -fill '#43a047' -draw 'circle 24,25 27,25' \
  "$tmp/panel.png"
convert "$tmp/panel.png" \( +clone -resize 16x16 \) onlinesimulation.ico

# Search button: a magnifier.
convert -size 32x32 xc:none \
  -stroke '#455a64' -strokewidth 3 -fill '#e3f2fd' -draw 'circle 13,13 13,4' \
  -stroke '#455a64' -strokewidth 5 -draw 'line 20,20 28,28' \
  "$tmp/search.png"
convert "$tmp/search.png" \( +clone -resize 16x16 \) zoonfit.ico

# Application: a "V" on a blue tile with a small signal arc.
convert -size 64x64 xc:none \
  -fill '#1565c0' -draw 'roundrectangle 2,2 61,61 10,10' \
  -stroke white -strokewidth 7 -fill none -draw 'polyline 14,16 32,50 50,16' \
  -stroke '#90caf9' -strokewidth 3 -draw 'arc 40,4 60,24 270,360' \
  "$tmp/app.png"
convert "$tmp/app.png" \( +clone -resize 32x32 \) \( +clone -resize 16x16 \) vantelo.ico
cp "$tmp/app.png" vantelo.png   # the installed icon (hicolor 64x64)
echo "icons drawn"
