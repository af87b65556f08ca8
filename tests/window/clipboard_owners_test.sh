#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The built program in Xvfb against clipboard owners, well-behaved or not (clipboard_owner.py): for
# each row, paste with the button or with Ctrl+V, then check the message box that shows (by its
# title), how long it took to show, and both boxes' text afterwards (copied out with Ctrl+A,
# Ctrl+C). One row pastes 20 MiB with little address space left (prlimit), but not under
# AddressSanitizer, which needs a vast address space of its own.
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
# mode | payload ("@N": N bytes of damaged lines; printf escapes in it and in the boxes' texts) |
# keys: "paste" (the button), "paste+copy" (then the copy button: the clipboard must hold the
# result box's text), "paste+close" (then a close request to the window during the wait: it ends
# once the box is closed) or "ctrl+v" | title of the box shown ("-": none) | source and result boxes
# afterwards ("*": not read) | address space left, in MiB. The 20 MiB text goes through when memory
# allows: refused, it is refused for memory.
# The paste+copy row carries what a careless path would change: no-break space, narrow no-break
# space, U+2028, a tab, line breaks, an emoji, a combining accent, and damage the repair leaves;
# Ctrl+C in its boxes must give them back exactly, as plain text alone. "ctrl+v", "shift+insert"
# and "menu" (the context menu opened, then closed) against a silent owner must leave the window
# frozen no longer than the paste button's bounded wait.
line1='Ã©tÃ© Ã\xc2\xa0Paris\xe2\x80\xaf: Ã§a, Ã®le\tâ€”\n2e\xe2\x80\xa8ligne \xf0\x9f\x98\x80 e\xcc\x81'
line2='été à\xc2\xa0Paris\xe2\x80\xaf: ça, île\tâ€”\n2e\xe2\x80\xa8ligne \xf0\x9f\x98\x80 e\xcc\x81'
rows=(
    "text|$line1|paste+copy|-|$line1|$line2"
    "hang|Ã©tÃ©|ctrl+v|-|$source_text|$result_text"
    "hang|Ã©tÃ©|shift+Insert|-|$source_text|$result_text"
    "hang|Ã©tÃ©|menu|-|$source_text|$result_text"
    "hang|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "hang|Ã©tÃ©|paste+close|orvik : erreur|*|*"
    "targets-only|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "die|@300000|paste|orvik : erreur|$source_text|$result_text"
    "text|@20971520|paste|-|*|*"
    "text|@20971520|paste|orvik : erreur|$source_text|$result_text|150"
    "html|<p>Ã©tÃ© <b>chaud</b></p>|paste|-|Ã©tÃ© chaud|été chaud"
    "text|${bom}Ã©tÃ©|paste|-|${bom}Ã©tÃ©|${bom}été"
    "text|${bom}|paste|-|${bom}|${bom}"
    "text|${bom}Ã©|ctrl+v|-|${bom}Ã©|$result_text"
)

answered() { # once the window has answered: the lower box's text selected, read as the primary selection
    xdotool mousemove --window "$window" 200 200 click 1 key ctrl+a
    timeout 30 xclip -selection primary -o >/dev/null 2>&1 || true
}
box_text() { # x y: the text of the box at that point, through the clipboard
    xdotool mousemove --window "$window" "$1" "$2" click 1 key ctrl+a ctrl+c
    sleep 0.3
    xclip -selection clipboard -o
}

for row in "${rows[@]}"; do
    IFS='|' read -r mode payload keys title source result room <<<"$row"
    if [ -n "$room" ] && ldd "$program" | grep -q libasan; then
        echo "$mode: skipped under AddressSanitizer"
        continue
    fi
    case $payload in
    @*) { yes 'Ã©tÃ© Ã  la mer, prÃ¨s du chÃ¢teau' || true; } | head -c "${payload#@}" ;;
    *) printf '%b' "$payload" ;;
    esac >"$workdir/payload"
    "$program" >"$workdir/orvik.log" 2>&1 &
    orvik=$!
    window=$(timeout 60 xdotool search --sync --onlyvisible --name '^orvik - tq 11/2007$' | head -n1 || true)
    [ -n "$window" ] || fail "the window did not show"
    if [ -n "$room" ]; then
        in_use=$(awk '{ print $1 * 4096 }' "/proc/$orvik/statm")
        prlimit --pid "$orvik" --as=$((in_use + room * 1024 * 1024))
    fi
    /usr/bin/python3 "$here/clipboard_owner.py" "$mode" "$workdir/payload" >"$workdir/owner.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 300); do grep -qs ready "$workdir/owner.log" && break; sleep 0.1; done
    grep -qs ready "$workdir/owner.log" || fail "$mode: the owner did not start: $(cat "$workdir/owner.log")"

    # How long the window takes to answer when nothing holds it: what a frozen window is told from.
    answer_start=$(date +%s%N)
    answered
    answer=$((($(date +%s%N) - answer_start) / 1000000))
    start=$(date +%s%N)
    case $keys in
    ctrl+v | shift+Insert) xdotool mousemove --window "$window" 200 50 click 1 key ctrl+a "$keys" ;;
    menu) xdotool mousemove --window "$window" 200 50 click 3 sleep 0.5 key Escape ;;
    *)
        xdotool mousemove --window "$window" 236 16 click 1
        [ "$keys" != paste+close ] || /usr/bin/python3 "$here/clipboard_owner.py" close "$window"
        ;;
    esac
    if [ "$mode" = hang ] && [ "$title" = - ]; then
        answered
        frozen=$((($(date +%s%N) - start) / 1000000 - answer))
        [ "$frozen" -lt 4000 ] || fail "$mode, $keys: the window froze for $frozen ms"
        echo "$mode, $keys: frozen for $frozen ms"
    fi
    if [ "$title" != - ]; then
        box=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n1 || true)
        elapsed=$((($(date +%s%N) - start) / 1000000))
        [ -n "$box" ] || fail "$mode: no box titled \"$title\""
        [ "$elapsed" -lt 4000 ] || fail "$mode: the box took $elapsed ms to show"
        sleep 0.3
        xdotool key Return
        echo "$mode, $keys: \"$title\" after $elapsed ms"
    fi
    if [ "$keys" = paste+close ]; then
        timeout 5 tail --pid="$orvik" -f /dev/null || fail "$mode: the close request was lost"
        continue
    fi
    sleep "$([ "$source$keys" = '*paste' ] && echo 5 || echo 0.5)"
    kill "${pids[-1]}" 2>/dev/null || true
    if [ "$keys" = paste+copy ]; then
        xdotool mousemove --window "$window" 236 344 click 1
        for _ in $(seq 50); do
            copied=$(xclip -selection clipboard -o 2>/dev/null || true)
            [ "$copied" = "$(printf '%b' "$result")" ] && break
            sleep 0.1
        done
        [ "$copied" = "$(printf '%b' "$result")" ] || fail "$mode: the copy button left \"$copied\""
    fi
    if unexpected=$(xdotool search --onlyvisible --name '^(orvik : erreur|Orvik : conversion)$'); then
        # A message box copies its text with Ctrl+C: the log says which error it was.
        xdotool windowactivate --sync "$(head -n1 <<<"$unexpected")" key ctrl+c 2>/dev/null || true
        sleep 0.3
        fail "$mode: an unexpected message box shows: $(xclip -selection clipboard -o 2>/dev/null)"
    fi
    if [ "$source" != '*' ]; then
        got_source=$(box_text 200 50)
        got_result=$(box_text 200 200)
        [ "$got_source" = "$(printf '%b' "$source")" ] || fail "$mode: source box holds \"$got_source\""
        [ "$got_result" = "$(printf '%b' "$result")" ] || fail "$mode: result box holds \"$got_result\""
        targets=$(xclip -selection clipboard -t TARGETS -o)
        ! grep -qiE 'html|markdown|opendocument' <<<"$targets" || fail "$mode: Ctrl+C offered $targets"
    fi
    kill -0 "$orvik" || fail "$mode: the program ended"
    kill "$orvik"
    wait "$orvik" 2>/dev/null || true
done
echo "PASS: every clipboard owner handled"
