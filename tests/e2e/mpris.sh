#!/usr/bin/env bash
# tests/e2e: the desktop's media controls on the real binary, with playerctl (a client we did not write) as the
# remote. Starts its own world: Xvfb, a private session bus (with the accessibility bus it activates), PulseAudio
# with a null sink as the default sink, and icecast2 fed with a tone; stops all of it at the end. Prints every
# playerctl command and its answer, so a run's log is the transcript. A hung tray panel is on the bus throughout: a
# StatusNotifierWatcher that owns its name and never answers (CORVANA_SILENT_WATCHER, tests/support).
# Usage: mpris.sh PATH_TO_CORVANA [ARTIFACT_DIR]
#
#  0. The window shows within 10 s all the same (D-Bus's timeout is 25 s).
#  1. gdbus introspect shows org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player; playerctl -l lists corvana.
#  2. play right after start plays the first station: sound at the sink, status Playing, the stream's title.
#  3. next plays the second station: its address, name and stream title in the metadata, sound at the sink. On the
#     first station CanGoPrevious is false; next from the second-to-last reaches the last, where CanGoNext is false;
#     previous comes back.
#  4. volume 0.2 lowers the level at the sink; playerctl and the strip's volume slider both read it back.
#     OpenUri plays an address from outside the list and names it, not the station before it.
#  5. stop silences the sink, the status line reads "已停止播放", status says Stopped.
#  6. playerctl --follow, running throughout, saw each of these changes (the service sends PropertiesChanged).
#  7. With a station deleted through 列表 > 删除, Quit brings up the save question once (a second Quit or a play
#     while it is open changes nothing); Yes saves the list and the program ends with status 0. Before that, a Yes
#     whose save fails (the list file has become a folder): the window stays and answers within 2 s of the error
#     report, then the same Quit saves.
#  8. A second Corvana, started while the first runs, takes the well-known name once the first has ended:
#     playerctl -l lists corvana once, and Quit through that name ends the second.
set -euo pipefail
binary=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/world.sh"
e2e_begin mpris "${2:-}"
e2e_needs Xvfb dbus-daemon gdbus playerctl xdotool pulseaudio parec pactl icecast2 ffmpeg curl

# The remote. Every command and its answer go into the log, as a user at a terminal would see them.
answer=""
remote() { # ARGS...: runs playerctl once, prints the exchange, leaves the answer in $answer
    local rc=0
    answer=$(timeout 10 playerctl "$@" 2>&1) || rc=$?
    echo "\$ playerctl $*"
    [ -n "$answer" ] && printf '%s\n' "$answer"
    [ "$rc" = 0 ] || echo "(exit status $rc)"
    return "$rc"
}
quietly() { # ARGS...: the same without printing, for polls
    answer=$(timeout 10 playerctl "$@" 2>/dev/null) || return 1
}
await() { # SECONDS REGEX ARGS...: polls playerctl until its answer matches the whole pattern; prints the last
    local seconds=$1 want=$2
    shift 2
    local deadline=$((SECONDS + seconds)) tries=$((seconds * 5)) t
    for ((t = 0; t < tries && SECONDS < deadline; t++)); do
        if quietly "$@" && [[ $answer =~ ^($want)$ ]]; then break; fi
        sleep 0.2
    done
    remote "$@" || true
    [[ $answer =~ ^($want)$ ]]
}
player=(-p corvana)
mpris=(--session --dest org.mpris.MediaPlayer2.corvana --object-path /org/mpris/MediaPlayer2)
lists() { timeout 10 playerctl -l 2>/dev/null | grep -qx "$1"; } # NAME: playerctl -l lists that player

# --- The world -------------------------------------------------------------------------------------------------
e2e_start_display
e2e_private_home
e2e_start_bus --a11y
"${CORVANA_SILENT_WATCHER:-$(dirname "$binary")/tests/support/corvana_silent_watcher}" >"$work/watcher.log" 2>&1 &
e2e_started $!
wait_for 10 grep -q ready "$work/watcher.log" || fail "the silent StatusNotifierWatcher did not start"
# The tone is about -40 dBFS at the player's start volume of 50 and about -63 dBFS at 20 (the curve is cubic).
e2e_start_sound mpris
e2e_start_streams
title="Corvana Tone 440"
set_title "$title" || fail "icecast did not take the stream title"

# --- Corvana ---------------------------------------------------------------------------------------------------
cp "$binary" "$work/corvana"
write_list "$work/CvLst.lst" "中国之声|http://127.0.0.1:$PORT/mp3" "Ogg tone|http://127.0.0.1:$PORT/ogg" \
    "AAC 音乐台|http://127.0.0.1:$PORT/aac"
launched=$(date +%s.%N)
start_corvana env QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 # 10 s at most, the watcher silent
step "the window shows $(echo "$(date +%s.%N) - $launched" | bc) s after the start, the watcher silent"
wait_for 10 screen find "table cell" "中国之声" >/dev/null || fail "the list did not load"

# 1. On the bus.
wait_for 10 lists corvana || fail "playerctl -l does not list corvana"
remote -l
echo "\$ gdbus introspect ${mpris[*]}"
interfaces=$(timeout 10 gdbus introspect "${mpris[@]}") || fail "gdbus introspect failed"
grep -E '^ *interface ' <<<"$interfaces"
for interface in org.mpris.MediaPlayer2 org.mpris.MediaPlayer2.Player; do
    grep -qE "^ *interface $interface \{" <<<"$interfaces" || fail "introspection shows no $interface"
done
step "gdbus introspect shows both interfaces; playerctl -l lists corvana"
# A widget does not poll: it follows PropertiesChanged. So does playerctl --follow.
timeout 120 playerctl "${player[@]}" --follow metadata \
    --format '{{status}} {{volume}} {{xesam:album}} | {{title}} | {{xesam:url}}' >"$work/follow.log" 2>&1 &
e2e_started $!
sleep 1 # it prints nothing until something changes: give it the time to subscribe before the first change

# 2. Play, just started: the first station.
silent || fail "sound before anything was played"
remote "${player[@]}" status || true
remote "${player[@]}" play || fail "playerctl play failed"
wait_for 15 sounding || fail "no sound at the sink 15 s after play ($(level 1) dBFS)"
await 5 Playing "${player[@]}" status || fail "status does not say Playing"
await 15 "$title" "${player[@]}" metadata title || fail "metadata title is not the stream's title '$title'"
remote "${player[@]}" metadata
remote "${player[@]}" metadata xesam:url
[ "$answer" = "http://127.0.0.1:$PORT/mp3" ] || fail "play did not play the first station"
wait_for 5 screen find label "正在收听:中国之声" >/dev/null || fail "the status line does not name the first station"
shot playing
step "play: sound at the sink, status Playing, the stream's title, the first station"

# 3. Next: the second station.
can() { timeout 10 gdbus call "${mpris[@]}" --method org.freedesktop.DBus.Properties.Get \
    org.mpris.MediaPlayer2.Player "$1" | grep -o 'true\|false'; } # PROPERTY: true or false, as the bus shows it
[ "$(can CanGoPrevious)" = false ] && [ "$(can CanGoNext)" = true ] \
    || fail "on the first station: CanGoPrevious $(can CanGoPrevious), CanGoNext $(can CanGoNext)"
remote "${player[@]}" next || fail "playerctl next failed"
await 10 "http://127.0.0.1:$PORT/ogg" "${player[@]}" metadata xesam:url || fail "next did not move to the ogg station"
await 5 "Ogg tone" "${player[@]}" metadata xesam:album || fail "the metadata does not name the second station"
wait_for 5 screen find label "正在收听:Ogg tone" >/dev/null || fail "the status line does not name the second station"
# The Ogg stream names its own title: seeing it, the sound at the sink is this stream's, not the last one's tail.
await 15 "$(stream_state OGG_TITLE)" "${player[@]}" metadata title || fail "metadata title is not the Ogg stream's title"
wait_for 15 sounding || fail "no sound at the sink after next ($(level 1) dBFS)"
await 5 Playing "${player[@]}" status || fail "status does not say Playing after next"
remote "${player[@]}" metadata
step "next: the second station plays, named in the metadata and the status line"
remote "${player[@]}" next || fail "playerctl next failed on the second-to-last station"
await 10 "http://127.0.0.1:$PORT/aac" "${player[@]}" metadata xesam:url || fail "next did not reach the last station"
cannot_go_next() { [ "$(can CanGoNext)" = false ]; }
wait_for 5 cannot_go_next || fail "CanGoNext is $(can CanGoNext) on the last station"
[ "$(can CanGoPrevious)" = true ] || fail "CanGoPrevious is $(can CanGoPrevious) on the last station"
remote "${player[@]}" previous || fail "playerctl previous failed"
await 10 "http://127.0.0.1:$PORT/ogg" "${player[@]}" metadata xesam:url || fail "previous did not come back"
wait_for 15 sounding || fail "no sound at the sink after previous ($(level 1) dBFS)"
step "the list's ends: CanGoPrevious false on the first, next reaches the last, CanGoNext false there"

# 4. Volume.
remote "${player[@]}" volume || fail "playerctl volume failed"
start_volume=$(screen value slider "音量") || fail "no volume slider on the screen"
echo "(the strip's volume slider: $start_volume)"
before=$(level 1.0)
remote "${player[@]}" volume 0.2 || fail "playerctl volume 0.2 failed"
slider_at() { [ "$(screen value slider "音量")" = "$1" ]; }
wait_for 5 slider_at 20 || fail "the strip's volume slider reads $(screen value slider "音量"), not 20"
echo "(the strip's volume slider: 20)"
await 5 "0\.20*" "${player[@]}" volume || fail "playerctl volume does not read 0.2"
sleep 0.5
after=$(level 1.0)
/usr/bin/python3 -c "import sys; sys.exit(0 if $after < $before - 10 else 1)" \
    || fail "volume 0.2 did not lower the level ($before -> $after dBFS)"
silent && fail "volume 0.2 silenced the sink"
step "volume $start_volume -> 20: ${before} -> ${after} dBFS at the sink; playerctl and the slider read 20"

# An address from outside the list is named as itself, not as the station played before it.
opened="http://127.0.0.1:$PORT/mp3?opened"
opened_re=$(sed 's/[.?]/\\&/g' <<<"$opened")
remote "${player[@]}" open "$opened" || fail "playerctl open failed"
await 10 "$opened_re" "${player[@]}" metadata xesam:url || fail "OpenUri did not give the player the address"
await 5 "$opened_re" "${player[@]}" metadata xesam:album || fail "OpenUri's address is named as another station"
wait_for 5 screen find label "正在收听:$opened_re" >/dev/null || fail "the status line does not name that address"
step "OpenUri: the address plays, named as itself in the metadata and the status line"

# 5. Stop.
remote "${player[@]}" stop || fail "playerctl stop failed"
wait_for 5 silent || fail "stop did not silence the sink"
wait_for 5 screen find label "已停止播放" >/dev/null || fail "the status line does not read 已停止播放"
await 5 Stopped "${player[@]}" status || fail "status does not say Stopped"
shot stopped
step "stop: silence at the sink, 已停止播放, status Stopped"
followed() { grep -qE "$1" "$work/follow.log"; }
stopped_at_20() { [[ $(tail -n1 "$work/follow.log") =~ ^Stopped\ 0\.2 ]]; }
wait_for 5 stopped_at_20 || true
echo "(playerctl --follow, running since step 1, saw:)"
cat "$work/follow.log"
followed "^Playing 0\.5 中国之声 \| $title \| http://127\.0\.0\.1:$PORT/mp3$" \
    || fail "PropertiesChanged never showed the first station playing with its title"
followed "^Playing 0\.5 Ogg tone \| .* \| http://127\.0\.0\.1:$PORT/ogg$" \
    || fail "PropertiesChanged never showed the second station playing"
stopped_at_20 || fail "PropertiesChanged did not follow the volume and the stop"
step "playerctl --follow saw each change (PropertiesChanged)"

# 7. Delete the second station through 列表 > 删除, then Quit from the bus.
wait_for 5 click_at "table cell" "Ogg tone" || fail "no Ogg tone in the list"
wait_for 5 click_at "menu item" "列表" || fail "no 列表 menu"
wait_for 5 click_at "menu item" "删除" || fail "no 删除 entry"
gone() { ! screen find "$@" >/dev/null; }
wait_for 5 gone "table cell" "Ogg tone" || fail "删除 left the station in the list"
quit() {
    echo "\$ gdbus call ${mpris[*]} --method org.mpris.MediaPlayer2.Quit"
    timeout 10 gdbus call "${mpris[@]}" --method org.mpris.MediaPlayer2.Quit
}
asked() { [ "$(questions)" -ge 1 ]; }
list_before=$(sha256sum <"$work/CvLst.lst")
quit || fail "Quit failed"
wait_for 10 asked || fail "no save question after Quit (the program ended: $(alive && echo no || echo yes))"
[ "$(sha256sum <"$work/CvLst.lst")" = "$list_before" ] || fail "the file changed before the answer"
quit || fail "a second Quit failed"
sleep 1
alive || fail "a second Quit while the question was open ended the program"
[ "$(questions)" -eq 1 ] || fail "$(questions) save questions after a second Quit"
# Nor does a play request: the question stays the only thing the program does.
remote "${player[@]}" play || fail "playerctl play failed while the question was open"
silent || fail "play while the save question was open played"
remote "${player[@]}" status
[ "$answer" = Stopped ] || fail "status says $answer after play while the save question was open"
shot question
# A save that fails: the error report (titled Corvana, as the window), then the window whole again.
mv "$work/CvLst.lst" "$work/CvLst.kept" && mkdir -p "$work/CvLst.lst/in-the-way"
answer_yes
titled_corvana() { [ "$(xdotool search --onlyvisible --name '^Corvana$' 2>/dev/null | wc -l)" -eq "$1" ]; }
wait_for 10 titled_corvana 2 || fail "no error report after a save that failed"
report=$(xdotool search --onlyvisible --name '^Corvana$' | grep -vx "$window" | head -n1)
xdotool windowfocus --sync "$report" 2>/dev/null || true
xdotool key --clearmodifiers Return
dismissed=$(date +%s.%N)
wait_for 5 titled_corvana 1 || fail "the error report did not close"
answer=$(timeout 2 playerctl "${player[@]}" status 2>&1) \
    || fail "Corvana did not answer within 2 s of the error report ($answer)"
alive || fail "Corvana ended after its save failed"
step "failed save: the window stays and answers $(echo "$(date +%s.%N) - $dismissed" | bc) s after the report"
rm -r "$work/CvLst.lst" && mv "$work/CvLst.kept" "$work/CvLst.lst"

# 8. A second Corvana waits under its instance name while the first holds the well-known one.
mkdir "$work/second" && cp "$binary" "$work/second/corvana"
write_list "$work/second/CvLst.lst" "第二|http://127.0.0.1:$PORT/ogg"
QT_QPA_PLATFORM=xcb "$work/second/corvana" >"$work/second.log" 2>&1 &
second_pid=$!
e2e_started "$second_pid"
wait_for 10 lists "corvana.instance$second_pid" \
    || fail "the second Corvana is not on the bus as corvana.instance$second_pid"
remote -l

quit || fail "Quit failed"
wait_for 10 asked || fail "no save question after Quit"
answer_yes
wait_for_exit 15
list_is "$work/CvLst.lst" "中国之声|http://127.0.0.1:$PORT/mp3" "AAC 音乐台|http://127.0.0.1:$PORT/aac" \
    || fail "the saved list is not the two stations left, in code page 936"
step "Quit with a station deleted: one save question (a second Quit or play changed nothing), Yes saved, status 0"

owner_pid() { timeout 5 gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID org.mpris.MediaPlayer2.corvana 2>/dev/null |
    awk '{gsub(/[^0-9]/, "", $2); print $2}'; }
listed_once() { [ "$(timeout 10 playerctl -l 2>/dev/null)" = corvana ]; }
wait_for 10 listed_once || { remote -l; fail "playerctl -l does not list the second Corvana once, as corvana"; }
remote -l
[ "$(owner_pid)" = "$second_pid" ] || fail "org.mpris.MediaPlayer2.corvana is not the second Corvana's"
quit || fail "Quit through the well-known name failed"
wait_for 10 sh -c '! kill -0 "$0" 2>/dev/null' "$second_pid" || fail "the second Corvana did not end on Quit"
wait "$second_pid" || fail "the second Corvana ended with status $?"
step "the second Corvana took org.mpris.MediaPlayer2.corvana when the first ended; Quit through it ended it"
echo "mpris: all passed"
