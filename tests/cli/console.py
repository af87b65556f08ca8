#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Runs a command in a pseudo-terminal, as a user at a console window would. For each pair WAIT
KEYS, in turn: once the terminal shows WAIT (after what was typed before) and is in raw mode
(wine's console then reads the keys itself), types KEYS (Python escapes: \\r is Enter). A last
WAIT without KEYS closes the terminal once it shows, as a user closes the window. Prints what the
terminal showed, without its escape sequences and carriage returns, and exits with the command's
status (124 when the whole run takes over a minute).
Usage: console.py [WAIT KEYS]... [WAIT] -- COMMAND..."""
import os
import pty
import re
import select
import signal
import sys
import termios
import time

split = sys.argv.index("--")
pairs, command = sys.argv[1:split], sys.argv[split + 1 :]
steps = [
    (wait.encode(), keys.encode("latin-1", "backslashreplace").decode("unicode_escape").encode())
    for wait, keys in zip(pairs[0::2], pairs[1::2])
]
close_on = pairs[-1].encode() if len(pairs) % 2 else None
pid, terminal = pty.fork()
if pid == 0:
    os.execvp(command[0], command)


def plain(text):
    return re.sub(rb"\x1b\[[?0-9;]*[A-Za-z]|\r", b"", text)


def shows(wait):
    return wait in plain(shown[since:])


shown = b""
since = 0  # where the terminal's text stood when the last keys were typed
deadline = time.monotonic() + 60
while time.monotonic() < deadline:
    if steps and not termios.tcgetattr(terminal)[3] & termios.ICANON and shows(steps[0][0]):
        os.write(terminal, steps.pop(0)[1])
        since = len(shown)
    if not steps and close_on is not None and shows(close_on):
        os.close(terminal)
        break
    ready, _, _ = select.select([terminal], [], [], 0.05)
    if not ready:
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
