#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's screenshots of the window in Xvfb: as it opens (docs/fenetre.png), and after
# a damaged text has been pasted and converted (docs/fenetre-conversion.png).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

orvik_install_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_SCREENSHOT_PACKAGES[@]}" xclip
cmake --preset release >/dev/null
cmake --build --preset release -j "$(orvik_jobs)" >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

source scripts/xvfb.sh
orvik_start_xvfb "$work" 800x600
pids+=("$ORVIK_XVFB_PID")

./build/release/bin/orvik 2>/dev/null &
pids+=($!)
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^orvik - tq 11/2007$' | head -n1)
xdotool mousemove 790 590
sleep 0.5

shoot() { # file
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
    echo "wrote $1"
}

shoot docs/fenetre.png
printf 'Cet Ã©tÃ©, les Ã©lÃ¨ves ont reÃ§u leur carnet.\nLa fenÃªtre donne sur l'\''Ã®le ; quelle beautÃ© !\n' |
    xclip -selection clipboard -i 2>/dev/null
xdotool mousemove --window "$window" 236 16 click 1
xdotool mousemove 790 590
sleep 0.5
shoot docs/fenetre-conversion.png
