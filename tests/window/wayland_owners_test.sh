#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The built program under a real Wayland compositor: weston, its x11 backend inside Xvfb (a seat
# that xdotool drives), without XWayland.
# 1. The platform it picks: X11 wherever an X display answers, with or without Qt's Wayland
#    plugin (a copy of the program whose qt.conf hides it), Wayland without one.
# 2. On Wayland alone, against clipboard owners of wayland_clipboard_owner: paste with the button
#    or Ctrl+V, then check the message box (its title, as the program's Wayland requests show it,
#    WAYLAND_DEBUG), how long it took, and both boxes' text afterwards (Ctrl+A, Ctrl+C, then
#    wl-paste, another program, reads it); maximise; a close request during the wait.
set -euo pipefail
program=$1
owner=$2
here=$(dirname "$0")
workdir=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" ${ORVIK_XVFB_PID:-} 2>/dev/null || true; wait; rm -rf "$workdir"' EXIT
fail() { echo "FAIL: $*"; grep -v '^\[' "$workdir/orvik.log" 2>/dev/null | tail -n 20; exit 1; }

source "$here/../../scripts/xvfb.sh"
orvik_start_xvfb "$workdir" 1024x768 || fail "Xvfb did not start"
x_display=$DISPLAY
weston --backend=x11-backend.so --width=700 --height=480 --socket=orvik-test --idle-time=0 \
    >"$workdir/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/orvik-test" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/orvik-test" ] || fail "weston did not start: $(cat "$workdir/weston.log")"
export WAYLAND_DISPLAY=orvik-test
sleep 2 # the shell's panel and background

# --- 1. The platform chosen ---
# A copy of the program whose Qt finds every plugin but Wayland's, as without qt6-wayland.
plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
mkdir -p "$workdir/no-wayland/plugins/platforms"
for dir in "$plugins"/*; do
    [ "$(basename "$dir")" = platforms ] || ln -s "$dir" "$workdir/no-wayland/plugins/"
done
for plugin in "$plugins"/platforms/*; do
    case $plugin in *wayland*) ;; *) ln -s "$plugin" "$workdir/no-wayland/plugins/platforms/" ;; esac
done
cp "$program" "$workdir/no-wayland/orvik"
printf '[Paths]\nPrefix=/usr\nPlugins=%s\n' "$workdir/no-wayland/plugins" >"$workdir/no-wayland/qt.conf"

platform_of() { # program, then how the environment is changed: the platform plugin it loaded
    local run=$1 pid platform=none
    shift
    env "$@" "$run" >"$workdir/platform.log" 2>&1 &
    pid=$!
    # Qt loads a plugin before it knows whether it can reach its display: the one that stands is
    # the one still there once the window is up.
    for _ in $(seq 30); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    platform=$(grep -oE 'libq(xcb|wayland-generic)\.so' "/proc/$pid/maps" 2>/dev/null | head -n1 || true)
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    platform=${platform#libq}
    platform=${platform%%[-.]*}
    echo "${platform:-none}"
}
# what is changed | program | platform | what it prints
platform_rows=(
    "X and Wayland|$program|xcb|"
    "X and Wayland, a GNOME session|$program|xcb|"
    "X and Wayland, without qt6-wayland|$workdir/no-wayland/orvik|xcb|"
    "Wayland alone|$program|wayland|"
    "Wayland alone, QT_QPA_PLATFORM=wayland with X|$program|wayland|"
    "Wayland alone, without qt6-wayland|$workdir/no-wayland/orvik|none|orvik : impossible d'ouvrir la fenêtre, aucun affichage graphique n'est accessible."
)
for row in "${platform_rows[@]}"; do
    IFS='|' read -r name run expected printed <<<"$row"
    case $name in
    *GNOME*) changes=(XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME) ;;
    *QT_QPA*) changes=(QT_QPA_PLATFORM=wayland) ;;
    "Wayland alone"*) changes=(-u DISPLAY) ;;
    *) changes=(DISPLAY="$x_display") ;;
    esac
    got=$(platform_of "$run" "${changes[@]}")
    said=$(grep -v '^\[' "$workdir/platform.log" || true)
    [ "$got" = "$expected" ] || fail "$name: platform $got, not $expected; it said: $said"
    [ "$said" = "$printed" ] || fail "$name: it printed \"$said\""
    echo "$name: $got"
done

# --- 2. On Wayland alone ---
source_text='Collez ici votre texte à convertir'
result_text='Votre texte sera converti ici.'
bom=$'\xef\xbb\xbf'
exact='Ã©tÃ©\xc2\xa0!\xe2\x80\xa82e ligne\xe2\x80\xaf: Ã§a'
exact_result='été\xc2\xa0!\xe2\x80\xa82e ligne\xe2\x80\xaf: ça'
# mode | payload ("@N": N lines of damaged prose; printf escapes) | keys: paste, paste+close,
# ctrl+v, maximise | title of the box shown ("-": none) | source and result boxes afterwards
# ("*": not read; "@": the payload's lines, damaged and repaired).
rows=(
    "hang|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "formats-only|Ã©tÃ©|paste|orvik : erreur|$source_text|$result_text"
    "hang|Ã©tÃ©|paste+close|orvik : erreur|*|*"
    "hang|Ã©tÃ©|ctrl+v|-|$source_text|$result_text"
    "text|$exact|paste|-|$exact|$exact_result"
    "text|${bom}Ã©tÃ©|paste|-|${bom}Ã©tÃ©|${bom}été"
    "html|<p>Ã©tÃ© <b>chaud</b></p>|paste|-|Ã©tÃ© chaud|été chaud"
    "once|@40000|paste|-|@|@"
    "text|Ã©tÃ©|maximise|-|$source_text|$result_text"
)

# The window's place on the screen: what changed between a screenshot before it showed and one
# after, below the shell's panel.
window_place() {
    import -window root "$workdir/after.png"
    convert "$workdir/before.png" "$workdir/after.png" -compose difference -composite \
        -crop 700x448+0+32 +repage -threshold 1% -trim -format '%X %Y\n' info: | tr -d '+'
}
click() { # x y, inside the window's client area
    xdotool mousemove "$((wx + 3 + $1))" "$((wy + 32 + 30 + $2))" click "${3:-1}"
}
box_text() { # x y: the text of the box at that point, through the clipboard
    click "$1" "$2"
    xdotool key ctrl+a ctrl+c
    sleep 0.3
    timeout 10 wl-paste -n -t 'text/plain;charset=utf-8' || true
}
expected_text() { # text
    case $1 in
    @) cat "$2" ;;
    *) printf '%b' "$1" ;;
    esac
}

xdotool mousemove 690 470
for row in "${rows[@]}"; do
    IFS='|' read -r mode payload keys title source result <<<"$row"
    case $payload in
    @*)
        { yes 'Ã©tÃ© prÃ¨s du chÃ¢teau' || true; } | head -n "${payload#@}" >"$workdir/payload"
        { yes 'été près du château' || true; } | head -n "${payload#@}" >"$workdir/repaired"
        ;;
    *) printf '%b' "$payload" >"$workdir/payload" ;;
    esac
    # The screen once it stands still: the last row's window gone, the shell's background drawn.
    import -window root "$workdir/before.png"
    for _ in $(seq 20); do
        sleep 0.5
        import -window root "$workdir/again.png"
        cmp -s "$workdir/before.png" "$workdir/again.png" && break
        mv "$workdir/again.png" "$workdir/before.png"
    done
    env -u DISPLAY WAYLAND_DEBUG=client "$program" >"$workdir/orvik.log" 2>&1 &
    orvik=$!
    for _ in $(seq 100); do grep -qs 'set_window_geometry' "$workdir/orvik.log" && break; sleep 0.1; done
    sleep 1
    read -r wx wy < <(window_place)
    env -u DISPLAY "$owner" "$mode" "$workdir/payload" >"$workdir/owner.log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do grep -qs ready "$workdir/owner.log" && break; sleep 0.1; done
    grep -qs ready "$workdir/owner.log" || fail "$mode: the owner did not start: $(cat "$workdir/owner.log")"
    sleep 0.5

    start=$(date +%s%N)
    case $keys in
    paste | paste+close)
        click 236 16
        [ "$keys" = paste ] || { sleep 0.3; xdotool mousemove "$((wx + 453))" "$((wy + 32 + 15))" click 1; }
        ;;
    ctrl+v)
        click 200 50
        xdotool key ctrl+a ctrl+v
        ;;
    maximise)
        xdotool mousemove "$((wx + 431))" "$((wy + 32 + 15))" click 1
        sleep 1.5
        kill -0 "$orvik" 2>/dev/null || fail "maximise ended the program"
        ! grep -E 'set_window_geometry\(0, 0, [0-9]+, [0-9]+\)' "$workdir/orvik.log" \
            | grep -qv '(0, 0, 471, 389)' || fail "maximise resized the window"
        ;;
    esac
    if [ "$title" != - ]; then
        toplevel=
        for _ in $(seq 200); do
            toplevel=$(grep -oE "xdg_toplevel@[0-9]+\.set_title\(\"$title\"\)" "$workdir/orvik.log" \
                | head -n1 | cut -d. -f1 || true)
            [ -n "$toplevel" ] && break
            sleep 0.05
        done
        elapsed=$((($(date +%s%N) - start) / 1000000))
        [ -n "$toplevel" ] || fail "$mode: no box titled \"$title\""
        [ "$elapsed" -lt 6000 ] || fail "$mode: the box took $elapsed ms to show"
        for _ in $(seq 20); do
            sleep 0.5
            grep -q "$toplevel\.destroy()" "$workdir/orvik.log" && break
            xdotool key Return
        done
        echo "$mode, $keys: \"$title\" after $elapsed ms"
    fi
    if [ "$keys" = paste+close ]; then
        timeout 10 tail --pid="$orvik" -f /dev/null || fail "$mode: the close request was lost"
        continue
    fi
    sleep 1
    ! grep -qE 'set_title\("(orvik : erreur|Orvik : conversion)"\)' "$workdir/orvik.log" \
        || [ "$title" != - ] || fail "$mode: an unexpected message box showed"
    if [ "$source" != '*' ]; then
        box_text 200 50 >"$workdir/source"
        cmp -s "$workdir/source" <(expected_text "$source" "$workdir/payload") \
            || fail "$mode: source box holds \"$(head -c 200 "$workdir/source")\""
        box_text 200 200 >"$workdir/result"
        cmp -s "$workdir/result" <(expected_text "$result" "$workdir/repaired") \
            || fail "$mode: result box holds \"$(head -c 200 "$workdir/result")\""
    fi
    kill -0 "$orvik" 2>/dev/null || fail "$mode: the program ended"
    kill "$orvik" "${pids[-1]}" 2>/dev/null || true
    wait "$orvik" 2>/dev/null || true
    echo "$mode, $keys: boxes as expected"
done
echo "PASS: the platform chosen, and every Wayland clipboard owner handled"
