# bench/directory: what the X server drew into a window, as the DAMAGE extension reports it, so that a bench sees
# results reach the screen without the program's help. python3-xlib only; imported by the scripts beside it.
from Xlib.ext import damage


def watch(d, window, min_height):
    """Starts watching window on display d; returns a function that yields the areas drawn since its last call
    that are at least min_height pixels high (rows of a table, not a blinking cursor or a status line)."""
    if not d.has_extension("DAMAGE"):
        raise SystemExit("the display has no DAMAGE extension")
    d.damage_query_version()
    window.damage_create(damage.DamageReportRawRectangles)
    d.sync()

    def drawn():
        while d.pending_events():
            event = d.next_event()
            if event.type == d.extension_event.DamageNotify and event.area.height >= min_height:
                yield event.area

    return drawn
