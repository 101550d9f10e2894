#!/usr/bin/python3
# tests/support: a clipboard manager as a desktop runs one, for the test that what a program copied outlives it:
# owns CLIPBOARD_MANAGER on $DISPLAY; asked to SAVE_TARGETS (what a quitting program asks), it reads every target
# the clipboard's owner offers, takes the clipboard and serves them on. Prints "ready" once it runs and "saved N
# targets" after each hand-over; ends on SIGTERM or after --seconds (120).
#
# Usage: clipboard_manager.py [--seconds N]
import argparse
import select
import signal
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--seconds", type=float, default=120)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    x = display.Display()
    atom = x.intern_atom
    manager, clipboard, targets, save = (atom(n) for n in ("CLIPBOARD_MANAGER", "CLIPBOARD", "TARGETS", "SAVE_TARGETS"))
    window = x.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent, event_mask=X.PropertyChangeMask)
    window.change_property(atom("_MANAGER"), Xatom.STRING, 8, b"")
    while x.next_event().type != X.PropertyNotify:
        pass
    window.set_selection_owner(manager, X.CurrentTime)
    print("ready", flush=True)
    saved, deadline = {}, time.monotonic() + args.seconds

    def fetch(target):  # one target of the clipboard's owner, through a property of our own; None if refused
        window.convert_selection(clipboard, target, atom("_FETCHED"), X.CurrentTime)
        x.flush()
        until = time.monotonic() + 5
        while time.monotonic() < until:
            e = x.next_event()
            if e.type == X.SelectionNotify and e.target == target:
                if e.property == X.NONE:
                    return None
                reply = window.get_full_property(atom("_FETCHED"), X.AnyPropertyType)
                return reply and (reply.property_type, reply.format, reply.value)
        return None

    while time.monotonic() < deadline:
        if not x.pending_events():
            select.select([x.fileno()], [], [], 0.5)
        while x.pending_events():
            e = x.next_event()
            if e.type != X.SelectionRequest:
                continue
            into, ok = e.property or e.target, True
            if e.selection == manager and e.target == save:
                offered = fetch(targets)
                skip = {targets, save, atom("MULTIPLE"), atom("TIMESTAMP")}
                saved = {t: d for t in (offered[2] if offered else []) if t not in skip and (d := fetch(t))}
                window.set_selection_owner(clipboard, X.CurrentTime)
                print(f"saved {len(saved)} targets", flush=True)
            elif e.selection == clipboard and e.target == targets:
                e.requestor.change_property(into, Xatom.ATOM, 32, [targets] + list(saved))
            elif e.selection == clipboard and e.target in saved:
                kind, bits, value = saved[e.target]
                e.requestor.change_property(into, kind, bits, value)
            else:
                ok = False
            e.requestor.send_event(event.SelectionNotify(time=e.time, requestor=e.requestor, selection=e.selection,
                                                         target=e.target, property=into if ok else X.NONE))
            x.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
