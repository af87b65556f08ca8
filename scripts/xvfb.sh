# SPDX-License-Identifier: MIT
# Sourced by the scripts and tests that run the window in a real X server.
#
# orvik_start_xvfb WORKDIR SIZE: starts Xvfb at a free display (it writes the number once it
# accepts connections), points DISPLAY and a private XDG_RUNTIME_DIR at it, and leaves its process
# id in ORVIK_XVFB_PID for the caller to kill. Returns non-zero, with Xvfb's log on stderr, when it
# does not start.
orvik_start_xvfb() {
    local work=$1 size=$2
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    ORVIK_XVFB_PID=$!
    local _
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    if [ ! -s "$work/display" ]; then
        echo "Xvfb did not start:" >&2
        cat "$work/xvfb.log" >&2
        return 1
    fi
    export DISPLAY=":$(head -n1 "$work/display")"
    export XDG_RUNTIME_DIR="$work/run"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    unset QT_QPA_PLATFORM WAYLAND_DISPLAY
}
