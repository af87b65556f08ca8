#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# orvik-repair.exe under wine, run as a user runs it: standard streams that carry every byte as it
# is, several files, a missing one, usage errors, and the repair in place with what it refuses.
# Usage: wine_command_test.sh PROGRAM
set -uo pipefail
program=$(realpath "$1")
here=$(cd "$(dirname "$0")/../../scripts" && pwd)
work=$(mktemp -d)
source "$here/wine.sh"
trap 'orvik_wine_stop; rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" && failures=$((failures + 1)); }
# Wine hands the arguments over from UTF-8.
export LC_ALL=C.UTF-8

orvik_wine_prefix "$work/prefix" || { echo "FAIL: no wine prefix"; exit 1; }
# A server that outlives each run.
wineserver -p
cd "$work" || exit 1

# run ARGS...: the program's status, standard output (out) and error (err), fed with the file in.
touch in
run() {
    orvik_wine "$program" "$@" <in >out 2>err
    status=$?
}
# expect WHAT STATUS OUT ERR: the last run's outcome, byte for byte; OUT is a printf format, so that
# it can hold a NUL byte.
expect() {
    [ "$status" = "$2" ] || fail "$1: status $status, expected $2 ($(cat err))"
    # shellcheck disable=SC2059
    cmp -s out <(printf "$3") \
        || fail "$1: output $(od -An -c out | head -c 200)"
    [ "$(cat err)" = "$4" ] || fail "$1: said: $(cat err)"
}
said() { printf 'orvik-repair: %s' "$1"; }

damaged=$'L\'\xc3\x83\xc2\xa9t\xc3\x83\xc2\xa9 \xc3\x83 la plage.\r\n' # L'Ã©tÃ© Ã la plage.
repaired=$'L\'\xc3\xa9t\xc3\xa9 \xc3\xa0 la plage.\r\n'
clean=$'D\xc3\xa9j\xc3\xa0 l\'\xc3\xa9t\xc3\xa9.\r\n'

# Several files and standard input, in bytes that a text-mode stream would change: a BOM, CR LF, a
# lone CR, Ctrl-Z, NUL and bytes that are not UTF-8, around a lead. Neither cmd.exe nor PowerShell
# expands a pattern: the program does, in alphabetical order, and says when one matches nothing.
mkdir motifs
printf '%s' "$damaged" >motifs/B.txt
printf '%s' "$clean" >motifs/a.txt
: >motifs/c.md
printf '%s' "$damaged" >"été.txt"
printf '\xef\xbb\xbf\xc3\x83\xc2\xa9\r\n\r\x1a\x00\xff\xc0\xaf\x1a\n' >in
run "été.txt" 'motifs\*.txt' 'motifs\*.doc' - 'motifs\?.md' "l'été où.txt"
absent=$(sed -n "s/^orvik-repair: \"l'été où.txt\": //p" err)
[ -n "$absent" ] || fail "no reason given for a missing file, named as cmd.exe reads it: $(cat err)"
expect "files, patterns, binary streams" 1 "$repaired$clean$repaired"'\xef\xbb\xbf\xc3\xa9\r\n\r\x1a\x00\xff\xc0\xaf\x1a\n' "$(said "motifs\\*.doc: aucun fichier ne correspond à ce motif")
$(said "\"l'été où.txt\": $absent")"

run --help
mv out help
run '/?'
expect "/? asks for help" 0 "$(sed 's/%/%%/g' help)\n" ""

# A reader that stops early ends the program quietly, with the status SIGPIPE gives on Linux.
head -c 4000000 /dev/zero | tr '\0' a >long
orvik_wine "$program" long 2>err | head -c 1 >out
status=${PIPESTATUS[0]}
expect "a reader that stops early" 141 "a" ""

# The redirection is cmd.exe's: wine cannot describe (GetFileInformationByHandle) a standard output
# that a Linux shell opened, which Windows can.
printf '%s' "$damaged" >output.txt
cp "$program" orvik-repair.exe
orvik_wine cmd /c "orvik-repair.exe output.txt >>output.txt" >out 2>err
status=$?
expect "input that is the output" 1 "" "$(said "output.txt: c'est aussi le fichier de sortie, il n'est pas lu")"

# In place (that a clean file is left as it is, command_test checks: no Windows code runs for it).
printf '%s' "$damaged" >"été.txt"
printf '%s' "$damaged" >readonly.txt
# Wine's attrib takes one attribute at a time.
orvik_wine cmd /c "attrib +s été.txt & attrib +h été.txt & attrib +r readonly.txt" >/dev/null
mkdir folder
: >in
run -i "été.txt" folder NUL 'motifs\*.doc' readonly.txt
expect "in place" 1 "" "$(said "folder: c'est un dossier")
$(said "NUL: ce n'est pas un fichier ordinaire, il ne peut être réparé que vers la sortie standard")
$(said "motifs\\*.doc: aucun fichier ne correspond à ce motif")
$(said "readonly.txt: le fichier est en lecture seule, ôtez-lui cet attribut pour le réparer ; fichier laissé intact")"
cmp -s "été.txt" <(printf '%s' "$repaired") || fail "in place: not repaired"
# Wine's own ReplaceFileW does not carry the attributes over (Windows' does); the program gives
# them to the new file itself, which this checks. Wine shows every file as archived and holds no
# "not indexed": cli_test checks that those two are kept.
[ "$(orvik_wine cmd /c attrib "été.txt" | cut -c1-12 | tr -d '\r')" = "AS  H       " ] \
    || fail "in place: the system or hidden attribute was lost"
cmp -s readonly.txt <(printf '%s' "$damaged") || fail "read-only file: changed"

# --full on a file large enough that each read is repaired in two parts at once, on two threads.
line=$'L\'\xc3\x83\xc2\xa9t\xc3\x83\xc2\xa9 \xc3\x83\xc2\xa0 la plage, the quick brown fox jumps.\r\n'
fixed=$'L\'\xc3\xa9t\xc3\xa9 \xc3\xa0 la plage, the quick brown fox jumps.\r\n'
for _ in $(seq 40000); do printf '%s' "$line"; done >large.txt
for _ in $(seq 40000); do printf '%s' "$fixed"; done >large.expected
run --full large.txt
cmp -s out large.expected || fail "--full, a large file: $(cmp out large.expected)"

[ "$failures" = 0 ] && echo "PASS"
exit $((failures > 0))
