# SPDX-License-Identifier: MIT
# Sourced by the clipboard owners' tests, X11 and Wayland, once they have set screen_size: the
# program ($1), a work directory, an X server of that size, and what their rows share. Each test
# defines click (x y [button]), no_unexpected_box, and its clipboard tools clip_in and clip_out.
program=$1
here=$(dirname "$0")
workdir=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" ${ORVIK_XVFB_PID:-} 2>/dev/null || true; wait 2>/dev/null; rm -rf "$workdir"' EXIT
fail() { echo "FAIL: $*"; grep -v '^\[' "$workdir/orvik.log" 2>/dev/null | tail -n 20; exit 1; }
source "$here/../../scripts/xvfb.sh"
orvik_start_xvfb "$workdir" "$screen_size" || fail "Xvfb did not start"

source_text='Collez ici votre texte à convertir'
result_text='Votre texte sera converti ici.'
bom=$'\xef\xbb\xbf'
# What a careless path would change: a leading byte-order mark, no-break space, narrow no-break
# space, U+2028, a tab, line breaks, an emoji, a combining accent, and damage the repair leaves
# (printf escapes).
line1='\xef\xbb\xbfÃ©tÃ© Ã\xc2\xa0Paris\xe2\x80\xaf: Ã§a, Ã®le\tâ€”\n2e\xe2\x80\xa8ligne \xf0\x9f\x98\x80 e\xcc\x81'
line2='\xef\xbb\xbfété à\xc2\xa0Paris\xe2\x80\xaf: ça, île\tâ€”\n2e\xe2\x80\xa8ligne \xf0\x9f\x98\x80 e\xcc\x81'

write_payload() { # payload ("@N": N lines of damaged prose, 51 bytes each) directory: writes
    # payload there, and for "@N" the lines repaired too. It empties the owner's log there first:
    # the next owner's shell may open it only after wait_ready has looked, and a "ready" left by the
    # last row's owner would be taken for the new one's.
    : >"$2/owner.log"
    case $1 in
    @*)
        { yes 'Ã©tÃ© au bord de la mer, prÃ¨s du chÃ¢teau' || true; } | head -n "${1#@}" >"$2/payload"
        { yes 'été au bord de la mer, près du château' || true; } | head -n "${1#@}" >"$2/repaired"
        ;;
    *) printf '%b' "$1" >"$2/payload" ;;
    esac
}
wait_ready() { # tries 0.2 s apart, then a command run between them: the owner has said "ready"
    for _ in $(seq "$1"); do grep -qs ready "$workdir/owner.log" && break; "${@:2}"; sleep 0.2; done
    grep -qs ready "$workdir/owner.log" || fail "$mode: the owner did not start: $(cat "$workdir/owner.log")"
}
since() { # start: the milliseconds since then, beyond the window's own answer time
    echo $((($(date +%s%N) - $1) / 1000000 - answer))
}
# answer: how long the window takes to answer when nothing holds it; start: now
time_answer() { start=$(date +%s%N) answer=0; answered; answer=$(since "$start") start=$(date +%s%N); }
box_text() { # x y: the text of the box at that point, through the clipboard, once it is there
    printf placeholder | "${clip_in[@]}"
    click "$1" "$2"
    xdotool key ctrl+a ctrl+c
    for _ in $(seq 600); do
        timeout 10 "${clip_out[@]}" >"$workdir/box" 2>/dev/null || true
        [ -s "$workdir/box" ] && ! printf placeholder | cmp -s - "$workdir/box" && break
        no_unexpected_box
        sleep 0.2
    done
    cat "$workdir/box"
}
check_box() { # name y text ("@": the file's) file: the box at that height holds that text
    box_text 200 "$2" >"$workdir/$1"
    if [ "$3" = @ ]; then cp "$workdir/$4" "$workdir/expected"; else printf '%b' "$3" >"$workdir/expected"; fi
    cmp -s "$workdir/$1" "$workdir/expected" || fail "$mode: $1 box holds \"$(head -c 200 "$workdir/$1")\""
}
check_boxes() { check_box source 50 "$source" payload; check_box result 200 "$result" repaired; }
