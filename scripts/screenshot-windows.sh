#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's screenshot of orvik.exe under wine (docs/fenetre-windows.png), after a damaged
# text has been pasted and converted.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
orvik_install_packages "${ORVIK_WINDOWS_PACKAGES[@]}" "${ORVIK_SCREENSHOT_PACKAGES[@]}"
cmake --preset windows >/dev/null
cmake --build --preset windows --target orvik -j "$(orvik_jobs)" >/dev/null

work=$(mktemp -d)
source scripts/xvfb.sh
source scripts/wine.sh
cleanup() {
    [ -n "${WINEPREFIX:-}" ] && orvik_wine_stop
    kill "${ORVIK_XVFB_PID:-}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

orvik_start_xvfb "$work" 800x600
[ -d build/windows/wine-prefix ] && export ORVIK_WINE_TEMPLATE=$PWD/build/windows/wine-prefix
orvik_wine_prefix "$work/prefix"
orvik_wine build/windows/bin/orvik.exe >/dev/null 2>&1 &
desktop=$(timeout 60 xdotool search --sync --name 'Wine desktop$' | head -n1)
sleep 3

printf 'Cet Ã©tÃ©, les Ã©lÃ¨ves ont reÃ§u leur carnet.\nLa fenÃªtre donne sur l'\''Ã®le ; quelle beautÃ© !\n' |
    xclip -selection clipboard -i 2>/dev/null
# COLLER, where the end-to-end test clicks it; then the pointer out of the way.
xdotool mousemove --window "$desktop" 403 147 click 1
xdotool mousemove --window "$desktop" 790 590
sleep 1
# The window with its frame: centred on the 800 x 600 desktop, in wine's default frame.
import -window root -crop 471x381+164+109 +repage docs/fenetre-windows.png
echo "wrote docs/fenetre-windows.png"
