#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Derives every icon from orvik.xpm, the icon's one source (32 x 32): the PNGs of the hicolor theme
# for Linux desktops (icons/NxN.png, installed as apps/org.orvik.orvik.png at each size; 32 x 32
# is orvik.png, which the tests compare with the source) and the ICO for Windows. Sizes that are
# whole multiples of 32 repeat each pixel, so that the drawing stays sharp; the others are
# resampled. Needs ImageMagick; run it after editing the XPM and commit the files together.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p icons
convert orvik.xpm -strip orvik.png
for size in 16 24 48; do
    convert orvik.xpm -strip -filter Lanczos -resize "${size}x${size}" "icons/${size}.png"
done
for size in 64 128 256; do
    convert orvik.xpm -strip -filter Point -resize "${size}x${size}" "icons/${size}.png"
done
# Windows picks the entry nearest the size it draws: 16 (title bar), 24, 32, 48 (Explorer) and 256.
convert orvik.png icons/16.png icons/24.png icons/48.png icons/256.png orvik.ico
