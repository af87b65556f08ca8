#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The built program under a real Wayland compositor: weston, its x11 backend inside Xvfb (a seat
# that xdotool drives), without XWayland.
# 1. On Wayland alone, against clipboard owners (wayland_clipboard_owner): paste with the button
#    or Ctrl+V, then check the message box (its title, as the program's Wayland requests show it,
#    WAYLAND_DEBUG), how long it took, and both boxes' text afterwards (Ctrl+A, Ctrl+C, then
#    wl-paste, another program, reads it); maximise; a close request during the wait.
# 2. The platform it picks: X11 wherever an X display answers, with or without Qt's Wayland
#    plugin (a copy of the program whose qt.conf hides it), Wayland without one; with neither, one
#    French line on stderr and a failure status rather than Qt's English lines and an abort.
set -euo pipefail
owner=$2
screen_size=1024x768
source "$(dirname "$0")/owner_rows.sh"
clip_in=(wl-copy) clip_out=(wl-paste -n -t 'text/plain;charset=utf-8')
# No input method: its on-screen keyboard would cover the window's lower half.
printf '[input-method]\npath=\n' >"$workdir/weston.ini"
weston --backend=x11-backend.so --width=700 --height=480 --socket=orvik-test --idle-time=0 \
    --config="$workdir/weston.ini" >"$workdir/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/orvik-test" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/orvik-test" ] || fail "weston did not start: $(cat "$workdir/weston.log")"
export WAYLAND_DISPLAY=orvik-test

# --- 1. On Wayland alone ---
# owner: "text" (text/plain;charset=utf-8), "html" (text/html alone) or "hang" (text, hanging at
# the first request) | payload ("@N": N lines) | keys: paste, paste+close, ctrl+v or maximise |
# title of the box shown ("-": none) | source and result boxes afterwards ("*": not read; "@": the
# payload's lines, damaged and repaired).
rows=(
    "hang|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "hang|Ã©tÃ©|paste+close|orvik : erreur|*|*"
    "hang|Ã©tÃ©|ctrl+v|-|$source_text|$result_text"
    "text|$line1|paste|-|$line1|$line2"
    "html|<p>Ã©tÃ© <b>chaud</b></p>|paste|-|Ã©tÃ© chaud|été chaud"
    "text|@25000|paste|-|@|@"
    "text|Ã©tÃ©|maximise|-|$source_text|$result_text"
)

screen() { import -window root "$workdir/$1.png"; }
# The window's place on the screen, below the shell's panel: what changed between a screenshot
# before it showed and one after, once that is the window's size.
window_place() {
    for _ in $(seq 20); do
        screen after
        read -r wx wy size < <(convert "$workdir/before.png" "$workdir/after.png" -compose difference \
            -composite -crop 700x448+0+32 +repage -threshold 1% -trim -format '%X %Y %wx%h\n' info: \
            2>/dev/null | tr -d '+')
        [ "$size" = 471x389 ] && return
        sleep 0.5
    done
    fail "no window found on the screen: $size"
}
click() { # x y, from the window's client area (y -15: the buttons of the frame Qt draws above it)
    xdotool mousemove "$((wx + 3 + $1))" "$((wy + 32 + 30 + $2))" click 1
}
no_unexpected_box() { # the program's log says which message it showed
    [ "$title" != - ] || [ -z "$(box_title)" ] || fail "$mode: an unexpected message box shows"
}
answered() { # once the window has drawn anything after a click in its lower box
    local drawn
    drawn=$(grep -c 'commit()' "$workdir/orvik.log")
    click 200 200
    for _ in $(seq 600); do
        [ "$(grep -c 'commit()' "$workdir/orvik.log")" -gt "$drawn" ] && return
        sleep 0.05
    done
}
box_title() { # the title of a message box the program shows; empty when none does
    grep -oE 'xdg_toplevel@[0-9]+\.set_title\("(orvik : erreur|Orvik : conversion)"\)' \
        "$workdir/orvik.log" | head -n1 || true
}

for row in "${rows[@]}"; do
    IFS='|' read -r mode payload keys title source result <<<"$row"
    write_payload "$payload" "$workdir"
    # weston's x11 backend moves its pointer by the X pointer's moves over its window, and puts it
    # where the X pointer is when it enters the window: in and out keeps the two in step.
    xdotool mousemove 900 700 sleep 0.2 mousemove 350 10
    # The screen once it stands still, the pointer over the shell's panel.
    screen before
    for _ in $(seq 20); do
        sleep 0.5
        screen again
        cmp -s "$workdir/before.png" "$workdir/again.png" && break
        mv "$workdir/again.png" "$workdir/before.png"
    done
    env -u DISPLAY WAYLAND_DEBUG=client "$program" >"$workdir/orvik.log" 2>&1 &
    orvik=$!
    pids+=("$orvik")
    window_place
    offer=('text/plain;charset=utf-8' "$workdir/payload")
    [ "$mode" != html ] || offer[0]=text/html
    [ "$mode" != hang ] || offer+=(hang)
    env -u DISPLAY QT_QPA_PLATFORM=wayland "$owner" "${offer[@]}" >"$workdir/owner.log" 2>&1 &
    pids+=($!)
    # The owner takes the clipboard with the serial of a key pressed in its window (for 60 s at
    # most: under AddressSanitizer on a busy machine it can take over 10 s to start).
    wait_ready 300 xdotool key shift

    # How long the window takes to answer when nothing holds it: what a slow box is told from.
    time_answer
    case $keys in
    paste) click 236 16 ;;
    paste+close)
        click 236 16
        # The close button, once the program reads: it has then answered weston's ping of the
        # click, without which weston takes a click for the move of a window not responding.
        for _ in $(seq 200); do grep -q 'receive(' "$workdir/orvik.log" && break; sleep 0.05; done
        click 450 -15
        ;;
    ctrl+v)
        click 200 50
        xdotool key ctrl+a ctrl+v
        ;;
    maximise)
        click 428 -15
        sleep 1.5
        kill -0 "$orvik" 2>/dev/null || fail "maximise ended the program"
        ! grep -E 'set_window_geometry\(0, 0, [0-9]+, [0-9]+\)' "$workdir/orvik.log" \
            | grep -qv '(0, 0, 471, 389)' || fail "maximise resized the window"
        ;;
    esac
    if [ "$title" != - ]; then
        for _ in $(seq 400); do [ -n "$(box_title)" ] && break; sleep 0.05; done
        elapsed=$(since "$start")
        shown=$(box_title)
        [[ $shown == *"\"$title\""* ]] || fail "$mode: no box titled \"$title\""
        [ "$elapsed" -lt 4000 ] || fail "$mode: the box took $elapsed ms beyond the window's own answer to show"
        toplevel=${shown%%.*}
        for _ in $(seq 20); do
            sleep 0.5
            grep -q "$toplevel\.destroy()" "$workdir/orvik.log" && break
            xdotool key Return
        done
        echo "$mode, $keys: \"$title\" after $elapsed ms"
    fi
    if [ "$keys" = paste+close ]; then
        main=$(grep -oE 'xdg_toplevel@[0-9]+\.set_title\("orvik - tq' "$workdir/orvik.log" | cut -d. -f1)
        for _ in $(seq 300); do grep -q "$main\.destroy()" "$workdir/orvik.log" && break; sleep 0.1; done
        grep -q "$main\.destroy()" "$workdir/orvik.log" || fail "$mode: the close request was lost"
        # Under AddressSanitizer, its leak report on the way out can take a while on a busy machine.
        timeout 120 tail --pid="$orvik" -f /dev/null || fail "$mode: the window closed, the program goes on"
        continue
    fi
    sleep 1
    no_unexpected_box
    check_boxes
    kill -0 "$orvik" 2>/dev/null || fail "$mode: the program ended"
    kill "$orvik" "${pids[-1]}" 2>/dev/null || true
    wait "$orvik" 2>/dev/null || true
    echo "$mode, $keys: boxes as expected"
done

# --- 2. The platform chosen ---
# Last: the X11 windows of these rows cover weston's own, and its pointer would be out of step.
# A copy of the program whose Qt finds every plugin but Wayland's, as without qt6-wayland.
plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
mkdir -p "$workdir/no-wayland/plugins"
ln -s "$plugins"/* "$workdir/no-wayland/plugins/"
rm "$workdir/no-wayland/plugins/platforms" && mkdir "$workdir/no-wayland/plugins/platforms"
ln -s "$plugins"/platforms/*xcb* "$plugins"/platforms/*offscreen* "$workdir/no-wayland/plugins/platforms/"
cp "$program" "$workdir/no-wayland/orvik"
printf '[Paths]\nPrefix=/usr\nPlugins=%s\n' "$workdir/no-wayland/plugins" >"$workdir/no-wayland/qt.conf"

# what is changed | how the environment is changed | program | platform | what it prints
no_display="orvik : impossible d'ouvrir la fenêtre, aucun affichage graphique n'est accessible."
platform_rows=(
    "X and Wayland, a GNOME session|XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME|$program|xcb|"
    "X and Wayland, without qt6-wayland||$workdir/no-wayland/orvik|xcb|"
    "Wayland alone|-u DISPLAY|$program|wayland|"
    "X and Wayland, QT_QPA_PLATFORM=wayland|QT_QPA_PLATFORM=wayland|$program|wayland|"
    "Wayland alone, without qt6-wayland|-u DISPLAY|$workdir/no-wayland/orvik|none|$no_display"
    "no display|-u DISPLAY -u WAYLAND_DISPLAY|$program|none|$no_display"
    "an X display naming no server|-u WAYLAND_DISPLAY DISPLAY=:31999|$program|none|$no_display"
)
for row in "${platform_rows[@]}"; do
    IFS='|' read -r name changes run expected printed <<<"$row"
    # shellcheck disable=SC2086 # the changes are words apart
    env -u QT_QPA_PLATFORM $changes "$run" >"$workdir/platform.out" 2>"$workdir/platform.log" &
    pid=$!
    # Qt loads a plugin before it knows whether it can reach its display: the one that counts is
    # the one still there once the window is up.
    for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null && sleep 0.1; done
    got=$(grep -oE 'libq(xcb|wayland-generic)\.so' "/proc/$pid/maps" 2>/dev/null | head -n1 || true)
    # Without a platform it ends by itself (under AddressSanitizer on a busy machine, in its time).
    [ "$expected" != none ] || timeout 60 tail --pid="$pid" -f /dev/null || true
    kill "$pid" 2>/dev/null || true
    status=0
    wait "$pid" 2>/dev/null || status=$?
    got=${got#libq} got=${got%%[-.]*} got=${got:-none}
    said=$(grep -v '^\[' "$workdir/platform.log" || true)
    [ "$got" = "$expected" ] || fail "$name: platform $got, not $expected; it said: $said"
    [ "$said" = "$printed" ] && [ ! -s "$workdir/platform.out" ] || fail "$name: it printed \"$said\""
    [ "$expected" != none ] || { [ "$status" -ne 0 ] && [ "$status" -ne 143 ]; } || fail "$name: exit status $status"
    echo "$name: $got"
done

echo "PASS: the platform chosen, and every Wayland clipboard owner handled"
