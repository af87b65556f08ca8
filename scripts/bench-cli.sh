#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures orvik-repair, whole process, on 50 MiB of damaged French prose (ORVIK_BENCH_CLI_MIB to
# change), against a plain read/write copy of the same file (`dd bs=256K`, the floor for any
# filter that reads and writes), against `cat FILE > OUT` (which may copy inside the system without
# reading into memory) and against iconv repairing the same damage.
# Then the same on an accent-dense stress text, each repair kernel on the prose, and the peak
# memory. Installs what it needs on Debian and builds its own optimised copy of the tool.
# With ORVIK_BENCH_CLI_WINDOWS=path/to/orvik-repair.exe (built by the windows preset), last, that
# program under wine against the Linux build on the prose, to a new file and in place.
#
# The prose is made here: sentences drawn at random from a list of French words weighted by how
# often they occur, so that about 2.7 letters in 100 carry an accent, at irregular places, as in
# real text. The damage is made as it happens: the UTF-8 text is read as Windows-1252 and written
# again as UTF-8 (iconv -f windows-1252 -t utf-8). The opposite conversion,
# iconv -f utf-8 -t windows-1252, undoes it in one pass and gives the sound text back: that is
# iconv's repair, timed here.
#
# Every command writes a new file: hyperfine removes the previous output before each run (the
# --prepare step, not timed). Overwriting a large file in place makes ext4 flush it when it is
# closed, which would add the same ~25 ms to every command; the last table shows that case too.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

# hyperfine does the timing; time(1) reports the peak memory.
orvik_install_packages cmake g++ make hyperfine time

mib=${ORVIK_BENCH_CLI_MIB:-50}
runs=${ORVIK_BENCH_CLI_RUNS:-20}
bytes=$((mib * 1024 * 1024))
work=$(mktemp -d "${TMPDIR:-/tmp}/orvik-bench-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT

step() { printf '\n== %s ==\n' "$*"; }

step "build orvik-repair (the release-cli preset: optimised as the release one)"
cmake --preset release-cli >/dev/null
cmake --build --preset release-cli -j "$(orvik_jobs)" >/dev/null
tool=$PWD/build/release-cli/bin/orvik-repair
root=$PWD
windows_tool=${ORVIK_BENCH_CLI_WINDOWS:+$(realpath "$ORVIK_BENCH_CLI_WINDOWS")}

# make_text WORDS OUT: $bytes of damaged text from "word weight" pairs, one sentence a line.
make_text() {
    LC_ALL=C awk -v bytes="$bytes" -v list="$1" 'BEGIN {
        srand(20071106)
        m = split(list, parts, " ")
        n = 0
        for (k = 1; k < m; k += 2)
            for (r = 0; r < parts[k + 1]; r++)
                words[++n] = parts[k]
        total = 0
        while (total < bytes) {
            count = 8 + int(rand() * 16)
            line = words[1 + int(rand() * n)]
            for (i = 1; i < count; i++)
                line = line " " words[1 + int(rand() * n)]
            print line "."
            total += length(line) + 2
        }
    }' >"$work/sound.txt"
    iconv -f windows-1252 -t utf-8 "$work/sound.txt" >"$work/damaged-all.txt"
    # Exactly $bytes, less the last line, which the cut may have split.
    head -c "$bytes" "$work/damaged-all.txt" | sed '$d' >"$2"
    local accented chars
    accented=$(grep -o '[àâçéèêëîïôùûüœÀÉÈÊÇŒ]' "$work/sound.txt" | wc -l)
    chars=$(wc -m <"$work/sound.txt")
    rm "$work/sound.txt" "$work/damaged-all.txt"
    echo "$(basename "$2"): $(stat -c %s "$2") bytes;" \
        "accented letters per 100 characters before the damage: $((accented * 100 / chars)).$(((accented * 1000 / chars) % 10))"
    head -n 1 "$2"
}

# Word frequencies per 10 000 words of ordinary French prose, roughly.
prose_words="de 420 la 260 le 230 et 220 les 200 des 150 à 140 en 130 un 120 une 100 du 90 \
que 90 est 85 pour 70 qui 70 dans 70 il 65 par 55 plus 55 pas 55 au 50 sur 50 ne 45 se 45 ce 45 \
elle 40 avec 40 son 35 sa 30 ses 30 ou 30 mais 30 comme 30 on 30 tout 25 nous 25 vous 25 été 25 \
aux 20 leur 20 y 15 fait 15 était 15 cette 15 ont 15 être 15 ces 15 deux 15 même 12 où 12 très 12 \
après 10 entre 10 sans 10 peut 10 aussi 10 bien 10 faire 10 alors 10 là 8 déjà 6 ça 6 français 5 \
première 5 année 5 état 5 début 4 société 4 général 4 développement 3 période 4 réponse 3 idée 3 \
côté 3 fenêtre 2 forêt 2 tête 3 garçon 2 leçon 1 reçu 2 hôpital 1 bientôt 2 île 1 connaître 2 \
maître 2 août 1 goût 1 sûr 2 château 1 âge 2 théâtre 1 problème 3 système 3 frère 2 mère 3 père 3 \
dernière 3 lumière 2 rivière 1 manière 3 Noël 1 naïf 1 cœur 2 sœur 1 Élodie 1 Émile 1 À 1 \
maison 6 jardin 3 soleil 3 matin 5 soir 5 temps 10 jour 10 homme 8 femme 6 enfant 5 ville 5 \
pays 5 monde 8 vie 8 main 5 yeux 5 nuit 5 chose 6 rien 8 encore 8 toujours 8 jamais 6 souvent 4 \
aujourd’hui 3 quelque 4 porte 3 livre 3 route 3 travail 3 histoire 4 « 3 » 3 ; 2 : 2 ? 2 ! 1 , 60"
# A stress case: accented words only, about four times denser than prose.
dense_words="à 1 où 1 été 1 déjà 1 voilà 1 très 1 après 1 là 1 école 1 élève 1 fenêtre 1 \
forêt 1 tête 1 être 1 même 1 français 1 garçon 1 leçon 1 ça 1 hôpital 1 côté 1 bientôt 1 île 1 \
connaître 1 août 1 goût 1 sûr 1 château 1 âge 1 théâtre 1 problème 1 frère 1 première 1 Noël 1 \
naïf 1 cœur 1 élégant 1 début 1 réponse 1 préféré 1 général 1 idée 1 société 1 Élodie 1 Ève 1 \
maison 1 jardin 1 soleil 1 nous 1 avec 1 pour 1 dans 1 mais 1 donc 1 alors 1"

step "make $mib MiB of damaged French prose, and as much of a dense stress text"
make_text "$prose_words" "$work/prose.txt"
make_text "$dense_words" "$work/dense.txt"

step "check the outputs once before timing"
# iconv's repair is the sound text; orvik-repair must leave no lead and repair the same é. (It
# keeps ë, ï and capitals as "à" plus their follower, and the no-break space after "à", as the
# window does.)
for text in prose dense; do
    "$tool" "$work/$text.txt" >"$work/ours.txt"
    iconv -f utf-8 -t windows-1252 "$work/$text.txt" >"$work/iconv.txt"
    left=$(LC_ALL=C grep -c $'\xc3\x83' "$work/ours.txt" || true)
    ours_e=$(grep -o 'é' "$work/ours.txt" | wc -l)
    iconv_e=$(grep -o 'é' "$work/iconv.txt" | wc -l)
    echo "$text: leads left by orvik-repair: $left; é: orvik-repair $ours_e, iconv $iconv_e"
    if [ "$left" -ne 0 ] || [ "$ours_e" -ne "$iconv_e" ]; then
        echo "orvik-repair's output is wrong: no timing" >&2
        exit 1
    fi
done
head -n 1 "$work/ours.txt"
rm "$work/ours.txt" "$work/iconv.txt"

cd "$work"
kernel=scalar
grep -qw avx2 /proc/cpuinfo && kernel=avx2
echo "orvik-repair runs its $kernel kernel on this processor"
# time_all NAME FILE [hyperfine options]: dd, cat, orvik-repair and iconv on FILE, then the
# ratios.
time_all() {
    local name=$1 file=$2
    shift 2
    hyperfine --warmup 3 --runs "$runs" --export-csv "$name.csv" "$@" \
        -n dd "dd if=$file of=out.txt bs=256K status=none" \
        -n cat "cat $file > out.txt" \
        -n orvik-repair "$tool $file > out.txt" \
        -n iconv "iconv -f utf-8 -t windows-1252 $file > out.txt" | grep -E '^Benchmark|Time'
    LC_ALL=C awk -F, -v size="$(stat -c %s "$file")" '
        NR > 1 { by[$1] = $2; printf "  %-14s %7.1f ms %7.0f MiB/s\n", $1, $2 * 1000, size / 1048576 / $2 }
        END {
            printf "  orvik-repair throughput / dd:    %.2f (goal: at least 0.6)\n", by["dd"] / by["orvik-repair"]
            printf "  orvik-repair throughput / cat:   %.2f (goal: at least 0.5)\n", by["cat"] / by["orvik-repair"]
            printf "  orvik-repair throughput / iconv: %.1f (goal: at least 5)\n", by["iconv"] / by["orvik-repair"]
        }' "$name.csv"
}

step "prose, each command writing a new file"
time_all prose prose.txt --prepare "rm -f out.txt"

step "dense stress text, each command writing a new file"
time_all dense dense.txt --prepare "rm -f out.txt"

step "prose, each command overwriting the previous output (ext4 flushes it on close)"
time_all prose-overwrite prose.txt

step "prose, each repair kernel (ORVIK_REPAIR_KERNEL), new file; then text with nothing to repair"
"$tool" prose.txt >repaired.txt
hyperfine --warmup 3 --runs "$runs" --prepare "rm -f out.txt" -L kernel scalar,avx2 \
    "ORVIK_REPAIR_KERNEL={kernel} $tool prose.txt > out.txt" | grep -E '^Benchmark|Time'
hyperfine --warmup 3 --runs "$runs" --prepare "rm -f out.txt" "$tool repaired.txt > out.txt" \
    | grep -E '^Benchmark|Time'
echo "(a kernel this processor lacks falls back to the widest it has; the last run, on text that"
echo "needs no repair, is the cost of reading and writing alone)"

step "peak memory (maximum resident set size)"
rss() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; }
echo "cat prose.txt:                        $(rss cat prose.txt) KiB"
echo "orvik-repair prose.txt:               $(rss "$tool" prose.txt) KiB"
echo "orvik-repair, 8 x prose.txt by pipe:  $(cat prose.txt prose.txt prose.txt prose.txt \
    prose.txt prose.txt prose.txt prose.txt | rss "$tool") KiB"

if [ -n "${ORVIK_BENCH_CLI_WINDOWS:-}" ]; then
    step "orvik-repair.exe under wine against the Linux build, prose"
    source "$root/scripts/wine.sh"
    orvik_wine_prefix "$work/prefix"
    # A server kept running, as on Windows, where no such start is paid per program.
    wineserver -p
    trap 'wineserver -k; rm -rf "$work"' EXIT
    hyperfine --warmup 3 --runs "$runs" --prepare "rm -f out.txt" \
        -n linux "$tool prose.txt > out.txt" \
        -n wine "wine $windows_tool prose.txt > out.txt" \
        -n "wine, start alone" "wine $windows_tool --version > out.txt" | grep -E '^Benchmark|Time'
    hyperfine --warmup 3 --runs "$runs" --prepare "cp prose.txt in-place.txt" \
        -n "linux -i" "$tool -i in-place.txt" \
        -n "wine -i" "wine $windows_tool -i in-place.txt" | grep -E '^Benchmark|Time'
fi
