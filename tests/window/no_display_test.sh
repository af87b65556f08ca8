#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Without a display (none named, or one naming no server), the program says so in one French line
# on stderr and exits non-zero, rather than Qt's English lines and an abort.
set -uo pipefail
program=$1
expected="orvik : impossible d'ouvrir la fenêtre, aucun affichage graphique n'est accessible."
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
for change in "-u DISPLAY" DISPLAY=:31999; do
    # shellcheck disable=SC2086 # the change is two words or one
    err=$(timeout 60 env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY $change "$program" 2>&1 >"$out" </dev/null)
    code=$?
    if [ "$code" -eq 0 ] || [ "$code" -eq 124 ] || [ -s "$out" ] || [ "$err" != "$expected" ]; then
        echo "FAIL $change: exit status $code, stdout: $(cat "$out"), stderr: $err"
        status=1
    fi
done
exit $status
