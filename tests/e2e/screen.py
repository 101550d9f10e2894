#!/usr/bin/python3
# tests/e2e: reads what the running Corvana shows, through the accessibility bus; it only looks.
#
# Usage: screen.py ready                 the accessibility bus is up
#        screen.py find ROLE REGEX       prints "X Y", the centre of a showing object with that role whose name
#                                        matches the whole pattern; exit 1 when there is none
#        screen.py shows REGEX           exit 0 when a showing object's name or description matches the pattern
#        screen.py value ROLE REGEX      prints the current value of a showing object with that role whose name
#                                        or description matches the whole pattern (a slider's position)
#        screen.py checked ROLE REGEX    exit 0 when a showing object with that role whose name matches the whole
#                                        pattern is checked (a menu item's mark, a toggle button pressed)
#        screen.py dump                  prints the tree (for a failing test's log)
import re
import sys

import pyatspi


def apps():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Corvana":
            yield app


def walk(node, depth=0):
    yield node, depth
    if depth > 30:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child, depth + 1)


def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False


def showing_objects(role, pattern, or_description=False):
    """The showing objects with that role whose name (or description) matches the whole pattern."""
    wanted = re.compile(pattern)
    for app in apps():
        for node, _ in walk(app):
            try:
                named = wanted.fullmatch(node.name or "") or (
                    or_description and wanted.fullmatch(node.description or ""))
                if node.getRoleName() == role and named and showing(node):
                    yield node
            except Exception:
                continue


def main(argv):
    if argv[1:2] == ["ready"]:
        pyatspi.Registry.getDesktop(0)
        return 0
    if argv[1:2] == ["dump"]:
        for app in apps():
            for node, depth in walk(app):
                try:
                    print("  " * depth + f"{node.getRoleName()}: {node.name!r} {node.description!r}")
                except Exception:
                    pass
        return 0
    if len(argv) == 4 and argv[1] == "find":
        for node in showing_objects(argv[2], argv[3]):
            box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            print(box.x + box.width // 2, box.y + box.height // 2)
            return 0
        return 1
    if len(argv) == 4 and argv[1] == "checked":
        for node in showing_objects(argv[2], argv[3]):
            states = node.getState()
            return 0 if states.contains(pyatspi.STATE_CHECKED) or states.contains(pyatspi.STATE_PRESSED) else 1
        return 2
    if len(argv) == 4 and argv[1] == "value":
        for node in showing_objects(argv[2], argv[3], or_description=True):
            print(f"{node.queryValue().currentValue:g}")
            return 0
        return 1
    if len(argv) == 3 and argv[1] == "shows":
        wanted = re.compile(argv[2])
        for app in apps():
            for node, _ in walk(app):
                try:
                    if showing(node) and (wanted.search(node.name or "") or wanted.search(node.description or "")):
                        return 0
                except Exception:
                    continue
        return 1
    print("usage: screen.py ready | find ROLE REGEX | value ROLE REGEX | checked ROLE REGEX | shows REGEX | dump",
          file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
