#!/usr/bin/env bash
# tests/e2e: the signals that ask a program to end go through the window's normal shutdown, on the real binary
# under X. With the list modified (first station deleted), SIGTERM brings up the save question; a second
# SIGTERM while it is open changes nothing (no second question, no exit); Enter (Yes) writes the file and the
# program ends with status 0. The same with SIGHUP. With nothing modified, SIGTERM and SIGINT end it at once,
# status 0, the file untouched. With its output into a pipe whose reader has gone, and after SIGPIPE, it keeps
# running: the modified list still gets its question.
# Usage: signals.sh PATH_TO_CORVANA. Uses $DISPLAY, or starts its own Xvfb.
set -euo pipefail
binary=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/world.sh"
e2e_begin signals
e2e_needs xdotool
e2e_use_display

cp "$binary" "$work/corvana"
stations=("A|http://127.0.0.1:9/a" "电台|mms://127.0.0.1:9/b")
list() { write_list "$work/CvLst.lst" "${stations[@]}"; }
# A background job of a script starts with SIGINT ignored, which the program keeps: give it the default.
launch() { start_corvana env --default-signal=INT "$@"; }

modified_then() { # SIGNAL [broken-pipe]: delete the first station, send SIGNAL twice, answer Yes
  list
  if [ "${2:-}" = broken-pipe ]; then
    # Output into a pipe its reader closes after one byte; Qt's own logging writes on every mouse move.
    rm -f "$work/pipe" && mkfifo "$work/pipe"
    head -c1 <"$work/pipe" >/dev/null &
    corvana_out="$work/pipe" launch QT_LOGGING_RULES='qt.*=true'
    xdotool mousemove --window "$window" 30 200 mousemove --window "$window" 40 210
    kill -PIPE "$corvana_pid"
    sleep 0.5
    alive || fail "a write into a closed pipe, or SIGPIPE, ended the program"
  else
    launch
  fi
  delete_first_station
  sleep 0.3
  kill -"$1" "$corvana_pid"
  wait_for_window '^保存$' >/dev/null || fail "SIG$1: no save question (the program ended: $(alive && echo no || echo yes))"
  list_is "$work/CvLst.lst" "${stations[@]}" || fail "SIG$1: the file changed before the answer"
  kill -"$1" "$corvana_pid"
  sleep 1
  alive || fail "SIG$1: a second signal ended the program while the question was open"
  [ "$(questions)" -eq 1 ] || fail "SIG$1: $(questions) save questions after the second signal"
  answer_yes
  wait_for_exit
  list_is "$work/CvLst.lst" "${stations[1]}" || fail "SIG$1: Yes did not save the list"
  step "SIG$1 ${2:+($2) }asked once, a second SIG$1 changed nothing, Yes saved the list, status 0"
}

unmodified_then() { # SIGNAL: the program ends at once, the file untouched
  list
  launch
  kill -"$1" "$corvana_pid"
  wait_for_exit
  list_is "$work/CvLst.lst" "${stations[@]}" || fail "SIG$1: the file changed"
  step "SIG$1 with nothing modified ended the program at once, status 0"
}

modified_then TERM
modified_then HUP
modified_then TERM broken-pipe
unmodified_then TERM
unmodified_then INT
