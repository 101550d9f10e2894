#!/usr/bin/python3
# bench/check: when the main window's status line first reads something, to a tenth of a second: finds Corvana's
# labels on the accessibility bus once (a walk of the whole tree takes about 0.3 s with 100 rows, too coarse to
# repeat), then reads their names every --interval seconds (0.1), one small call each. Prints "ready" once it
# holds the labels, then "T TEXT" (T: seconds since the epoch, when the read came back) for every new text of a
# label, and ends at the first that matches UNTIL in full (status 0), or after --seconds (120; status 1).
# Usage: status_watch.py UNTIL [--seconds S] [--interval I]
import argparse
import re
import sys
import time

import pyatspi


def labels():
    desktop = pyatspi.Registry.getDesktop(0)
    found = []
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is None or app.name != "Corvana":
            continue
        stack = [app]
        while stack:
            node = stack.pop()
            try:
                if node.getRoleName() == "label":
                    found.append(node)
                # Rows hold no label: the table's cells are not walked.
                if node.getRoleName() in ("table", "tree", "menu bar"):
                    continue
                stack.extend(c for c in (node.getChildAtIndex(k) for k in range(node.childCount)) if c)
            except Exception:  # gone while we looked
                continue
    return found


def name(node):
    # libatspi may answer from its cache: each read asks the program.
    try:
        node.clearCache()
    except Exception:
        pass
    try:
        return node.name or ""
    except Exception:
        return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("until")
    parser.add_argument("--seconds", type=float, default=120)
    parser.add_argument("--interval", type=float, default=0.1)
    args = parser.parse_args()
    wanted = re.compile(args.until)
    start = time.monotonic()
    found = []
    while not found and time.monotonic() - start < args.seconds:
        found = labels()
        if not found:
            time.sleep(0.5)
    print("ready", flush=True)
    last = [None] * len(found)
    while time.monotonic() - start < args.seconds:
        for i, node in enumerate(found):
            text = name(node)
            if text is None or text == last[i]:
                continue
            last[i] = text
            print(f"{time.time():.3f} {text}", flush=True)
            if wanted.fullmatch(text):
                return 0
        time.sleep(args.interval)
    return 1


if __name__ == "__main__":
    sys.exit(main())
