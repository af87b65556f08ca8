#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Derives the PNG (Linux desktops, the window) and the ICO (Windows) from orvik.xpm, the icon's
# source. Needs ImageMagick; run it after editing the XPM and commit the three files together.
set -euo pipefail
cd "$(dirname "$0")"
convert orvik.xpm -strip orvik.png
convert orvik.xpm -define icon:auto-resize=32 orvik.ico
