#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# orvik-repair -i held by strace at two steps, with a SIGSTOP injected after its first fsync (the
# new file's flush, before any check) and after its first renameat2 (the swap of the two files),
# so that another program acts exactly there. Whatever that program writes must stay in the file;
# a signal that ends the repair must leave the original as it was and no new file; a folder moved
# meanwhile still has the file repaired in it. As root the
# repair holds a lease on the file; as the user 65534, on root's file, it cannot, and relies on the
# file's state alone.
set -uo pipefail
program=$1
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: needs root, to run the repair as another user than the file's owner"
    exit 77
fi
ulimit -c 0 # SIGQUIT, SIGXCPU and SIGXFSZ would leave a core file
# LeakSanitizer cannot run under ptrace, and would end each run of the asan build with an error.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
dir=$(mktemp -d /tmp/orvik-held-test.XXXXXX)
trap 'rm -rf "$dir"' EXIT
chmod 777 "$dir"
cp "$program" "$dir/orvik-repair" # where the user 65534 can run it
mkdir "$dir/d"
chmod 777 "$dir/d"
f=$dir/d/f
damaged=$'L\'\xC3\x83\xC2\xA9t\xC3\x83\xC2\xA9\n' # L'Ã©tÃ©
said="orvik-repair: $f: "
changed="${said}un autre programme a modifié le fichier pendant sa réparation ; fichier laissé intact"

# Waits (30 s at most, for a loaded machine) until `$@` succeeds.
await() { for _ in $(seq 3000); do "$@" && return 0; sleep 0.01; done; return 1; }
is_stopped() { [ "$(awk '{ print $3 }' "/proc/$pid/stat" 2>/dev/null)" = t ]; }
# Stopped at its Nth injected SIGSTOP: a process held by strace at any system call shows the same
# state as a stopped one (and, on a busy machine, is seen in it), so strace's count tells them apart.
held() { [ "$(grep -c -- '--- stopped by SIGSTOP ---' "$dir/trace")" -ge "$1" ] && is_stopped; }
swapped() { [ "$(stat -c %i "$f")" != "$inode" ] && held 2; }
lease_breaking() { grep -q "LEASE *BREAKING .* $pid " /proc/locks; }
ended() { ! kill -0 "$pid" 2>/dev/null || { is_stopped && kill -CONT "$pid" 2>/dev/null; false; }; }

status=0
for row in none open_before mode_changed_during opened_during written_during_swap folder_moved \
    HUP INT QUIT TERM PIPE ALRM USR1 USR2 XCPU XFSZ VTALRM PROF IO PWR STKFLT RTMIN RTMAX; do
    as=()
    [[ $row == written_during* ]] && as=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
    printf '%s' "$damaged" >"$f"
    chmod 666 "$f"
    rm -f "$dir/pid" "$dir"/d/.orvik-repair-*
    inode=$(stat -c %i "$f")
    exec 4>&-
    [ "$row" = open_before ] && exec 4>>"$f"
    # A background command starts with SIGINT and SIGQUIT ignored: env gives them back. The
    # subshell's shell, not this one, tells of an end by a signal, to /dev/null.
    (strace -f -y -o "$dir/trace" -e trace=fsync,renameat2 -e inject=fsync:signal=SIGSTOP:when=1 \
        -e inject=renameat2:signal=SIGSTOP:when=1 env --default-signal=INT,QUIT \
        sh -c 'echo $$ >"$0/pid" && exec "$@"' "$dir" \
        "${as[@]}" "$dir/orvik-repair" -i "$f" 2>"$dir/err" 4>&- || exit) 2>/dev/null &
    tracer=$!
    await test -s "$dir/pid"
    pid=$(cat "$dir/pid")
    code=1 err=$changed expected=$damaged"ajout"$'\n'
    case $row in
    none | folder_moved)
        await held 1 && { [ "$row" = none ] || mv "$dir/d" "$dir/moved"; } && kill -CONT "$pid"
        code=0 err="" expected=$'L\'\xC3\xA9t\xC3\xA9\n' # L'été
        ;;
    open_before)
        echo ajout >&4
        err="${said}un autre programme a ouvert le fichier pour y écrire, réessayez quand il l'aura fermé ; fichier laissé intact"
        ;;
    mode_changed_during) # the new file has the mode the file had when it was opened
        await held 1 && chmod 600 "$f"
        expected=$damaged
        ;;
    opened_during) # its open waits for the lease; it writes once the repair is over
        await held 1
        (exec 4>>"$f" && while kill -0 "$pid" 2>/dev/null; do sleep 0.01; done && echo ajout >&4) &
        await lease_breaking
        ;;
    written_during_swap) # opened before the swap, written to after it
        await held 1 && exec 4>>"$f"
        kill -CONT "$pid"
        await swapped && echo ajout >&4
        ;;
    *) # a signal that ends the program while the new file is there
        await held 1 && kill -s "$row" "$pid"
        code=$((128 + $(kill -l "$row"))) err="" expected=$damaged
        ;;
    esac
    # The repair is let go on from where the row left it held, and from any stop the row did not
    # expect (a check that let the repair reach the swap).
    await ended
    wait "$tracer"; got=$?
    wait
    [ -d "$dir/moved" ] && mv "$dir/moved" "$dir/d"
    # The new file was flushed before the swap.
    calls=$(grep -oE 'fsync\([0-9]+<[^>]*>|renameat2' "$dir/trace" | sed 's|<.*/|<|' | head -n 2)
    if [ "$row" = none ] && [[ $calls != fsync\(*\<.orvik-repair-*$'>\nrenameat2' ]]; then
        echo "FAIL $row: the new file was not flushed before the swap: $calls"
        status=1
    elif [ "$got" -ne "$code" ] || [ "$(cat "$dir/err")" != "$err" ] \
        || [ "$(cat "$f"; echo .)" != "$expected." ] \
        || [ "$(ls -A "$dir/d")" != f ]; then
        echo "FAIL $row: exit status $got, stderr: $(cat "$dir/err"), file: $(cat "$f")," \
            "folder:" $(ls -A "$dir/d")
        status=1
    fi
done
exit $status
