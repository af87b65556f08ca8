#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The built orvik.exe under wine, in a wine virtual desktop on Xvfb, with xclip as the other end of
# the clipboard: xclip offers damaged text, the paste button and then the copy button are clicked
# with real X events (xdotool), and xclip reads the repaired text back while the program runs; then
# the program started with a file to open.
set -euo pipefail
program=$1
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
workdir=$(mktemp -d)
source "$here/xvfb.sh"
source "$here/wine.sh"
trap '[ -n "${WINEPREFIX:-}" ] && orvik_wine_stop; kill ${ORVIK_XVFB_PID:-} 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$workdir"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

orvik_start_xvfb "$workdir" 800x600 || fail "Xvfb did not start"
orvik_wine_prefix "$workdir/prefix" || fail "no wine prefix"

# Damaged text with the characters a careless path would change: no-break space (C2 A0), narrow
# no-break space (E2 80 AF), a tab, an emoji, a combining accent, and damage the repair leaves.
printf 'L'\''Ã©tÃ© Ã\xc2\xa0Paris\xe2\x80\xaf: cafÃ©, crÃ¨me, Ã§a, Ã®le\tâ€”\n2e ligne \xf0\x9f\x98\x80 e\xcc\x81\n' \
    >"$workdir/damaged"
printf 'L'\''été à\xc2\xa0Paris\xe2\x80\xaf: café, crème, ça, île\tâ€”\n2e ligne \xf0\x9f\x98\x80 e\xcc\x81\n' \
    >"$workdir/expected"

orvik_wine "$program" >"$workdir/orvik.log" 2>&1 &
orvik_pid=$!
desktop=$(timeout 60 xdotool search --sync --name 'Wine desktop$' | head -n1)
[ -n "$desktop" ] || fail "the wine desktop did not show"

# The window opens centred on the 800 x 600 desktop; with wine's default frame its client area
# starts at (167, 131). Both buttons are 249 x 17 pixels, 112 pixels in from the client's left.
paste=(403 147) # COLLER le presse papier ET CONVERTIR
copy=(403 475)  # COPIER le texte converti dans le presse papier

# repaired_after CLICKS...: clicks each button in turn (as a pair of coordinates) until the clipboard
# holds the repaired text, offering the damaged text before each round; the window takes a moment to
# show inside the desktop, or to read its file.
repaired_after() {
    local _ button
    for _ in $(seq 60); do
        xclip -selection clipboard -i "$workdir/damaged"
        for button in "$@"; do
            # shellcheck disable=SC2086
            xdotool mousemove --window "$desktop" $button click 1
            sleep 0.3
        done
        xclip -selection clipboard -o >"$workdir/copied" 2>/dev/null || true
        cmp -s "$workdir/copied" "$workdir/expected" && return 0
    done
    od -c "$workdir/copied" | head -20
    return 1
}
repaired_after "${paste[*]}" "${copy[*]}" || fail "the clipboard does not hold the repaired text"
kill -0 "$orvik_pid" 2>/dev/null || fail "the program ended"

# A file named on the command line ("orvik.exe lettre.txt", Explorer's "Open with"), with a
# byte-order mark: its text converted at once, which COPIER copies.
orvik_wine cmd /c taskkill /f /im orvik.exe >/dev/null 2>&1
wait "$orvik_pid" 2>/dev/null
printf '\xef\xbb\xbf' | cat - "$workdir/damaged" >"$workdir/lettre d'été.txt"
(cd "$workdir" && orvik_wine "$program" "lettre d'été.txt" >>"$workdir/orvik.log" 2>&1) &
repaired_after "${copy[*]}" || fail "the file named on the command line was not converted"
echo "PASS: pasted, converted and copied through a real clipboard; a file named on the command line"
