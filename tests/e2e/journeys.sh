#!/usr/bin/env bash
# tests/e2e: Corvana as a user meets it, on the real binary with real sound. Starts its own world: Xvfb, openbox,
# trayer, a session bus with the accessibility bus, PulseAudio with a null sink as the default sink, and icecast2
# fed with a tone; stops all of it at the end. Reads the screen through the accessibility bus and the sound at the
# sink's monitor. Usage: journeys.sh PATH_TO_CORVANA [ARTIFACT_DIR]
#
#  1. Listen: double-click the second station (named in Chinese): sound at the sink, "正在收听:中国之声", the
#     stream's title in the strip. Two volume-ups raise the level. One mute state: muted from the strip's button,
#     unmuted from 控制 > 静音, muted and unmuted with Ctrl+O; the sink follows each step and both places show it.
#  2. The server is killed and started again mid-play: the sound comes back by itself.
#  3. Stop silences it and the status line reads "已停止播放"; the tray icon's menu plays and stops the same way.
#  4. Enter on a selected station plays it, as a double-click does.
#  5. A dead address: the strip says so, the program keeps running, the list stays as it was.
#  6. Paste with Ctrl+V: a link (text/uri-list), text with two links in it (one listed already), a playlist's text,
#     a directory's playlist of mirrors (titles with listener counts), a link copied from a web page (text/html),
#     a link copied in a browser (text/x-moz-url, text/html and text beside, from another program).
#  7. Ctrl+V while the clipboard's owner never answers, and while it lists its formats and never sends one: the
#     window answers again within one platform wait, and nothing is added.
#  8. Add a station through 文件 > 网络URL, close the window, answer Yes: the file holds every station in code
#     page 936.
#  9. Start again, Ctrl+C (the list's clear), Ctrl+Z, close: nothing is asked and the file stays byte for byte.
# 10. A station renamed from the list's right-click menu and saved; a copy (Ctrl+Insert) outlives the program.
set -euo pipefail
binary=$(readlink -f "$1")
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/world.sh"
e2e_begin journeys "${2:-}"
e2e_needs Xvfb dbus-daemon openbox trayer xclip xdotool xprop xwininfo pulseaudio parec pactl icecast2 ffmpeg curl

e2e_start_display
e2e_private_home
e2e_start_bus --a11y
e2e_start_window_manager
trayer --edge top --align right --widthtype request --height 24 --transparent false >"$work/trayer.log" 2>&1 &
e2e_started $!
# The tone is about -21 dBFS at full volume and -40 dBFS at the player's start volume of 50 (its curve is cubic).
e2e_start_sound journeys
e2e_start_streams
title="Corvana Tone 440"
set_title "$title"

# --- Corvana ---------------------------------------------------------------------------------------------------
cp "$binary" "$work/corvana"
write_list "$work/CvLst.lst" "Ogg tone|http://127.0.0.1:$PORT/ogg" "中国之声|http://127.0.0.1:$PORT/mp3"
start_corvana() {
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/corvana" >>"$work/corvana.log" 2>&1 &
    corvana_pid=$!
    wait_for 15 sh -c 'xdotool search --onlyvisible --name "^Corvana$" >"$0"' "$work/window" \
        || fail "no window titled Corvana"
    window=$(head -n1 "$work/window")
    wait_for 10 screen find "table cell" "中国之声" >/dev/null || fail "the list did not load"
}
keys() { xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true; xdotool key --clearmodifiers "$@"; }
. "$here/../../scripts/lib/tray.sh"
docked_icon() { corvana_docked_icon; }

start_corvana
silent || fail "sound before anything was played"

# 1. Listen.
read -r x y <<<"$(screen find "table cell" "中国之声")"
xdotool mousemove "$x" "$y" click --repeat 2 --delay 100 1
wait_for 15 sounding || fail "no sound at the sink 15 s after the double-click ($(level 1) dBFS; $(pactl list short sink-inputs | wc -l) streams)"
wait_for 5 screen find label "正在收听:中国之声" >/dev/null || fail "the status line does not name the station"
wait_for 15 screen shows "$title" || fail "the strip does not show the stream title"
shot playing
# The stream's tooltip over the strip's state line, for the screenshot: the pointer moves inside it, as a hand does.
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 60)) $((Y + 12)) sleep 0.3 mousemove $((X + 70)) $((Y + 14)) && sleep 2.5 && shot tooltip
step "double-click: sound at the sink, status line 正在收听:中国之声, title '$title' in the strip"

before=$(level 1.0)
keys ctrl+u ctrl+u
sleep 1
after=$(level 1.0)
/usr/bin/python3 -c "import sys; sys.exit(0 if $after > $before + 0.5 else 1)" \
    || fail "two volume-ups did not raise the level ($before -> $after dBFS)"
step "volume ${before} -> ${after} dBFS after two volume-ups"

# The strip's mute button, the menu's mark and Ctrl+O are one state: each drifted from the others once, after
# which Ctrl+O did nothing audible.
mute_role="check box" # how Qt shows a checkable tool button to a screen reader
strip_muted() { screen checked "$mute_role" "静音"; } # 0 pressed, 1 not, 2 no such button
menu_muted() { # opens 控制, reads 静音's mark, and leaves the menu open
    click_at "menu item" "控制" || return 2
    wait_for 5 screen find "menu item" "静音.*" >/dev/null || return 2
    screen checked "menu item" "静音.*"
}
click_at "$mute_role" "静音" || fail "no 静音 button in the strip"
wait_for 5 silent || fail "the strip's 静音 did not silence the sink"
strip_muted || fail "the strip's 静音 is not shown pressed after muting with it"
menu_muted || fail "控制 > 静音 is not marked after the strip muted"
click_at "menu item" "静音.*" || fail "no 静音 in the 控制 menu"
wait_for 5 sounding || fail "控制 > 静音 did not bring the sound back after the strip muted"
rc=0 && strip_muted || rc=$?
[ "$rc" = 1 ] || fail "the strip's 静音 is still pressed (or gone: $rc) after the menu unmuted"
keys ctrl+o
wait_for 5 silent || fail "Ctrl+O did not silence the sink"
strip_muted || fail "the strip's 静音 is not pressed after Ctrl+O"
menu_muted || fail "控制 > 静音 is not marked after Ctrl+O"
xdotool key Escape Escape
keys ctrl+o
wait_for 5 sounding || fail "Ctrl+O again did not restore the sound"
shot unmuted
step "mute: strip button -> silent, 控制 > 静音 -> sound, Ctrl+O -> silent, Ctrl+O -> sound; both places marked"

# 2. The server goes away and comes back on the same port.
e2e_stop_streams
wait_for 15 silent || fail "sound went on with the server gone"
e2e_start_streams "$PORT"
set_title "$title"
wait_for 45 sounding || fail "the sound did not come back after the server restarted"
alive || fail "Corvana ended while the server was away"
step "server killed and restarted: the sound came back by itself"

# 3. Stop from the menu bar, then Play and Stop from the tray icon's menu.
keys ctrl+s
wait_for 5 silent || fail "Stop did not silence the sink"
wait_for 5 screen find label "已停止播放" >/dev/null || fail "the status line does not read 已停止播放"
wait_for 15 docked_icon >/dev/null || fail "the tray icon did not dock"
icon=$(docked_icon)
xdotool mousemove --window "$icon" 8 8 click 3
wait_for 10 click_at "menu item" "播放" || fail "no 播放 in the tray icon's menu"
wait_for 15 sounding || fail "播放 from the tray did not bring the sound back"
wait_for 5 screen find label "正在收听:中国之声" >/dev/null || fail "tray 播放: wrong status line"
xdotool mousemove --window "$icon" 8 8 click 3
wait_for 10 click_at "menu item" "停止" || fail "no 停止 in the tray icon's menu"
wait_for 5 silent || fail "停止 from the tray did not silence the sink"
wait_for 5 screen find label "已停止播放" >/dev/null || fail "tray 停止: wrong status line"
step "Stop silences the sink; the tray menu's 播放 and 停止 do the same as the menu bar's"

# 4. Enter plays the selected station.
read -r x y <<<"$(screen find "table cell" "Ogg tone")"
xdotool mousemove "$x" "$y" click 1
keys Return
wait_for 15 sounding || fail "Enter on the selected station brought no sound"
wait_for 5 screen find label "正在收听:Ogg tone" >/dev/null || fail "Enter: the status line does not name the station"
keys ctrl+s
wait_for 5 silent || fail "Stop after Enter did not silence the sink"
step "Enter on the selected station: sound at the sink, status line 正在收听:Ogg tone"

# 5 and 8. Add a dead station through the menu, play it, then close and save.
click_at "menu item" "文件" || fail "no 文件 menu"
wait_for 5 click_at "menu item" "网络URL" || fail "no 网络URL entry"
wait_for 10 sh -c 'xdotool search --onlyvisible --name "^添加电台地址$" >"$0"' "$work/input" || fail "no input box"
xdotool windowactivate --sync "$(head -n1 "$work/input")" >/dev/null 2>&1 || true
xdotool type --delay 20 "Dead end|http://127.0.0.1:9/none"
xdotool key Return
wait_for 10 screen find "table cell" "Dead end" >/dev/null || fail "the added station is not in the list"
read -r x y <<<"$(screen find "table cell" "Dead end")"
xdotool mousemove "$x" "$y" click --repeat 2 --delay 100 1
wait_for 30 screen shows "无法连接" || fail "the strip does not say the address cannot be reached"
alive || fail "Corvana ended on a dead address"
screen find label "正在收听:Dead end" >/dev/null || fail "the status line changed unexpectedly"
silent || fail "sound from a dead address"
shot dead-address
step "dead address: the strip says 无法连接, the program runs on, the list and status line as expected"

# 6. Paste: what xclip holds, as a browser or a chat puts it on the clipboard.
paste() { # TYPE TEXT STATUS: Ctrl+V on the list, then the status line
    printf '%s' "$2" | xclip -quiet -selection clipboard -t "$1" >/dev/null 2>&1 &
    e2e_started $!
    sleep 0.3
    read -r x y <<<"$(screen find "table cell" "Ogg tone")"
    xdotool mousemove "$x" "$y" click 1
    keys ctrl+v
    wait_for 15 screen find label "$3" >/dev/null || fail "paste of '$2': the status line does not read $3"
}
paste text/uri-list "http://127.0.0.1:$PORT/aac" "已添加1个电台"
paste UTF8_STRING "听: http://127.0.0.1:$PORT/mp3-noburst, 还有 http://127.0.0.1:$PORT/mp3。" \
    "已添加1个电台,1个已在列表中"
paste UTF8_STRING $'[playlist]\nFile1=http://127.0.0.1:'"$PORT"$'/gbk\nTitle1=广播|一台 😀\nNumberOfEntries=1\n' \
    "已添加1个电台"
wait_for 5 screen find "table cell" "广播｜一台 😀" >/dev/null || fail "the playlist's title is not the new station's name"
# A directory's playlist of mirrors with listener counts, and a link copied from a web page.
paste UTF8_STRING $'[playlist]\nFile1=http://127.0.0.1:'"$PORT"$'/ogg?m=1\nTitle1=(#1 - 123/1000) 测试台 MP3\n'\
$'File2=http://127.0.0.1:'"$PORT"$'/ogg?m=2\nTitle2=(#2 - 45/500) 测试台 MP3\n' "已添加1个电台"
paste text/html '<meta charset="utf-8"><a href="http://127.0.0.1:'"$PORT"'/aac?page=1">网页 <b>电台</b></a>' \
    "已添加1个电台"
wait_for 5 screen find "table cell" "网页 电台" >/dev/null || fail "the link's text is not the new station's name"
# A link copied in a browser, from another program as a browser offers it (Qt cannot offer text/x-moz-url).
link="http://127.0.0.1:$PORT/mp3?copied=1"
printf '%s\n浏览器 链接' "$link" | iconv -t UTF-16LE >"$work/moz-url"
printf '<a href="%s">浏览器 <i>链接</i></a>' "$link" >"$work/link.html" && printf '%s' "$link" >"$work/link.txt"
/usr/bin/python3 "$here/../support/clipboard_owner.py" --mode serve --offer text/x-moz-url "$work/moz-url" \
    --offer text/html "$work/link.html" --offer UTF8_STRING "$work/link.txt" >"$work/owner-serve.out" &
e2e_started $! && wait_for 5 grep -q ready "$work/owner-serve.out" || fail "the browser-like owner did not start"
click_at "table cell" "Ogg tone" && keys ctrl+v
wait_for 15 screen find "table cell" "浏览器 链接" >/dev/null || fail "a browser's copied link is not named by its text"
alive || fail "Corvana ended on a paste"
shot pasted
step "Ctrl+V: a link, text with links (one listed already), a playlist's text, a directory's mirrors, a page's link, a browser's"

# 7. A paste never waits on a hung clipboard owner for more than one platform wait (Qt's X11 clipboard gives up on a
#    request after 5 s): one wait for the formats, or one for the data once the formats came.
for mode in never formats-only; do
    keys ctrl+s
    wait_for 5 screen find label "已停止播放" >/dev/null || fail "Ctrl+S before the $mode paste: no 已停止播放"
    /usr/bin/python3 "$here/../support/clipboard_owner.py" --mode "$mode" \
        >"$work/owner-$mode.out" 2>>"$work/owner.log" &
    owner=$! && e2e_started $owner
    wait_for 5 grep -q ready "$work/owner-$mode.out" || fail "the $mode clipboard owner did not take the clipboard"
    click_at "table cell" "Ogg tone" && keys ctrl+v && pressed=$SECONDS
    wait_for 8 screen find label "没有找到电台地址" >/dev/null && ((SECONDS - pressed <= 8)) \
        || fail "Ctrl+V with a $mode clipboard owner: no 没有找到电台地址 within 8 s"
    timeout 3 /usr/bin/python3 "$here/screen.py" find "table cell" "Ogg tone" >/dev/null \
        || fail "the window does not answer right after the $mode paste"
    kill "$owner" && wait "$owner" 2>/dev/null || true
done
step "Ctrl+V with a clipboard owner that never answers, and one that lists formats only: 没有找到电台地址 within 8 s"

keys alt+F4
wait_for 10 click_at "push button" "是.*|&?Yes" || fail "no save question with a Yes button"
wait_for_exit 15
list_is "$work/CvLst.lst" "Ogg tone|http://127.0.0.1:$PORT/ogg" "中国之声|http://127.0.0.1:$PORT/mp3" \
    "Dead end|http://127.0.0.1:9/none" "127.0.0.1|http://127.0.0.1:$PORT/aac" \
    "127.0.0.1|http://127.0.0.1:$PORT/mp3-noburst" "广播｜一台 😀|http://127.0.0.1:$PORT/gbk" \
    "测试台 MP3|http://127.0.0.1:$PORT/ogg?m=1" "网页 电台|http://127.0.0.1:$PORT/aac?page=1" "浏览器 链接|$link" \
    || fail "the saved list file is not every station in code page 936"
step "added through 文件 > 网络URL and pasted, closed, answered Yes: every line in code page 936"

# 9. Ctrl+C, the copy reflex, clears the list at once; Ctrl+Z brings it back, and closing then asks nothing.
cp "$work/CvLst.lst" "$work/before-clear.lst"
start_corvana
click_at "table cell" "Ogg tone" && keys ctrl+c
wait_for 5 sh -c '! /usr/bin/python3 "$0" find "table cell" "Ogg tone" >/dev/null' "$here/screen.py" \
    || fail "Ctrl+C did not clear the list"
shot cleared
keys ctrl+z
wait_for 5 screen find "table cell" "网页 电台" >/dev/null || fail "Ctrl+Z did not bring the stations back"
keys alt+F4
wait_for_exit 10
cmp -s "$work/CvLst.lst" "$work/before-clear.lst" || fail "the list file changed after Ctrl+C, Ctrl+Z and a close"
step "Ctrl+C, Ctrl+Z, close: nothing asked, the file byte for byte as it was"

# 10. The list's right-click menu: 重命名, typed, Enter, saved; and a copy outlives the program (a clipboard manager
#     of the desktop's kind takes it at the end).
/usr/bin/python3 "$here/../support/clipboard_manager.py" >"$work/manager.out" 2>&1 &
e2e_started $! && wait_for 5 grep -q ready "$work/manager.out" || fail "the clipboard manager did not start"
start_corvana
click_at "table cell" "Ogg tone" 3 && sleep 0.5 && shot list-menu
xdotool key Down Down Return # 播放, 重命名
sleep 0.5 && xdotool key ctrl+a type "Ogg radio" && keys Return ctrl+Insert
wait_for 5 screen find label "已复制1个电台链接" >/dev/null || fail "Ctrl+Insert did not copy the station"
keys alt+F4
wait_for 10 click_at "push button" "是.*|&?Yes" || fail "no save question after a rename"
wait_for_exit 15
grep -q "^Ogg radio|" "$work/CvLst.lst" || fail "the saved list does not hold the new name: $(cat "$work/CvLst.lst")"
[ "$(timeout 5 xclip -o -selection clipboard)" = "http://127.0.0.1:$PORT/ogg" ] || fail "the copy did not outlive Corvana"
step "right-click, 重命名, typed, Enter: saved under the new name; Ctrl+Insert's copy outlived the program"
echo "journeys: all passed"
