#!/usr/bin/python3
# bench/directory: waits for a window to be shown, by its title, and notes when the X server drew into it (the
# DAMAGE extension, through drawn.py), so that a bench sees when a window that asks for something by itself, as the
# search window does when it opens, shows the answer, without the program's help. python3-xlib only.
#
# Usage: watch_window.py TITLE_REGEX [--pid PID] [--seconds S] [--min-height PIXELS]
#
# Looks every 5 ms for a client window (the window manager's _NET_CLIENT_LIST) whose title matches the whole
# pattern, and with --pid whose _NET_WM_PID is PID, so that no other program's window is taken for it; prints
# "window <time> <id>" once found, then "paint <time> <x> <y> <width> <height>" for each area drawn in it that is
# at least --min-height pixels high (default 100: rows of a table, not a blinking cursor or a status line). Ends
# --seconds (default 30) after its start. Times are seconds since the epoch, the clock the directory's stand-in
# logs by.
import argparse
import re
import select
import time

from Xlib import X, display, error

from drawn import watch


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("title")
    parser.add_argument("--pid", type=int)
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--min-height", type=int, default=100)
    args = parser.parse_args()
    end = time.time() + args.seconds
    wanted = re.compile(args.title)

    d = display.Display()
    root = d.screen().root
    clients, name, utf8, pid = (d.intern_atom(a) for a in ("_NET_CLIENT_LIST", "_NET_WM_NAME", "UTF8_STRING",
                                                             "_NET_WM_PID"))

    def titled():
        listed = root.get_full_property(clients, X.AnyPropertyType)
        for wid in listed.value if listed else []:
            window = d.create_resource_object("window", wid)
            try:
                title = window.get_full_property(name, utf8)
                owner = window.get_full_property(pid, X.AnyPropertyType)
            except error.XError:  # gone while we looked
                continue
            if title and wanted.fullmatch(title.value.decode("utf-8", "replace")) and (
                    args.pid is None or (owner and owner.value[0] == args.pid)):
                return window
        return None

    window = None
    while window is None and time.time() < end:
        window = titled()
        if window is None:
            time.sleep(0.005)
    if window is None:
        return 1
    drawn = watch(d, window, args.min_height)
    print(f"window {time.time():.6f} {window.id:#x}", flush=True)
    while time.time() < end:
        for a in drawn():
            print(f"paint {time.time():.6f} {a.x} {a.y} {a.width} {a.height}", flush=True)
        select.select([d], [], [], max(0.0, end - time.time()))
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
