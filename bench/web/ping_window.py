#!/usr/bin/python3
# bench/web: how long a window's event loop is held: sends the window a _NET_WM_PING every --interval seconds
# (0.05) for --seconds (10) and times each answer (a Qt window answers on its GUI thread, to the root window).
# Prints "max_ms N answered M of K longest_at T" (T: seconds after the start when the slowest ping was sent); a
# ping not answered within --wait (30 s) counts as that long and ends the run. SIGTERM ends it early, printing
# the same for the pings sent so far, so that a caller can stop it when what it watches ends: one still unanswered
# then is left out of the counts, its wait so far still a candidate for max_ms (a window held then is not hidden).
# Usage: ping_window.py WINDOW_ID [--seconds S] [--interval I] [--wait W]
import argparse
import select
import signal
import sys
import time

from Xlib import X, display
from Xlib.protocol import event


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("window", type=lambda v: int(v, 0))
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--interval", type=float, default=0.05)
    parser.add_argument("--wait", type=float, default=30)
    args = parser.parse_args()
    stopped = []
    signal.signal(signal.SIGTERM, lambda *_: stopped.append(True))
    x = display.Display()
    root = x.screen().root
    # Qt answers to the root window, to those watching its structure (and to the window manager)
    root.change_attributes(event_mask=X.StructureNotifyMask)
    protocols, ping = x.intern_atom("WM_PROTOCOLS"), x.intern_atom("_NET_WM_PING")
    target = x.create_resource_object("window", args.window)
    start = time.monotonic()
    worst, worst_at, answered, sent, serial = 0.0, 0.0, 0, 0, 0
    while time.monotonic() - start < args.seconds and not stopped:
        serial += 1
        sent_at = time.monotonic()
        target.send_event(event.ClientMessage(window=target, client_type=protocols,
                                              data=(32, [ping, serial, args.window, 0, 0])), event_mask=0)
        x.flush()
        sent += 1
        got = False
        while not got and not stopped and time.monotonic() - sent_at < args.wait:
            if not x.pending_events():
                select.select([x.fileno()], [], [], 0.01)
            while x.pending_events():
                e = x.next_event()
                if e.type == X.ClientMessage and e.client_type == protocols and \
                        e.data[1][0] == ping and e.data[1][1] == serial:
                    got = True
        rtt = time.monotonic() - sent_at
        if rtt > worst:
            worst, worst_at = rtt, sent_at - start
        if stopped and not got:
            sent -= 1
            break
        if not got:
            break
        answered += 1
        time.sleep(max(0.0, args.interval - rtt))
    print(f"max_ms {worst * 1000:.0f} answered {answered} of {sent} longest_at {worst_at:.2f}")
    return 0 if answered == sent else 1


if __name__ == "__main__":
    sys.exit(main())
