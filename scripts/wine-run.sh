#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows program under wine, alone: in its own copy of the prefix ORVIK_WINE_TEMPLATE and
# its own Xvfb, both gone when it ends; the exit status is the program's. CMake's cross builds use
# it as the emulator that runs their tests, side by side. `wine-run.sh --make-template DIR` makes
# the prefix to copy, unless DIR already holds one.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/xvfb.sh"
source "$here/wine.sh"

if [ "${1:-}" = --make-template ]; then
    [ -f "$2/system.reg" ] || orvik_wine_template "$2"
    exit
fi

work=$(mktemp -d)
cleanup() {
    orvik_wine_stop
    [ -n "${ORVIK_XVFB_PID:-}" ] && kill "$ORVIK_XVFB_PID" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

orvik_wine_prefix "$work/prefix" || { echo "wine-run.sh: no wine prefix" >&2; exit 1; }
orvik_start_xvfb "$work" "${ORVIK_WINE_DESKTOP:-1024x768}" || exit 1
# ORVIK_WINE_DPI: the screen's density, for a run at other than 96 dots per inch, on a virtual
# desktop of ORVIK_WINE_DESKTOP pixels (WxH) when given, large enough for the window at that density.
if [ -n "${ORVIK_WINE_DPI:-}" ]; then
    orvik_wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$ORVIK_WINE_DPI" \
        /f >/dev/null || exit 1
fi
if [ -n "${ORVIK_WINE_DESKTOP:-}" ]; then
    orvik_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d "$ORVIK_WINE_DESKTOP" \
        /f >/dev/null || exit 1
fi
# A desktop already started by `reg` would keep its old size: start afresh.
[ -n "${ORVIK_WINE_DPI:-}${ORVIK_WINE_DESKTOP:-}" ] && orvik_wine_stop
orvik_wine "$@"
