# SPDX-License-Identifier: MIT
# Sourced by the clipboard owners' tests, X11 and Wayland: the texts their rows share.
source_text='Collez ici votre texte à convertir'
result_text='Votre texte sera converti ici.'
bom=$'\xef\xbb\xbf'
# What a careless path would change: no-break space, narrow no-break space, U+2028, a tab, line
# breaks, an emoji, a combining accent, and damage the repair leaves (printf escapes).
line1='Ã©tÃ© Ã\xc2\xa0Paris\xe2\x80\xaf: Ã§a, Ã®le\tâ€”\n2e\xe2\x80\xa8ligne \xf0\x9f\x98\x80 e\xcc\x81'
line2='été à\xc2\xa0Paris\xe2\x80\xaf: ça, île\tâ€”\n2e\xe2\x80\xa8ligne \xf0\x9f\x98\x80 e\xcc\x81'

write_payload() { # payload ("@N": N lines of damaged prose, 51 bytes each) directory: writes
    # payload there, and for "@N" the lines repaired too
    case $1 in
    @*)
        { yes 'Ã©tÃ© au bord de la mer, prÃ¨s du chÃ¢teau' || true; } | head -n "${1#@}" >"$2/payload"
        { yes 'été au bord de la mer, près du château' || true; } | head -n "${1#@}" >"$2/repaired"
        ;;
    *) printf '%b' "$1" >"$2/payload" ;;
    esac
}
expected_text() { # text ("@": the file's) file
    if [ "$1" = @ ]; then cat "$2"; else printf '%b' "$1"; fi
}
