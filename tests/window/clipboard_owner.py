#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Owns the X11 CLIPBOARD and serves FILE badly: clipboard_owner.py MODE FILE, MODE one of hang
(answers nothing), targets-only (lists its formats, never sends the text), die (ends after the
first piece of a transfer over 64 KiB), slow (pieces 0.3 s apart), html (text/html alone), text
(UTF8_STRING). But for html, another text is offered as text/html too, listed first, so that the
text counts only when plain text is taken first. Prints "ready" once it owns the clipboard. clipboard_owner.py close WINDOW asks WINDOW to close, as a window manager does; clipboard_owner.py drop-primary - takes the primary selection and leaves, so that no program holds it."""
import os
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event

mode, path = sys.argv[1], sys.argv[2]
d = display.Display()
if mode == "close":
    window = d.create_resource_object("window", int(path))
    protocols, delete = d.intern_atom("WM_PROTOCOLS"), d.intern_atom("WM_DELETE_WINDOW")
    window.send_event(event.ClientMessage(window=window, client_type=protocols,
        data=(32, [delete, X.CurrentTime, 0, 0, 0])))
    d.flush()
    sys.exit()
if mode == "drop-primary":
    d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent).set_selection_owner(
        Xatom.PRIMARY, X.CurrentTime)
    d.sync()
    sys.exit()
with open(path, "rb") as f:
    payload = f.read()
window = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
atom = d.intern_atom
clipboard, targets, incr = atom("CLIPBOARD"), atom("TARGETS"), atom("INCR")
offered = atom("text/html") if mode == "html" else atom("UTF8_STRING")
html = None if mode == "html" else atom("text/html")
window.set_selection_owner(clipboard, X.CurrentTime)
d.sync()
if d.get_selection_owner(clipboard) != window:
    sys.exit("could not own the clipboard")
print("ready", flush=True)


# Stores data in the requestor's property as kind and tells it so; without kind, refuses.
def answer(request, kind=None, size=8, data=b""):
    if kind:
        request.requestor.change_property(request.property, kind, size, data)
    request.requestor.send_event(event.SelectionNotify(time=request.time,
        requestor=request.requestor, selection=request.selection, target=request.target,
        property=request.property if kind else X.NONE))
    d.flush()


while True:
    request = d.next_event()
    if request.type != X.SelectionRequest or mode == "hang":
        continue
    if request.target == targets:
        answer(request, Xatom.ATOM, 32, [targets] + ([html] if html else []) + [offered])
    elif html and request.target == html:
        answer(request, html, 8, b"<p>HTML</p>")
    elif request.target != offered:
        answer(request)
    elif len(payload) > 65536:
        # Too large for one request: a transfer in pieces, each sent once the last is taken. The
        # owner that dies ends after the first piece.
        request.requestor.change_attributes(event_mask=X.PropertyChangeMask)
        answer(request, incr, 32, [len(payload)])
        pieces = [payload[i:i + 65536] for i in range(0, len(payload), 65536)] + [b""]
        while pieces:
            e = d.next_event()
            if e.type == X.PropertyNotify and e.state == X.PropertyDelete:
                if mode == "slow":
                    time.sleep(0.3)
                request.requestor.change_property(request.property, offered, 8, pieces.pop(0))
                d.flush()
                if mode == "die":
                    os._exit(0)
    elif mode != "targets-only":
        answer(request, offered, 8, payload)
