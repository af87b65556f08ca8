#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# orvik-repair.exe at a console, as a user types into it: in wine's console on a pseudo-terminal
# (console.py) under the code page of a French Windows (850) and under UTF-8 (65001), and in wine's
# console window on Xvfb, where the keys are X key presses (xdotool).
# Usage: wine_console_test.sh PROGRAM
set -uo pipefail
program=$(realpath "$1")
tests=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
source "$tests/../../scripts/xvfb.sh"
source "$tests/../../scripts/wine.sh"
trap 'orvik_wine_stop; kill ${ORVIK_XVFB_PID:-} 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
export LC_ALL=C.UTF-8

# The X server first: wine's desktop starts with the first program, and draws on it from then on.
orvik_start_xvfb "$work" 800x600 || exit 1
orvik_wine_prefix "$work/prefix" || { echo "FAIL: no wine prefix"; exit 1; }
wineserver -p
cd "$work" || exit 1
cp "$program" orvik-repair.exe

# console [WAIT KEYS CLOSE] CMD: runs `cmd /c CMD` on a pseudo-terminal (console.py); what it
# showed goes to `shown`.
console() { timeout 90 python3 "$tests/console.py" "${@:1:$#-1}" -- wine cmd /c "${!#}" >shown; }
# Wine's console on a terminal drops Ctrl+Z (Windows' conhost gives it to the program): these runs
# end with the terminal closed once the repaired line has shown.
# Started without a file, the program says what it waits for.
hint="orvik-repair: collez ou tapez le texte, puis Ctrl+Z et Entrée pour finir.
Pour des fichiers : orvik-repair FICHIER... ; aide : orvik-repair /?"
for page in 850 65001; do
    console "aide : orvik-repair /?" $'Ã©tÃ© crÃ¨me\r' "été crème" "chcp $page >nul & orvik-repair.exe"
    [ "$(cat shown)" = "$hint
Ã©tÃ© crÃ¨me
été crème" ] || fail "code page $page: $(cat shown)"
done
printf 'octet invalide\xff' >invalid.txt
printf '\xc3\xa9\xc3' >cut.txt
console "chcp 850 >nul & orvik-repair.exe invalid.txt cut.txt" || fail "a run with files: status $?"
[ "$(cat shown)" = "octet invalide�é�" ] || fail "bytes that are not UTF-8 at the end: $(cat shown)"

# In wine's console window, Enter, Ctrl+Z and Enter end what was typed (ConsoleInput's own test
# has Ctrl+Z within a line).
orvik_wine wineconsole cmd /c "chcp 850 >nul & orvik-repair.exe >typed.txt" &
console_pid=$!
# Once the program runs in this test's prefix (other tests may run theirs), its console window is
# there; keys typed before it reads wait.
for _ in $(seq 300); do
    for process in $(pgrep -f '^[^ ]*orvik-repair\.exe'); do
        grep -qz "^WINEPREFIX=$WINEPREFIX\$" "/proc/$process/environ" 2>/dev/null && break 2
    done
    sleep 0.1
done
desktop=$(timeout 30 xdotool search --sync --name 'Wine desktop$' | head -n1)
xdotool windowfocus --sync "$desktop"
xdotool type --delay 50 'l été' && xdotool key --delay 50 Return ctrl+z Return
timeout 35 tail --pid="$console_pid" -f /dev/null
kill "$console_pid" 2>/dev/null && fail "the program still waits after Ctrl+Z"
cmp -s typed.txt <(printf 'l été\r\n') || fail "typed: $(od -An -c typed.txt)"

[ "$failures" = 0 ] && echo "PASS"
exit $((failures > 0))
