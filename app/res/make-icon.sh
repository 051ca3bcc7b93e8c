#!/usr/bin/env bash
# Draws the Kelvarin icon (a web page going down into a device) with
# ImageMagick. The PNGs and the Windows icon it writes are committed; run this
# only to change them.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
    -fill '#1d5fa8' -draw 'roundrectangle 12,12 244,244 44,44' \
    -fill white -draw 'polygon 64,36 148,36 184,72 184,136 64,136' \
    -fill '#b9d3f0' -draw 'polygon 148,36 184,72 148,72' \
    -stroke '#1d5fa8' -strokewidth 8 -draw 'line 84,70 136,70' -draw 'line 84,92 164,92' \
    -draw 'line 84,114 164,114' -stroke none \
    -fill '#ffc83d' -draw 'polygon 106,136 150,136 150,164 176,164 128,204 80,164 106,164' \
    -fill '#0d2f55' -draw 'roundrectangle 48,208 208,232 8,8' \
    -fill '#5ee07a' -draw 'circle 190,220 190,226' \
    -strip kelvarin-256.png
convert kelvarin-256.png -resize 48x48 -strip kelvarin-48.png
# The Windows program's icon: the sizes Explorer, the taskbar and the title
# bar ask for, 256 as PNG inside.
convert kelvarin-256.png -depth 8 -define icon:auto-resize=256,64,48,32,24,16 kelvarin.ico
