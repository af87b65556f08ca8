#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The built program in a real X server (Xvfb), with xclip as the other end of the clipboard:
# xclip offers damaged text, the paste button and then the copy button are clicked with real X
# events (xdotool), and xclip reads the repaired text back while the program still runs.
set -euo pipefail
program=$1
workdir=$(mktemp -d)
orvik_pid=
trap 'kill $orvik_pid ${ORVIK_XVFB_PID:-} 2>/dev/null || true; wait; rm -rf "$workdir"' EXIT
fail() { echo "FAIL: $*"; cat "$workdir/orvik.log" 2>/dev/null; exit 1; }

source "$(dirname "$0")/../../scripts/xvfb.sh"
orvik_start_xvfb "$workdir" 800x600 || fail "Xvfb did not start"

# Damaged text with the characters a careless path would change: no-break space (C2 A0), narrow
# no-break space (E2 80 AF), a tab, an emoji, a combining accent, and damage the repair leaves.
printf 'L'\''Ã©tÃ© Ã\xc2\xa0Paris\xe2\x80\xaf: cafÃ©, crÃ¨me, Ã§a, Ã®le\tâ€”\n2e ligne \xf0\x9f\x98\x80 e\xcc\x81\n' \
    >"$workdir/damaged"
printf 'L'\''été à\xc2\xa0Paris\xe2\x80\xaf: café, crème, ça, île\tâ€”\n2e ligne \xf0\x9f\x98\x80 e\xcc\x81\n' \
    >"$workdir/expected"
xclip -selection clipboard -i "$workdir/damaged"

"$program" >"$workdir/orvik.log" 2>&1 &
orvik_pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^orvik - tq 11/2007$' | head -n1)
[ -n "$window" ] || fail "the window did not show"

# Button centres, in the window's logical pixels: both buttons are 249 x 17 at x = 112.
xdotool mousemove --window "$window" 236 16 click 1  # COLLER le presse papier ET CONVERTIR
xdotool mousemove --window "$window" 236 344 click 1 # COPIER le texte converti dans le presse papier

for _ in $(seq 200); do
    xclip -selection clipboard -o >"$workdir/copied" 2>/dev/null \
        && cmp -s "$workdir/copied" "$workdir/expected" && break
    sleep 0.1
done
cmp -s "$workdir/copied" "$workdir/expected" \
    || fail "the clipboard does not hold the repaired text:$(echo; od -c "$workdir/copied")"
kill -0 "$orvik_pid" || fail "the program ended"
echo "PASS: pasted, converted and copied through a real clipboard"
