#!/usr/bin/env bash
# orvik.exe as users get it: small, importing only DLLs that every Windows ships, and alone in the
# zip that cpack makes, byte for byte.
# Usage: check_program.sh PROGRAM OBJDUMP BUILD_DIR ZIP_NAME
set -euo pipefail
program=$1 objdump=$2 build=$3 zip=$4
fail() { echo "FAIL: $*"; exit 1; }

size=$(stat -c %s "$program")
[ "$size" -lt 1048576 ] || fail "orvik.exe is $size bytes, not under 1 MB"

# The system's own DLLs; msvcrt.dll is the C runtime Windows itself carries.
while read -r dll; do
    case "${dll,,}" in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | msvcrt.dll) ;;
    *) fail "orvik.exe imports $dll, which Windows does not ship" ;;
    esac
done < <("$objdump" -p "$program" | sed -n 's/^\s*DLL Name: //p')

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack >/dev/null)
(cd "$work" && cmake -E tar xf "$build/$zip.zip")
[ "$(cd "$work" && find . -type f)" = "./$zip/orvik.exe" ] || fail "the zip holds: $(cd "$work" && find . -type f)"
cmp "$work/$zip/orvik.exe" "$program" || fail "the zipped program is not the one built"
echo "PASS: $size bytes, system DLLs only, zipped alone"
