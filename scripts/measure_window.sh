#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures the window under Xvfb, with xclip at the other end of the clipboard and real clicks
# (xdotool): start to first frame, memory at rest, paste + convert + copy of 1, 5 and 20 MiB of
# damaged text, and one keystroke in the source box after the 20 MiB paste. Prints the figures;
# asserts nothing about them (see the README for the targets).
#
#   bash scripts/measure_window.sh [runs] [one-line]
#
# runs: start-up runs, 10 by default. one-line: also 5 MiB in a single paragraph (slow: ~20 s).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

orvik_install_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_TEST_PACKAGES[@]}"
runs=${1:-10}
build=build/measure
# The program optimised as the release preset builds it, and the measuring probe beside it.
cmake --preset measure >/dev/null
cmake --build --preset measure -j "$(orvik_jobs)" >/dev/null

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${ORVIK_MEASURE_KEEP:-}" ] && echo "kept $work" || rm -rf "$work"
}
trap cleanup EXIT

source scripts/xvfb.sh
orvik_start_xvfb "$work" 1024x768
pids+=("$ORVIK_XVFB_PID")

# French prose, stored as UTF-8 and read back as Windows-1252: the damaged text users paste. The
# repair turns "Ã" + no-break space back into "à" and keeps the no-break space. The prose uses only
# the letters the repair table knows (no ë, ï or œ), so that the expected text is the prose itself.
cat >"$work/prose" <<'PROSE'
L'été dernier, nous sommes allés à la mer ; la fenêtre de l'hôtel donnait sur la baie.
Le garçon a reçu une lettre écrite à la main, où l'on parlait de l'île et du château.
Après le dîner, la fête a continué jusqu'à l'aube, près du théâtre désert et fermé.
Il faut être prêt : la tâche est énorme, mais la qualité du travail sera récompensée.
Demain, les élèves préparent une pièce où chaque rôle a été réécrit deux fois.
PROSE
make_text() { # bytes [one-line]: damaged text of whole lines, or of one paragraph
    iconv -f WINDOWS-1252 -t UTF-8 "$work/prose" >"$work/line-block"
    if [ "${2:-}" = one-line ]; then
        tr '\n' ' ' <"$work/prose" | iconv -f WINDOWS-1252 -t UTF-8 >"$work/line-block"
    fi
    LC_ALL=C awk -v want="$1" -v sep="$([ "${2:-}" = one-line ] && echo "" || echo "\n")" '
        { lines[NR] = $0 }
        END { n = 0; while (n < want) for (i = 1; i <= NR && n < want; i++) { printf "%s%s", lines[i], sep; n += length(lines[i]) + length(sep) } }' \
        "$work/line-block" >"$work/damaged-$1"
    iconv -f UTF-8 -t WINDOWS-1252 "$work/damaged-$1" | sed 's/à/à\xc2\xa0/g' >"$work/expected-$1"
}

wait_for_line() { # file pattern seconds
    local deadline=$((SECONDS + $3))
    while [ $SECONDS -lt $deadline ]; do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.01
    done
    return 1
}

echo "== start to first frame on screen (orvik_probe: the program's own start plus a timing filter)"
for _ in $(seq "$runs"); do
    ORVIK_PROBE_QUIT=1 ORVIK_PROBE_T0_NS=$(date +%s%N) "$build/bin/orvik_probe" 2>/dev/null
done | awk '{ print $2 }' | sort -n | awk '{ v[NR] = $1 } END {
    printf "runs %d  median %.1f ms  min %.1f ms  max %.1f ms\n", NR, v[int((NR + 1) / 2)], v[1], v[NR] }'

echo "== memory at rest (the program itself, 2 s after its window shows)"
"$build/bin/orvik" 2>/dev/null &
orvik=$!
pids+=("$orvik")
timeout 30 xdotool search --sync --onlyvisible --name '^orvik - tq 11/2007$' >/dev/null
sleep 2
grep -E 'VmRSS|RssAnon|RssFile' "/proc/$orvik/status" | tr -s ' \t' ' '
kill "$orvik"

busy_tenths() { # pid: waits until the process has used no CPU for half a second; prints how many
    # tenths of a second it was busy before that
    local busy_until=0 previous now step
    previous=$(awk '{ print $14 + $15 }' "/proc/$1/stat")
    for step in $(seq 600); do
        sleep 0.1
        now=$(awk '{ print $14 + $15 }' "/proc/$1/stat")
        [ "$now" != "$previous" ] && busy_until=$step
        previous=$now
        [ $((step - busy_until)) -ge 5 ] && break
    done
    echo "$busy_until"
}

session() { # bytes [one-line] [type]
    local bytes=$1 log="$work/probe-$1.log"
    make_text "$bytes" "${2:-}"
    xclip -selection clipboard -i "$work/damaged-$bytes"
    "$build/bin/orvik_probe" >"$log" 2>/dev/null &
    local probe=$!
    pids+=("$probe")
    local window
    window=$(timeout 30 xdotool search --sync --onlyvisible --name '^orvik - tq 11/2007$' | head -n1)
    wait_for_line "$log" 'at rest' 10
    xdotool mousemove --window "$window" 236 16 click 1
    wait_for_line "$log" '^cmdPaste_shown_ms' 300 || { echo "paste did not finish"; return 1; }
    # The boxes go on laying out a long text in the background: wait until the program is idle
    # before the next click. Polling starts as the probe reports the repaint, a second after the
    # handler returned.
    local idle typed=
    idle="CPU idle again about $(($(busy_tenths "$probe") + 10)) tenths of a second after the paste handler returned"
    if [ "${3:-}" = type ]; then
        xdotool mousemove --window "$window" 200 50 click 1 key a
        typed="one keystroke in the source box kept the CPU busy for about $(busy_tenths "$probe") tenths of a second"
    fi
    xdotool mousemove --window "$window" 236 344 click 1
    wait_for_line "$log" '^cmdCopy_shown_ms' 120 || { echo "copy did not finish"; return 1; }
    local start end
    start=$(date +%s%N)
    xclip -selection clipboard -o >"$work/copied-$bytes"
    end=$(date +%s%N)
    printf '%s damaged bytes, %s lines\n' "$(stat -c %s "$work/damaged-$bytes")" "$(wc -l <"$work/damaged-$bytes")"
    grep -E 'ms|rss' "$log" | sed 's/^/  /'
    echo "  $idle"
    [ -z "$typed" ] || echo "  $typed"
    printf '  xclip read the copied text back in %.1f ms: %s\n' "$(((end - start) / 100000))e-1" \
        "$(cmp -s "$work/copied-$bytes" "$work/expected-$bytes" && echo "exactly the repaired text" || echo "NOT the repaired text")"
    kill "$probe"
}

echo "== 1 MiB paste + convert + copy"
session $((1024 * 1024))
echo "== 5 MiB paste + convert + copy"
session $((5 * 1024 * 1024))
echo "== 20 MiB paste + convert + copy, then one keystroke"
session $((20 * 1024 * 1024)) "" type
if [ "${2:-}" = one-line ]; then
    echo "== 5 MiB in one paragraph, without any line break: paste + convert + copy"
    session $((5 * 1024 * 1024)) one-line
fi
