#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Runs a command in a pseudo-terminal, as a user at a console window would. Given WAIT KEYS CLOSE:
# once the terminal shows WAIT and is in raw mode (wine's console then reads the keys itself), types
# KEYS (a CR is Enter); once it then shows CLOSE, closes the terminal, as a user closes the window.
# Prints what the terminal showed, without its escape sequences and carriage returns, and exits
# with the command's status (124 when the whole run takes over a minute).
# Usage: console.py [WAIT KEYS CLOSE] -- COMMAND...
import os
import pty
import re
import select
import signal
import sys
import termios
import time

split = sys.argv.index("--")
steps = [step.encode() for step in sys.argv[1:split]]
pid, terminal = pty.fork()
if pid == 0:
    os.execvp(sys.argv[split + 1], sys.argv[split + 1 :])


def plain(text):
    return re.sub(rb"\x1b\[[?0-9;]*[A-Za-z]|\r", b"", text)


shown = b""
since = 0  # where the terminal's text stood when the keys were typed
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    if len(steps) == 3 and not termios.tcgetattr(terminal)[3] & termios.ICANON:
        if steps[0] in plain(shown):
            os.write(terminal, steps[1])
            since = len(shown)
            steps = steps[2:]
    if len(steps) == 1 and steps[0] in plain(shown[since:]):
        os.close(terminal)
        break
    if not select.select([terminal], [], [], 0.05)[0]:
        continue
    try:
        data = os.read(terminal, 4096)
    except OSError:  # the command has ended and closed the terminal
        break
    if not data:
        break
    shown += data
sys.stdout.buffer.write(plain(shown))
while time.monotonic() < deadline:
    ended, status = os.waitpid(pid, os.WNOHANG)
    if ended:
        sys.exit(os.waitstatus_to_exitcode(status))
    time.sleep(0.05)
os.kill(pid, signal.SIGKILL)
sys.exit(124)
