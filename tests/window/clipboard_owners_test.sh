#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The built program in Xvfb against clipboard owners, well-behaved or not (clipboard_owner.py): for
# each row, paste with the button or with Ctrl+V, then check the message box that shows (by its
# title), how long it took to show, and both boxes' text afterwards (copied out with Ctrl+A,
# Ctrl+C). One row pastes 20 MiB with little address space left (prlimit), but not under
# AddressSanitizer, which needs a vast address space of its own.
set -euo pipefail
screen_size=800x600
source "$(dirname "$0")/owner_rows.sh"
clip_in=(xclip -selection clipboard -i) clip_out=(xclip -selection clipboard -o)
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; }

# mode | payload ("@N": N lines of damaged prose; printf escapes in it and in the boxes' texts) |
# keys: "paste" (the button), "paste+copy" (then the copy button: the clipboard must hold the
# result box's text), "paste+close" (then a close request to the window during the wait: it ends
# once the box is closed), "open" (the payload's file named on the command line) or "ctrl+v" |
# title of the box shown ("-": none) | source and result boxes afterwards ("*": not read; "@": the
# payload's lines, damaged and repaired) | address space left, in MiB. The 20 MiB text goes
# through when memory allows: refused, it is refused for memory. Ctrl+C in the boxes must give
# line1's characters back exactly, as plain text alone. "ctrl+v", "shift+insert" and "menu" (the
# context menu opened, then closed) against a silent owner must leave the window frozen no longer
# than the paste button's bounded wait; an owner that sends its pieces 0.3 s apart is waited for
# piece by piece; plain text is taken before the HTML every owner but html's lists first. "middle"
# clicks the middle button in the upper box while no program holds the primary selection, and
# "display" starts the program with -display and no $DISPLAY: it must paste from that display.
rows=(
    "text|$line1|paste+copy|-|$line1|$line2"
    "text|Ã©tÃ©|middle|-|$source_text|$result_text"
    "text|Ã©tÃ©|display|-|Ã©tÃ©|été"
    "hang|Ã©tÃ©|ctrl+v|-|$source_text|$result_text"
    "hang|Ã©tÃ©|shift+Insert|-|$source_text|$result_text"
    "hang|Ã©tÃ©|menu|-|$source_text|$result_text"
    "hang|Ã©tÃ©|paste+close|orvik : erreur|*|*"
    "targets-only|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "die|@6000|paste|orvik : erreur|$source_text|$result_text"
    "slow|@20000|paste|-|@|@"
    "text|@411206|paste|-|@|@"
    "text|@411206|paste|orvik : erreur|$source_text|$result_text|150"
    "html|<meta charset='windows-1252'><p>\xc3\xa9t\xc3\xa9 <b>chaud</b> \x80</p>|paste|-|Ã©tÃ© chaud €|été chaud €"
    "text|${bom}Ã©|ctrl+v|-|${bom}Ã©|$result_text"
    "text|${bom}L'Ã©tÃ©|open|-|L'Ã©tÃ©|L'été"
)

answered() { # once the window has answered: the lower box's text selected, read as the primary selection
    xdotool mousemove --window "$window" 200 200 click 1 key ctrl+a
    for _ in $(seq 300); do
        timeout 120 xclip -selection primary -o >/dev/null 2>&1 && return
        sleep 0.1
    done
}
find_window() { # name tries, 0.1 s apart: the first visible window of that name (a window that
    # goes while xdotool looks at it ends that search: it is tried again)
    local found
    for _ in $(seq "$2"); do
        found=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1) && [ -n "$found" ] \
            && echo "$found" && return
        sleep 0.1
    done
}
no_unexpected_box() { # the program's log says which message it showed
    [ -z "$(find_window '^(orvik : erreur|Orvik : conversion)$' 1)" ] \
        || fail "$mode: an unexpected message box shows"
}

for row in "${rows[@]}"; do
    IFS='|' read -r mode payload keys title source result room <<<"$row"
    [ -z "$room" ] || ! ldd "$program" | grep -q libasan || continue
    write_payload "$payload" "$workdir"
    args=()
    # Opened by a name in Latin-1, as old files have: "l'été".
    [ "$keys" != open ] || { cp "$workdir/payload" "$workdir/l'"$'\xe9t\xe9' && args=("$workdir/l'"$'\xe9t\xe9'); }
    shown=$DISPLAY
    [ "$keys" != display ] || { args=(-display "$DISPLAY") && shown=; }
    DISPLAY=$shown "$program" "${args[@]}" >"$workdir/orvik.log" 2>&1 &
    orvik=$!
    window=$(find_window '^orvik - tq 11/2007$' 600)
    [ -n "$window" ] || fail "the window did not show"
    if [ -n "$room" ]; then
        in_use=$(awk '{ print $1 * 4096 }' "/proc/$orvik/statm")
        prlimit --pid "$orvik" --as=$((in_use + room * 1024 * 1024))
    fi
    # An X server can leave a connection made just as another client leaves without an answer:
    # an owner silent for 20 s is started again, three times at most.
    for _ in 1 2 3; do
        /usr/bin/python3 "$here/clipboard_owner.py" "$mode" "$workdir/payload" >"$workdir/owner.log" 2>&1 &
        pids+=($!)
        for _ in $(seq 100); do grep -qs ready "$workdir/owner.log" && break; sleep 0.2; done
        grep -qs ready "$workdir/owner.log" && break
        kill "${pids[-1]}" 2>/dev/null || true
    done
    wait_ready 1 true

    # How long the window takes to answer when nothing holds it: what a frozen window, or a slow
    # box, is told from on a busy machine.
    time_answer
    case $keys in
    ctrl+v | shift+Insert) xdotool mousemove --window "$window" 200 50 click 1 key ctrl+a "$keys" ;;
    menu) xdotool mousemove --window "$window" 200 50 click 3 sleep 0.5 key Escape ;;
    middle)
        /usr/bin/python3 "$here/clipboard_owner.py" drop-primary -
        xdotool mousemove --window "$window" 200 50 click 2
        ;;
    open) ;;
    *)
        click 236 16
        [ "$keys" != paste+close ] || /usr/bin/python3 "$here/clipboard_owner.py" close "$window"
        ;;
    esac
    if [ "$mode" = hang ] && [ "$title" = - ]; then
        answered
        frozen=$(since "$start")
        [ "$frozen" -lt 4000 ] || fail "$mode, $keys: the window froze for $frozen ms"
        echo "$mode, $keys: frozen for $frozen ms"
    fi
    if [ "$title" != - ]; then
        box=$(find_window "^$title\$" 600)
        elapsed=$(since "$start")
        [ -n "$box" ] || fail "$mode: no box titled \"$title\""
        # A silent owner is waited for a bounded time; a large text takes what it takes.
        [ "$elapsed" -lt 4000 ] || [ "$payload" != Ã©tÃ© ] \
            || fail "$mode: the box took $elapsed ms beyond the window's own answer to show"
        sleep 0.3
        xdotool key Return
        echo "$mode, $keys: \"$title\" after $elapsed ms"
    fi
    if [ "$keys" = paste+close ]; then
        timeout 5 tail --pid="$orvik" -f /dev/null || fail "$mode: the close request was lost"
        continue
    fi
    sleep 0.5
    answered
    # The copy button, which takes the focus: the Ctrl+A, Ctrl+C box_text sends do nothing there.
    [ "$keys" != paste+copy ] || check_box copied 344 "$result" repaired
    no_unexpected_box
    kill "${pids[-1]}" 2>/dev/null || true
    check_boxes
    targets=$(xclip -selection clipboard -t TARGETS -o)
    ! grep -qiE 'html|markdown|opendocument' <<<"$targets" || fail "$mode: Ctrl+C offered $targets"
    kill -0 "$orvik" || fail "$mode: the program ended"
    kill "$orvik"
    wait "$orvik" 2>/dev/null || true
    echo "$mode, $keys: boxes as expected"
done
echo "PASS: every clipboard owner handled"
