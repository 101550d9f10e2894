#!/usr/bin/env bash
# tests/e2e: a start-up that fails ends the program. The real binary starts beside a CvLst.lst it may not read:
# the error report (a message box titled Corvana) appears, the main window is never mapped, not before the
# report, not beside it and not after it; once the report is dismissed the program exits with status 1 and the
# list file is as it was. Root reads any file, so as root the program runs as nobody.
# Usage: startup_error.sh PATH_TO_CORVANA [ARTIFACT_DIR]. Uses $DISPLAY, or starts its own Xvfb.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/world.sh"
e2e_begin startup-error "${2:-}"
e2e_needs xdotool xprop
e2e_use_display

cp "$binary" "$work/corvana"
write_list "$work/CvLst.lst" "A|http://127.0.0.1:9/a"
chmod 000 "$work/CvLst.lst"
mkdir -p "$work/home"
as_user=()
if [ "$(id -u)" = 0 ]; then
    chmod 755 "$work" "$work/home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

# Visible windows titled Corvana, each as "ID dialog" (the error report) or "ID window" (anything else: the main
# window). The main window exists unmapped all along, as the report's parent; only a mapped one counts.
corvana_windows() {
    local id type
    for id in $(xdotool search --onlyvisible --name '^Corvana$' 2>/dev/null); do
        type=$(xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null) || continue # gone meanwhile
        [[ $type == *"= _NET_WM_WINDOW_TYPE_DIALOG"* ]] && echo "$id dialog" || echo "$id window"
    done
}
never_mapped() { # TENTHS WHEN: for so many tenths of a second, or until corvana ends, no main window is mapped
    for _ in $(seq 1 "$1"); do
        alive || break
        grep -q ' window$' <<<"$(corvana_windows)" && fail "the main window was mapped $2"
        sleep 0.1
    done
}

(cd "$work" && exec env HOME="$work/home" "${as_user[@]}" ./corvana) >"$work/corvana.log" 2>&1 &
corvana_pid=$!

# Until the report shows (15 s at most), and for a second after: never the main window.
box=""
for _ in $(seq 1 150); do
    seen=$(corvana_windows)
    grep -q ' window$' <<<"$seen" && fail "the main window was mapped during a failed start-up"
    box=$(sed -n 's/ dialog$//p' <<<"$seen" | head -n1)
    [ -n "$box" ] && break
    alive || fail "corvana ended without showing the error report"
    sleep 0.1
done
[ -n "$box" ] || fail "no error report 15 s after start"
never_mapped 10 "beside the error report"
alive || fail "corvana ended while its error report was still up"
echo "error report $box shown: $(xdotool getwindowgeometry "$box" | tr '\n' ' ')"
shot report

# Dismiss it: the program ends (10 s at most), still without a window.
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key --clearmodifiers Return
never_mapped 100 "after the error report"
wait_for_exit 1 1
chmod 600 "$work/CvLst.lst"
list_is "$work/CvLst.lst" "A|http://127.0.0.1:9/a" || fail "the list file changed"
step "error report shown, no main window, exit status 1, list file unchanged"
