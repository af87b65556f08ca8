#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders each manual page as man shows it on an 80-column terminal: any warning fails. Every
# option orvik-repair --help lists must be in both of its pages.
#   check_man_pages.sh MAN_DIR ORVIK_REPAIR
set -euo pipefail
man_dir=$1
orvik_repair=$2
status=0
options=$("$orvik_repair" --help | grep -oE '^ +(-[a-zA-Z], )?--[a-z-]+' | grep -oE -- '-[-a-z]+')
for page in "$man_dir"/*.1.gz "$man_dir"/fr/*.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || warnings+=" (man failed)"
    [ -z "$warnings" ] || { echo "$page: $warnings" >&2; status=1; }
    if [[ $page == */orvik-repair.1.gz ]]; then
        text=$(MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null)
        for option in $options; do
            grep -qe "$option\\b" <<<"$text" || { echo "$page: lacks $option" >&2; status=1; }
        done
    fi
done
exit $status
