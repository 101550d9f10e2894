#!/usr/bin/python3
# bench/directory: types a search into a window as a hand does (XTEST, one key every --gap ms) and notes when the
# X server drew into that window afterwards (the DAMAGE extension, through drawn.py), so that the time from the last
# key to the results on the screen is measured without the program's help. python3-xlib only.
#
# Usage: type_and_watch.py WINDOW_ID TEXT [--gap MS] [--watch SECONDS] [--min-height PIXELS]
#
# Selects the field's text first (Ctrl+A), then types TEXT. Prints "key <time>" for the last key's release, then
# "paint <time> <x> <y> <width> <height>" for each area drawn in the window within --watch seconds (default 3)
# that is at least --min-height pixels high (default 100: rows of a table, not a blinking cursor or a status
# line). Times are seconds since the epoch, the clock the directory's stand-in logs by.
import argparse
import select
import time

from Xlib import X, XK, display
from Xlib.ext import xtest

from drawn import watch


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("window", type=lambda s: int(s, 0))
    parser.add_argument("text")
    parser.add_argument("--gap", type=float, default=60)
    parser.add_argument("--watch", type=float, default=3)
    parser.add_argument("--min-height", type=int, default=100)
    args = parser.parse_args()

    d = display.Display()
    drawn = watch(d, d.create_resource_object("window", args.window), args.min_height)

    def key(name, down):
        code = d.keysym_to_keycode(XK.string_to_keysym(name))
        xtest.fake_input(d, X.KeyPress if down else X.KeyRelease, code)

    key("Control_L", True), key("a", True), key("a", False), key("Control_L", False)
    d.sync()
    for c in args.text:
        time.sleep(args.gap / 1000)
        # What was drawn before the last key (the whole window at first, the field as it fills) is no answer.
        for _ in drawn():
            pass
        key(c, True)
        key(c, False)
        d.sync()
    print(f"key {time.time():.6f}", flush=True)

    end = time.time() + args.watch
    while time.time() < end:
        for a in drawn():
            print(f"paint {time.time():.6f} {a.x} {a.y} {a.width} {a.height}", flush=True)
        select.select([d], [], [], max(0.0, end - time.time()))


if __name__ == "__main__":
    main()
