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
#  4. A dead address: the strip says so, the program keeps running, the list stays as it was.
#  5. Add a station through 文件 > 网络URL, close the window, answer Yes: the file holds three lines in code page 936.
set -euo pipefail
binary=$(readlink -f "$1")
artifacts=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
fixtures="$here/../../scripts/fixtures"
screen() { /usr/bin/python3 "$here/screen.py" "$@"; }

for tool in Xvfb dbus-daemon openbox trayer xdotool xprop xwininfo pulseaudio parec pactl icecast2 ffmpeg curl; do
    command -v "$tool" >/dev/null || { echo "journeys: needs $tool" >&2; exit 1; }
done

work=$(mktemp -d)
declare -a started=()
corvana_pid=""
servers="$work/servers"

descendants() {
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
        descendants "$child"
        echo "$child"
    done
}
cleanup() {
    local rc=$? pid
    if [ "$rc" -ne 0 ]; then
        shot failure || true
        screen dump 2>/dev/null | tail -n 40 || true
        for log in "$work"/*.log; do echo "--- $(basename "$log")"; tail -n 15 "$log"; done
    fi
    [ -n "$corvana_pid" ] && kill "$corvana_pid" 2>/dev/null || true
    "$fixtures/icecast-stop" "$servers" >/dev/null 2>&1 || true
    for ((i = ${#started[@]} - 1; i >= 0; i--)); do
        pid=${started[i]}
        for p in $(descendants "$pid"); do kill "$p" 2>/dev/null || true; done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "journeys: $*" >&2; exit 1; }
step() { echo "journeys: $*"; }
shot() {
    [ -n "$artifacts" ] && command -v import >/dev/null || return 0
    mkdir -p "$artifacts"
    import -window root "$artifacts/journey-$1.png" 2>/dev/null || true
}
wait_for() { # SECONDS COMMAND...
    local tries=$(($1 * 10))
    shift
    for ((t = 0; t < tries; t++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# --- The world -------------------------------------------------------------------------------------------------
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
started+=($!)
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
export XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share" LANG=C.UTF-8
unset WAYLAND_DISPLAY SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS LC_ALL PULSE_SERVER
mkdir -p "$HOME/.config/pulse" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >"$work/dbus.log" 2>&1 &
started+=($!)
wait_for 10 test -s "$work/bus" || fail "no session bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
wait_for 10 screen ready || fail "no accessibility bus"
openbox --sm-disable >"$work/openbox.log" 2>&1 &
started+=($!)
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
trayer --edge top --align right --widthtype request --height 24 --transparent false >"$work/trayer.log" 2>&1 &
started+=($!)

# The sound server: a null sink is the default sink; clients find it through PULSE_SERVER, as any client would.
echo "autospawn = no" >"$HOME/.config/pulse/client.conf"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
    --load="module-null-sink sink_name=journeys rate=44100" \
    --load="module-native-protocol-unix socket=$work/pulse.socket auth-anonymous=1" >"$work/pulseaudio.log" 2>&1 &
started+=($!)
export PULSE_SERVER="unix:$work/pulse.socket"
wait_for 10 pactl info >/dev/null 2>&1 || fail "PulseAudio did not start"
pactl set-default-sink journeys
level() { /usr/bin/python3 "$here/level.py" journeys "${1:-0.5}"; }
# The tone is about -21 dBFS at full volume and -40 dBFS at the player's start volume of 50 (its curve is cubic).
sounding() { [ "$(level 0.4 | cut -d. -f1)" -gt -60 ]; }
silent() { [ "$(level 0.4 | cut -d. -f1)" -lt -90 ]; }

"$fixtures/icecast-start" "$servers" >"$work/icecast.log" 2>&1 || fail "the stream server did not start"
state() { sed -n "s/^$1=//p" "$servers/state"; }
[ "$(state STATUS)" = ready ] || fail "stream server: $(state STATUS)"
PORT=$(state PORT)
title="Corvana Tone 440"
set_title() {
    curl -fsS -u "$(state ADMIN_USER):$(state ADMIN_PASSWORD)" \
        "http://127.0.0.1:$PORT/admin/metadata?mount=/mp3&mode=updinfo&charset=UTF-8&song=${title// /+}" >/dev/null
}
set_title

# --- Corvana ---------------------------------------------------------------------------------------------------
cp "$binary" "$work/corvana"
/usr/bin/python3 - "$work/CvLst.lst" "$PORT" <<'PY'
import sys
path, port = sys.argv[1], sys.argv[2]
with open(path, "wb") as f:
    f.write(f"Ogg tone|http://127.0.0.1:{port}/ogg\r\n中国之声|http://127.0.0.1:{port}/mp3\r\n".encode("cp936"))
PY
start_corvana() {
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/corvana" >>"$work/corvana.log" 2>&1 &
    corvana_pid=$!
    wait_for 15 sh -c 'xdotool search --onlyvisible --name "^Corvana$" >"$0"' "$work/window" \
        || fail "no window titled Corvana"
    window=$(head -n1 "$work/window")
    wait_for 10 screen find "table cell" "中国之声" >/dev/null || fail "the list did not load"
}
click_at() { # ROLE REGEX [BUTTON]: clicks the centre of what the screen shows
    local where
    where=$(screen find "$1" "$2") || return 1
    read -r x y <<<"$where"
    xdotool mousemove "$x" "$y" click "${3:-1}"
}
keys() { xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true; xdotool key --clearmodifiers "$@"; }
. "$here/../../scripts/lib/tray.sh"
docked_icon() { corvana_docked_icon; }
alive() { kill -0 "$corvana_pid" 2>/dev/null; }

start_corvana
silent || fail "sound before anything was played"

# 1. Listen.
read -r x y <<<"$(screen find "table cell" "中国之声")"
xdotool mousemove "$x" "$y" click --repeat 2 --delay 100 1
wait_for 15 sounding || fail "no sound at the sink 15 s after the double-click ($(level 1) dBFS; $(pactl list short sink-inputs | wc -l) streams)"
wait_for 5 screen find label "正在收听:中国之声" >/dev/null || fail "the status line does not name the station"
wait_for 15 screen shows "$title" || fail "the strip does not show the stream title"
shot playing
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
"$fixtures/icecast-stop" "$servers" >/dev/null 2>&1
wait_for 15 silent || fail "sound went on with the server gone"
"$fixtures/icecast-start" "$servers" "$PORT" >>"$work/icecast.log" 2>&1 || fail "the stream server did not restart"
set_title
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

# 4 and 5. Add a dead station through the menu, play it, then close and save.
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

keys alt+F4
wait_for 10 click_at "push button" "是.*|&?Yes" || fail "no save question with a Yes button"
wait_for 15 sh -c '! kill -0 "$0" 2>/dev/null' "$corvana_pid" || fail "Corvana still runs after Yes"
status=0
wait "$corvana_pid" || status=$?
corvana_pid=""
[ "$status" = 0 ] || fail "Corvana ended with status $status"
/usr/bin/python3 - "$work/CvLst.lst" "$PORT" <<'PY' || fail "the saved list file is not the three stations in code page 936"
import sys
path, port = sys.argv[1], sys.argv[2]
want = (f"Ogg tone|http://127.0.0.1:{port}/ogg\r\n中国之声|http://127.0.0.1:{port}/mp3\r\n"
        "Dead end|http://127.0.0.1:9/none\r\n").encode("cp936")
got = open(path, "rb").read()
if got != want:
    print("got", got, "\nwant", want)
    sys.exit(1)
PY
step "added through 文件 > 网络URL, closed, answered Yes: three lines in code page 936"
echo "journeys: all passed"
