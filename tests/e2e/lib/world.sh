# tests/e2e/lib: what every end-to-end test of the real binary needs, so that each test reads as its story. The
# helpers (fail, step, shot, wait_for, wait_for_window, wait_for_exit; start_corvana and answer_yes for the program
# and its save question), clean-up on every way out, and the pieces of a private world a test may start: an X
# display, a home, a session bus with the accessibility bus, a window manager, PulseAudio with a null sink, and
# icecast2 fed with a tone.
#
# Sourced:  . "$here/lib/world.sh"; e2e_begin NAME [ARTIFACT_DIR]
# On every way out the program (corvana_pid) is killed, a script's own e2e_on_exit runs, the stream server and
# every process given to e2e_started (its children first) are stopped, and the work folder goes. On a failure the
# run leaves a screenshot in ARTIFACT_DIR and prints the accessibility tree and the tail of each log first.
e2e_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
e2e_fixtures=$(cd "$e2e_here/../../fixtures" && pwd)

e2e_begin() { # NAME [ARTIFACT_DIR]
    e2e_name=$1
    artifacts=${2:-}
    work=$(mktemp -d)
    servers="$work/servers"
    e2e_pids=()
    e2e_a11y=""
    corvana_pid=""
    trap e2e_cleanup EXIT
}
fail() { echo "$e2e_name: FAIL: $*" >&2; exit 1; }
step() { echo "$e2e_name: ok: $*"; }
e2e_needs() { # TOOL...: exits at once, naming the first one missing
    local tool
    for tool; do command -v "$tool" >/dev/null || { echo "$e2e_name: needs $tool" >&2; exit 1; }; done
}
e2e_started() { e2e_pids+=("$@"); }
screen() { /usr/bin/python3 "$e2e_here/../screen.py" "$@"; }
click_at() { # ROLE REGEX [BUTTON]: clicks the centre of what the screen shows
    local where x y
    where=$(screen find "$1" "$2") || return 1
    read -r x y <<<"$where"
    xdotool mousemove "$x" "$y" click "${3:-1}"
}
shot() { # NAME: a screenshot of the whole display into ARTIFACT_DIR, when there is one
    [ -n "$artifacts" ] && [ -n "${DISPLAY:-}" ] && command -v import >/dev/null || return 0
    mkdir -p "$artifacts"
    import -window root "$artifacts/$e2e_name-$1.png" 2>/dev/null || true
}
wait_for() { # SECONDS COMMAND...: bounded in time (a check may itself take a while) and in tries
    local deadline=$((SECONDS + $1)) tries=$(($1 * 10)) t
    shift
    for ((t = 0; t < tries; t++)); do
        "$@" && return 0
        ((SECONDS < deadline)) || return 1
        sleep 0.1
    done
    return 1
}
alive() { [ -n "$corvana_pid" ] && kill -0 "$corvana_pid" 2>/dev/null; }
wait_for_window() { # TITLE_REGEX [SECONDS]: prints the id of a shown window so titled (10 s, less if corvana ends)
    wait_for "${2:-10}" e2e_shown_or_ended "$1" && [ -s "$work/shown" ] && head -n1 "$work/shown"
}
e2e_shown_or_ended() {
    xdotool search --onlyvisible --name "$1" >"$work/shown" 2>/dev/null
    [ -s "$work/shown" ] || { [ -n "$corvana_pid" ] && ! alive; }
}
start_corvana() { # [COMMAND...]: $work/corvana (its list file beside it) through COMMAND (env, say), its output into
    # $corvana_out (corvana.log); sets corvana_pid and window, focused, once the window shows ($corvana_wait s, 10)
    "$@" "$work/corvana" >"${corvana_out:-$work/corvana.log}" 2>&1 &
    corvana_pid=$!
    window=$(wait_for_window '^Corvana$' "${corvana_wait:-10}") || fail "no window titled Corvana"
    xdotool windowfocus --sync "$window" 2>/dev/null || true
}
delete_first_station() { # a click on the first row, then Del
    xdotool mousemove --window "$window" 60 130 click 1
    sleep 0.3
    xdotool key --clearmodifiers Delete
}
questions() { xdotool search --onlyvisible --name '^保存$' 2>/dev/null | wc -l; }
answer_yes() { # Enter on the save question, its default
    question=$(wait_for_window '^保存$') || fail "no save question"
    xdotool windowfocus --sync "$question" 2>/dev/null || true
    xdotool key --clearmodifiers Return
}
wait_for_exit() { # [SECONDS] [STATUS]: corvana ends in time (10 s) with that status (0)
    local seconds=${1:-10} want=${2:-0} status=0
    wait_for "$seconds" sh -c '! kill -0 "$0" 2>/dev/null' "$corvana_pid" ||
        fail "corvana still runs $seconds s after it was asked to close"
    wait "$corvana_pid" || status=$?
    corvana_pid=""
    [ "$status" = "$want" ] || fail "corvana ended with status $status, not $want"
}

# A list file as the program keeps it: "name|address" lines in code page 936, each ending in CR LF.
# Code page 936, with GB18030's four bytes for a character it does not have, as the program writes them.
e2e_list_bytes() { /usr/bin/python3 -c 'import sys; sys.stdout.buffer.write(b"".join(
    c.encode("gb18030" if c.encode("cp936", "ignore") == b"" else "cp936") for c in "".join(
    line + "\r\n" for line in sys.argv[1:])))' "$@"; }
write_list() { local file=$1; shift; e2e_list_bytes "$@" >"$file"; } # FILE LINE...
list_is() { # FILE LINE...: the file holds exactly these lines; shows what it holds when not
    local file=$1
    shift
    e2e_list_bytes "$@" | cmp -s - "$file" && return 0
    echo "$file holds:" >&2
    od -c "$file" | head -n 20 >&2
    return 1
}

e2e_descendants() {
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
        e2e_descendants "$child"
        echo "$child"
    done
}
e2e_cleanup() {
    local rc=$? i p log
    trap - EXIT
    set +e # everything below is tried, whatever fails
    if [ "$rc" -ne 0 ]; then
        shot failure
        [ -n "$e2e_a11y" ] && timeout 20 /usr/bin/python3 "$e2e_here/../screen.py" dump 2>/dev/null | tail -n 40
        for log in "$work"/*.log; do [ -f "$log" ] && { echo "--- $(basename "$log")"; tail -n 15 "$log"; }; done
    fi
    [ -n "$corvana_pid" ] && kill -KILL "$corvana_pid" 2>/dev/null
    declare -F e2e_on_exit >/dev/null && e2e_on_exit
    [ -f "$servers/state" ] && "$e2e_fixtures/icecast-stop" "$servers" >/dev/null 2>&1
    for ((i = ${#e2e_pids[@]} - 1; i >= 0; i--)); do
        for p in $(e2e_descendants "${e2e_pids[i]}"); do kill "$p" 2>/dev/null; done
        kill "${e2e_pids[i]}" 2>/dev/null
        wait "${e2e_pids[i]}" 2>/dev/null
    done
    rm -rf "$work"
    exit "$rc"
}

# --- The world ---------------------------------------------------------------------------------------------------
e2e_start_display() { # a private Xvfb, 1024x768 at 96 DPI
    # -noreset: otherwise the server resets when its last client leaves, and a program started just then is
    # refused ("could not connect to display"); a test that starts the program twice meets that at random.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    e2e_started $!
    wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
    DISPLAY=":$(head -n1 "$work/display")"
    export DISPLAY
    wait_for 10 xdpyinfo >/dev/null 2>&1 || fail "no display"
}
e2e_use_display() { # the display in $DISPLAY when it answers, a private one otherwise
    [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1 || e2e_start_display
}
e2e_private_home() { # HOME and the XDG folders below the work folder; nothing of the caller's session
    export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config"
    export XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share" LANG=C.UTF-8
    unset WAYLAND_DISPLAY SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS LC_ALL PULSE_SERVER
    mkdir -p "$HOME/.config/pulse" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
}
e2e_start_bus() { # [--a11y]: a session bus; with --a11y, also the accessibility bus it activates (for screen)
    dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >"$work/dbus.log" 2>&1 &
    e2e_started $!
    wait_for 10 test -s "$work/bus" || fail "no session bus"
    DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
    export DBUS_SESSION_BUS_ADDRESS
    if [ "${1:-}" = --a11y ]; then
        wait_for 10 screen ready || fail "no accessibility bus"
        e2e_a11y=1
    fi
}
e2e_start_window_manager() { # openbox
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    e2e_started $!
    wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
}
e2e_start_sound() { # SINK: PulseAudio with a null sink of that name as the default sink; clients find it through
    # PULSE_SERVER, as any client would. Then level [SECONDS] prints the sink's level in dBFS, and sounding and
    # silent tell apart the tone (about -40 dBFS at the player's start volume) and nothing.
    e2e_sink=$1
    echo "autospawn = no" >"$HOME/.config/pulse/client.conf"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --load="module-null-sink sink_name=$e2e_sink rate=44100" \
        --load="module-native-protocol-unix socket=$work/pulse.socket auth-anonymous=1" >"$work/pulseaudio.log" 2>&1 &
    e2e_started $!
    export PULSE_SERVER="unix:$work/pulse.socket"
    wait_for 10 pactl info >/dev/null 2>&1 || fail "PulseAudio did not start"
    pactl set-default-sink "$e2e_sink"
}
level() { /usr/bin/python3 "$e2e_here/../level.py" "$e2e_sink" "${1:-0.5}"; }
sounding() { [ "$(level 0.4 | cut -d. -f1)" -gt -60 ]; }
silent() { [ "$(level 0.4 | cut -d. -f1)" -lt -90 ]; }
e2e_start_streams() { # [PORT]: icecast2 with a tone on /mp3 and /ogg (on PORT again after a stop); sets PORT
    "$e2e_fixtures/icecast-start" "$servers" ${1:+"$1"} >>"$work/icecast.log" 2>&1 ||
        fail "the stream server did not start"
    [ "$(stream_state STATUS)" = ready ] || fail "stream server: $(stream_state STATUS)"
    PORT=$(stream_state PORT)
}
e2e_stop_streams() { "$e2e_fixtures/icecast-stop" "$servers" >/dev/null 2>&1; }
stream_state() { sed -n "s/^$1=//p" "$servers/state"; }
set_title() { # TITLE: what the /mp3 stream says is playing now
    curl -fsS -u "$(stream_state ADMIN_USER):$(stream_state ADMIN_PASSWORD)" \
        "http://127.0.0.1:$PORT/admin/metadata?mount=/mp3&mode=updinfo&charset=UTF-8&song=${1// /+}" >/dev/null
}
