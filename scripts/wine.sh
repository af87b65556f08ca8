# SPDX-License-Identifier: MIT
# Sourced by the scripts and tests that run Windows programs under wine.
#
# orvik_wine_prefix DIR: makes DIR a wine prefix and points WINEPREFIX at it: a copy of the prefix
# ORVIK_WINE_TEMPLATE when there is one (made once by `orvik_wine_template DIR`), a new one
# otherwise. orvik_wine ARGS: runs wine. orvik_wine_stop: ends the prefix's wine server.
export WINEDEBUG=${WINEDEBUG:--all}
# No prompt to download Mono or Gecko while a prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

orvik_wine() {
    if command -v wine64 >/dev/null 2>&1; then wine64 "$@"; else wine "$@"; fi
}

orvik_wine_template() { # DIR
    rm -rf "$1"
    mkdir -p "$1"
    local dir
    dir=$(cd "$1" && pwd)
    # Every program runs in a virtual desktop: one X window holding all of its windows, which
    # spares the waits wine makes for a window manager when there is none.
    WINEPREFIX=$dir orvik_wine wineboot --init \
        && WINEPREFIX=$dir orvik_wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
        && WINEPREFIX=$dir orvik_wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default \
            /d 800x600 /f \
        && WINEPREFIX=$dir wineserver --wait
}

orvik_wine_prefix() { # DIR
    export WINEPREFIX=$1
    if [ -n "${ORVIK_WINE_TEMPLATE:-}" ] && [ -d "$ORVIK_WINE_TEMPLATE" ]; then
        # Hard links: the prefix is several hundred MB of libraries nobody writes to. The registry
        # files are rewritten, so they are real copies. Where the prefix is on another file system
        # than the template (a /tmp in memory), a whole copy.
        cp -al "$ORVIK_WINE_TEMPLATE" "$WINEPREFIX" 2>/dev/null \
            || { rm -rf "$WINEPREFIX" && cp -a "$ORVIK_WINE_TEMPLATE" "$WINEPREFIX"; } || return
        local reg
        for reg in "$WINEPREFIX"/*.reg; do
            cp --remove-destination "$ORVIK_WINE_TEMPLATE/${reg##*/}" "$reg"
        done
    else
        orvik_wine_template "$WINEPREFIX" >/dev/null 2>&1
    fi
}

orvik_wine_stop() {
    wineserver --kill 2>/dev/null || true
}
