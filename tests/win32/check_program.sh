#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# orvik.exe and orvik-repair.exe as users get them, in the zip that cpack makes: with the French
# guide, the license and the changelog and nothing else, each program small, importing only DLLs
# that every Windows ships, and long-path aware.
# Usage: check_program.sh OBJDUMP BUILD_DIR ZIP_NAME
set -euo pipefail
objdump=$1 build=$2 zip=$3
fail() { echo "FAIL: $*"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack >/dev/null)
(cd "$work" && cmake -E tar xf "$build/$zip.zip")
held=$(cd "$work" && find . -type f | sort | tr '\n' ' ')
[ "$held" = "./$zip/CHANGELOG.md ./$zip/LICENSE.txt ./$zip/LISEZMOI.txt ./$zip/orvik-repair.exe ./$zip/orvik.exe " ] \
    || fail "the zip holds: $held"
# Texts for Notepad: CR LF line ends; the license word for word.
cmp -s "$work/$zip/LICENSE.txt" <(sed 's/$/\r/' "$(dirname "$0")/../../LICENSE") \
    || fail "LICENSE.txt is not the license with CR LF line ends"
grep -q $'^Double-cliquez sur orvik.exe.\r$' "$work/$zip/LISEZMOI.txt" \
    || fail "LISEZMOI.txt is not the guide with CR LF line ends"

long_paths='<longPathAware xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>'
for exe in "$work/$zip/orvik.exe" "$work/$zip/orvik-repair.exe"; do
    [ "$(stat -c %s "$exe")" -lt 1048576 ] || fail "$exe is not under 1 MB"
    # The system's own DLLs; msvcrt.dll is the C runtime Windows itself carries.
    while read -r dll; do
        case "${dll,,}" in
        kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | shell32.dll | msvcrt.dll) ;;
        *) fail "$exe imports $dll, which Windows does not ship" ;;
        esac
    done < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p')
    # Paths over 260 characters, where the user enabled them: the manifest (type 24, id 1) says so.
    [[ $(wrestool --extract --raw --type=24 --name=1 "$exe") == *"$long_paths"* ]] \
        || fail "$exe is not long-path aware"
done
echo "PASS: orvik.exe and orvik-repair.exe zipped with guide, license, changelog; under 1 MB, system DLLs only"
