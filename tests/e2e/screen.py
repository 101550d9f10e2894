#!/usr/bin/python3
# tests/e2e: reads what a running program shows (Corvana, unless APP names another: a tray host), through the
# accessibility bus; it only looks. One look per run: the caller repeats it within its own time limit.
#
# Usage: screen.py ready                 the accessibility bus is up (starting it if need be)
#        screen.py find ROLE REGEX [APP] prints "X Y", the centre of a showing object with that role whose name
#                                        matches the whole pattern; exit 1 when there is none
#        screen.py described ROLE REGEX APP  the same, matching the description (where a host puts a tooltip)
#        screen.py shows REGEX           exit 0 when a showing object's name or description matches the pattern
#        screen.py value ROLE REGEX      prints the current value of a showing object with that role whose name
#                                        or description matches the whole pattern (a slider's position)
#        screen.py checked ROLE REGEX    exit 0 when a showing object with that role whose name matches the whole
#                                        pattern is checked (a menu item's mark, a toggle button pressed)
#        screen.py active                exit 0 when the main window is the active one as Corvana itself sees it
#        screen.py dump                  prints the tree (for a failing test's log)
import re
import sys

import pyatspi


def apps(name="Corvana"):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
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


def showing_objects(role, pattern, fields=("name",), app="Corvana"):
    """The showing objects of APP with that role whose name (or another field) matches the whole pattern."""
    wanted = re.compile(pattern)
    for top in apps(app):
        for node, _ in walk(top):
            try:
                if node.getRoleName() == role and showing(node) and any(
                        wanted.fullmatch(getattr(node, field) or "") for field in fields):
                    yield node
            except Exception:  # the object went away while we looked
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
    if argv[1:2] == ["active"]:
        for app in apps():
            for window, depth in walk(app):
                if depth == 1 and window.getRoleName() == "frame" and window.name == "Corvana" \
                        and window.getState().contains(pyatspi.STATE_ACTIVE):
                    return 0
        return 1
    if (len(argv) in (4, 5) and argv[1] == "find") or (len(argv) == 5 and argv[1] == "described"):
        field = "name" if argv[1] == "find" else "description"
        for node in showing_objects(argv[2], argv[3], (field,), argv[4] if len(argv) == 5 else "Corvana"):
            try:
                box = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            except Exception:
                continue
            print(box.x + box.width // 2, box.y + box.height // 2)
            return 0
        return 1
    if len(argv) == 4 and argv[1] == "checked":
        for node in showing_objects(argv[2], argv[3]):
            states = node.getState()
            return 0 if states.contains(pyatspi.STATE_CHECKED) or states.contains(pyatspi.STATE_PRESSED) else 1
        return 2
    if len(argv) == 4 and argv[1] == "value":
        for node in showing_objects(argv[2], argv[3], ("name", "description")):
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
    print("usage: screen.py ready | find ROLE REGEX [APP] | described ROLE REGEX APP | value ROLE REGEX"
          " | checked ROLE REGEX | shows REGEX | active | dump", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
