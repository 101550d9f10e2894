#!/usr/bin/env bash
# tests/e2e: the real binary starts beside a CvLst.lst under X and shows its window with the list; Ctrl+E (the exit
# entry) closes it cleanly and leaves the list file as it was. A second run deletes the first station with a click
# and Del, and answers the save question with Enter (Yes): the file then holds the one station left.
# Usage: smoke.sh PATH_TO_CORVANA. Uses $DISPLAY, or starts its own Xvfb.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/xvfb.sh"

work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  corvana_stop_xvfb
  rm -rf "$work"
}
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 || corvana_start_xvfb

cp "$binary" "$work/corvana"
printf 'A|http://127.0.0.1:9/a\r\n\xB5\xE7\xCC\xA8|mms://127.0.0.1:9/b\r\n' > "$work/CvLst.lst"
before=$(sha256sum < "$work/CvLst.lst")

start_corvana() {
  "$work/corvana" > "$work/out.log" 2>&1 &
  pid=$!
  window=$(wait_for_window '^Corvana$') || { echo "no window titled Corvana"; cat "$work/out.log"; exit 1; }
  xdotool windowfocus --sync "$window" 2>/dev/null || true
}

wait_for_window() { # NAME_REGEX: prints the window id once a visible window has that title (10 s at most)
  local id
  for _ in $(seq 1 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

wait_for_exit() {
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "corvana still running 10 s after it was asked to close"
    exit 1
  fi
  local status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || { echo "corvana exited with $status"; cat "$work/out.log"; exit 1; }
}

# 1. Start, show, Ctrl+E: nothing asked, nothing written.
start_corvana
echo "window $window shown: $(xdotool getwindowgeometry "$window" | tr '\n' ' ')"
xdotool key --clearmodifiers ctrl+e
wait_for_exit
[ "$(sha256sum < "$work/CvLst.lst")" = "$before" ] || { echo "the list file changed"; exit 1; }

# 2. Start, click the first station, Del, Ctrl+E, Enter on the save question.
start_corvana
xdotool mousemove --window "$window" 60 130 click 1
sleep 0.3
xdotool key --clearmodifiers Delete
xdotool key --clearmodifiers ctrl+e
question=$(wait_for_window '^保存$') || { echo "no save question"; exit 1; }
xdotool windowfocus --sync "$question" 2>/dev/null || true
xdotool key --clearmodifiers Return
wait_for_exit
expected=$(printf '\xB5\xE7\xCC\xA8|mms://127.0.0.1:9/b\r\n' | sha256sum)
[ "$(sha256sum < "$work/CvLst.lst")" = "$expected" ] || { echo "unexpected list file:"; od -c "$work/CvLst.lst"; exit 1; }
echo "smoke: window shown; Ctrl+E closed it with status 0 and the file unchanged; Del + Yes saved the one station left"
