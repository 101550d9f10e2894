#!/usr/bin/python3
# tests/support: an X selection owner in a process of its own, as another program is. With --mode serve it offers
# each --offer TARGET FILE (the file's bytes, as a browser offers text/x-moz-url in UTF-16 beside its markup),
# which Qt cannot do from inside the program. It holds a paste up as a hung program does: with --mode never it
# answers no request at all; with --mode formats-only it lists its formats (TARGETS: plain text and UTF8_STRING)
# and never sends the data of any. Takes the selection on $DISPLAY, prints "ready" once it owns it, and ends when
# another owner takes it, on SIGTERM, or after --seconds (120).
#
# Usage: clipboard_owner.py --mode serve|never|formats-only [--offer TARGET FILE]... [--selection CLIPBOARD]
#                           [--seconds N]
import argparse
import select
import signal
import sys
import time

from Xlib import X, Xatom, display
from Xlib.protocol import event


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--mode", choices=("serve", "never", "formats-only"), required=True)
    parser.add_argument("--offer", nargs=2, action="append", default=[], metavar=("TARGET", "FILE"))
    parser.add_argument("--selection", default="CLIPBOARD")
    parser.add_argument("--seconds", type=float, default=120)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))

    x = display.Display()
    atom = x.intern_atom
    selection, targets = atom(args.selection), atom("TARGETS")
    offered = [targets, atom("UTF8_STRING"), atom("text/plain;charset=utf-8"), atom("text/plain"), Xatom.STRING]
    served = {atom(target): open(path, "rb").read() for target, path in args.offer}
    if args.mode == "serve":
        offered = [targets] + list(served)
    window = x.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent,
                                           event_mask=X.PropertyChangeMask)
    # A real timestamp for the ownership (ICCCM): the server's, from a property change of our own.
    window.change_property(atom("_STALLED_OWNER"), Xatom.STRING, 8, b"")
    while True:
        e = x.next_event()
        if e.type == X.PropertyNotify:
            break
    window.set_selection_owner(selection, e.time)
    if x.get_selection_owner(selection) != window:
        print("could not take the selection", file=sys.stderr)
        return 1
    print("ready", flush=True)

    deadline = time.monotonic() + args.seconds
    while time.monotonic() < deadline:
        if not x.pending_events():
            select.select([x.fileno()], [], [], min(0.5, max(0.0, deadline - time.monotonic())))
        while x.pending_events():
            e = x.next_event()
            if e.type == X.SelectionClear:
                return 0
            if e.type != X.SelectionRequest:
                continue
            asked = x.get_atom_name(e.target)
            into = e.property or e.target  # an obsolete requestor names no property
            if args.mode == "serve" and e.target != targets:
                if e.target in served:
                    e.requestor.change_property(into, e.target, 8, served[e.target])
                e.requestor.send_event(event.SelectionNotify(time=e.time, requestor=e.requestor,
                    selection=e.selection, target=e.target, property=into if e.target in served else X.NONE))
                x.flush()
            elif args.mode != "never" and e.target == targets:
                e.requestor.change_property(into, Xatom.ATOM, 32, offered)
                e.requestor.send_event(event.SelectionNotify(
                    time=e.time, requestor=e.requestor, selection=e.selection, target=e.target, property=into))
                x.flush()
                print(f"answered {asked}", file=sys.stderr, flush=True)
            else:
                # No SelectionNotify, not even a refusal: the requestor waits until it gives up.
                print(f"ignored {asked}", file=sys.stderr, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
