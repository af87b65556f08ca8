#!/usr/bin/env bash
# The built program in Xvfb against clipboard owners that misbehave (clipboard_owner.py): for each
# row, paste with the button or with Ctrl+V, then check the message box that shows (by its title),
# how long it took to show, and both boxes' text afterwards (copied out with Ctrl+A, Ctrl+C).
set -euo pipefail
program=$1
here=$(dirname "$0")
workdir=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" ${ORVIK_XVFB_PID:-} 2>/dev/null || true; wait; rm -rf "$workdir"' EXIT
fail() { echo "FAIL: $*"; cat "$workdir/orvik.log" 2>/dev/null; exit 1; }

source "$here/../../scripts/xvfb.sh"
orvik_start_xvfb "$workdir" 800x600 || fail "Xvfb did not start"

source_text='Collez ici votre texte à convertir'
result_text='Votre texte sera converti ici.'
bom=$'\xef\xbb\xbf'
# mode | payload | keys: "paste" (the button) or "ctrl+v" | title of the box shown ("-": none) |
# source and result boxes afterwards
rows=(
    "hang|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "targets-only|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "die|$(head -c 300000 /dev/zero | tr '\0' x)|paste|orvik : erreur|$source_text|$result_text"
    "html|<p>Ã©tÃ© <b>chaud</b></p>|paste|-|Ã©tÃ© chaud|été chaud"
    "text|${bom}Ã©tÃ©|paste|-|${bom}Ã©tÃ©|${bom}été"
    "text|${bom}|paste|-|${bom}|${bom}"
    "text|${bom}Ã©|ctrl+v|-|${bom}Ã©|$result_text"
)

box_text() { # x y: the text of the box at that point, through the clipboard
    xdotool mousemove --window "$window" "$1" "$2" click 1 key ctrl+a ctrl+c
    sleep 0.3
    xclip -selection clipboard -o
}

for row in "${rows[@]}"; do
    IFS='|' read -r mode payload keys title source result <<<"$row"
    printf '%s' "$payload" >"$workdir/payload"
    "$program" >"$workdir/orvik.log" 2>&1 &
    orvik=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name '^orvik - tq 11/2007$' | head -n1 || true)
    [ -n "$window" ] || fail "the window did not show"
    /usr/bin/python3 "$here/clipboard_owner.py" "$mode" "$workdir/payload" >"$workdir/owner.log" &
    pids+=($!)
    for _ in $(seq 100); do grep -qs ready "$workdir/owner.log" && break; sleep 0.1; done
    grep -qs ready "$workdir/owner.log" || fail "$mode: the owner did not start"

    start=$(date +%s%N)
    if [ "$keys" = paste ]; then
        xdotool mousemove --window "$window" 236 16 click 1
    else
        xdotool mousemove --window "$window" 200 50 click 1 key ctrl+a ctrl+v
    fi
    if [ "$title" != - ]; then
        box=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n1 || true)
        elapsed=$((($(date +%s%N) - start) / 1000000))
        [ -n "$box" ] || fail "$mode: no box titled \"$title\""
        [ "$elapsed" -lt 4000 ] || fail "$mode: the box took $elapsed ms to show"
        sleep 0.3
        xdotool key Return
        echo "$mode: \"$title\" after $elapsed ms"
    fi
    sleep 0.5
    kill "${pids[-1]}" 2>/dev/null || true
    ! xdotool search --onlyvisible --name '^(orvik : erreur|Orvik : conversion)$' >/dev/null \
        || fail "$mode: an unexpected message box shows"
    got_source=$(box_text 200 50)
    got_result=$(box_text 200 200)
    [ "$got_source" = "$source" ] || fail "$mode: source box holds \"$got_source\""
    [ "$got_result" = "$result" ] || fail "$mode: result box holds \"$got_result\""
    kill -0 "$orvik" || fail "$mode: the program ended"
    kill "$orvik"
    wait "$orvik" 2>/dev/null || true
done
echo "PASS: every clipboard owner handled"
