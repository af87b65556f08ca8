#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Without a display, the program says so in one French line on stderr and exits non-zero, rather
# than Qt's English lines and an abort.
set -uo pipefail
program=$1
expected="orvik : impossible d'ouvrir la fenêtre, aucun affichage graphique n'est accessible."
out=$(mktemp)
trap 'rm -f "$out"' EXIT

check() { # a name, then how the environment is changed
    local name=$1 err code
    shift
    err=$(timeout 60 env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY "$@" "$program" 2>&1 >"$out" </dev/null)
    code=$?
    if [ "$code" -eq 0 ] || [ "$code" -eq 124 ] || [ -s "$out" ] || [ "$err" != "$expected" ]; then
        echo "FAIL $name: exit status $code, stdout: $(cat "$out"), stderr: $err"
        return 1
    fi
    echo "PASS $name: exit status $code, $err"
}

status=0
check "no DISPLAY at all" -u DISPLAY || status=1
check "DISPLAY naming no server" DISPLAY=:31999 || status=1
exit $status
