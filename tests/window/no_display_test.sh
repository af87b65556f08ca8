#!/usr/bin/env bash
# Without a display, the program says so in one French line on stderr and exits non-zero, rather
# than Qt's English lines and an abort.
set -uo pipefail
program=$1
expected="orvik : impossible d'ouvrir la fenêtre, aucun affichage graphique n'est accessible."
workdir=$(mktemp -d)
trap 'rm -rf "$workdir"' EXIT

status=0
check() {
    local name=$1
    shift
    timeout 60 env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY "$@" "$program" \
        >"$workdir/out" 2>"$workdir/err" </dev/null
    local code=$?
    if [ "$code" -eq 0 ] || [ "$code" -eq 124 ]; then
        echo "FAIL $name: exit status $code"
        status=1
    elif [ -s "$workdir/out" ] || [ "$(cat "$workdir/err")" != "$expected" ]; then
        echo "FAIL $name: stdout:"
        cat "$workdir/out"
        echo "stderr:"
        cat "$workdir/err"
        status=1
    else
        echo "PASS $name: exit status $code, one line: $(cat "$workdir/err")"
    fi
}

check "no DISPLAY at all" -u DISPLAY
check "DISPLAY naming no server" DISPLAY=:31999
exit $status
