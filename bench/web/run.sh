#!/usr/bin/env bash
# bench/web: what pastes completed from a web that never answers cost the program: its threads during 10 pastes of
# 64 links to loopback listeners that never accept, and to names whose lookup hangs 60 s (an LD_PRELOAD shim on
# getaddrinfo, so nothing leaves the machine); how long Ctrl+V holds the window when the clipboard's owner never
# answers, or lists formats and never sends one (_NET_WM_PING round trips every 50 ms); 20 pastes under
# `ulimit -v` of the idle size + 150 MB; and, given an AddressSanitizer build, how long quitting mid-batch takes
# (closing the window, Ctrl+E, SIGTERM), with ASan watching. Each run starts the program anew on its own Xvfb,
# session bus (with the accessibility bus, to read the status line) and openbox; every link is on 127.0.0.1.
# Usage: bench/web/run.sh BUILD_DIR [ASAN_BUILD_DIR]   (WEB_PARTS="2 4" runs only those parts)
# (BUILD_DIR: a Release build, e.g. cmake -B build-rel -DCMAKE_BUILD_TYPE=Release; ASAN_BUILD_DIR: one configured
# with -DCMAKE_BUILD_TYPE=Debug -DCORVANA_SANITIZE=ON)
set -euo pipefail
build=$(cd "$1" && pwd)
asan=""
[ -n "${2:-}" ] && asan=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
. "$root/scripts/lib/install.sh"
corvana_install_packages "$root"/scripts/packages{,-test,-bench}.txt
cmake --build "$build" --target corvana >/dev/null
[ -z "$asan" ] || cmake --build "$asan" --target corvana >/dev/null

work=$(mktemp -d)
pids=() # stopped at exit, last first
app_pid=""
stop_app() {
    [ -n "$app_pid" ] || return 0
    kill -KILL "$app_pid" 2>/dev/null || true
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
}
cleanup() {
    set +e
    stop_app
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; wait "${pids[i]}" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
wait_for() { # SECONDS COMMAND...: every 0.1 s until it succeeds, bounded in time (a look may be slow) and in tries
    local deadline=$((SECONDS + $1)) n=$(($1 * 10)) i
    shift
    for ((i = 0; i < n; i++)); do "$@" && return 0; ((SECONDS < deadline)) || return 1; sleep 0.1; done
    return 1
}
now() { echo "${EPOCHREALTIME/,/.}"; }
screen() { /usr/bin/python3 "$root/tests/e2e/screen.py" "$@"; }

# --- The world: Xvfb, a private home, a session bus with the accessibility bus, openbox -----------------------------
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/display" || { echo "web: no Xvfb" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$work/display")"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" XDG_CONFIG_HOME="$work/home/.config" LANG=C.UTF-8
unset WAYLAND_DISPLAY SESSION_MANAGER DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS LC_ALL
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/bus" || { echo "web: no session bus" >&2; exit 1; }
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
wait_for 10 screen ready || { echo "web: no accessibility bus" >&2; exit 1; }
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || { echo "web: no openbox" >&2; exit 1; }

cc -shared -fPIC -O2 -o "$work/getaddrinfo_stall.so" "$here/getaddrinfo_stall.c" -ldl
/usr/bin/python3 "$here/stall_listener.py" --count 20 >"$work/listeners" &
pids+=($!)
wait_for 10 grep -qs ready "$work/listeners" || { echo "web: the listeners did not start" >&2; exit 1; }
read -r -a ports <"$work/listeners"

# --- The program -------------------------------------------------------------------------------------------------
start_app() { # BINARY [ENV=VALUE...]: a fresh copy with a one-station list; sets app_pid and window
    local binary=$1
    shift
    rm -rf "$work/app" && mkdir -p "$work/app"
    cp "$binary" "$work/app/corvana"
    printf 'Bench|http://127.0.0.1:9/none\r\n' >"$work/app/CvLst.lst"
    env QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$@" "${app_wrap[@]}" "$work/app/corvana" \
        >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_for 30 sh -c 'xdotool search --onlyvisible --name "^Corvana$" >"$0"' "$work/window" ||
        { echo "web: no window"; tail "$work/app.log"; exit 1; } >&2
    window=$(head -n1 "$work/window")
    wait_for 20 screen find "table cell" "Bench" >/dev/null || { echo "web: the list did not load" >&2; exit 1; }
    sleep 2 # the engine starts once the window is painted
    read -r x y <<<"$(screen find "table cell" "Bench")"
    xdotool mousemove "$x" "$y" click 1
}
app_wrap=()
keys() { xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true; xdotool key --clearmodifiers "$@"; }
status() { # the status line, as the accessibility bus shows it
    screen dump 2>/dev/null | sed -n "s/^ *label: '\(.*\)' '.*/\1/p" |
        grep -E '电台|没有|无法|取消|超过|正在|已' | tail -n1
}
says() { status | grep -q "$1"; }
threads() { awk '/^Threads:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
links() { # PASTE VARIANT PORT: the 64 links of one paste, every 8th a playlist (its body read, the others' heads
    # asked); by address, or each by a name of its own (Qt looks up one name at a time, so equal names would not
    # fill its pool)
    local i host=127.0.0.1 file
    for ((i = 1; i <= 64; i++)); do
        [ "$2" = named ] && host="stall-$1-$i.example"
        file=station$i
        ((i % 8)) || file=list$i.pls
        echo "http://$host:$3/paste$1/$file"
    done
}
paste_links() { # PASTE VARIANT: on the clipboard through xclip, then Ctrl+V on the list
    links "$1" "$2" "${ports[$((($1 - 1) % ${#ports[@]}))]}" |
        xclip -quiet -selection clipboard -t UTF8_STRING >/dev/null 2>&1 &
    pids+=($!)
    sleep 0.3
    keys ctrl+v
}
ended() { # PID: gone, a zombie, or being reaped (its stat unreadable, or "X", once the shell collects it)
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || true
    [ -z "$state" ] || [ "$state" = Z ] || [ "$state" = X ]
}
quit_time() { # HOW: quits the program (close, ctrl+e, term); sets quit to the seconds to its end, its status, and
    # "question" when a save question came (answered with its default); ends it at 30 s
    local how=$1 t0 t1 asked="" status=0 i gone=""
    t0=$(now)
    case $how in
    close) wmctrl -i -c "$window" || true ;;
    ctrl+e) keys ctrl+e || true ;;
    term) kill -TERM "$app_pid" 2>/dev/null || true ;;
    esac
    for ((i = 0; i < 3000; i++)); do
        ended "$app_pid" && gone=yes && break
        if ((i % 50 == 49)) && xdotool search --onlyvisible --name '^保存$' >/dev/null 2>&1; then
            asked=" question"
            xdotool key --clearmodifiers Return
        fi
        sleep 0.01
    done
    t1=$(now)
    [ -n "$gone" ] || ended "$app_pid" || asked+=" killed-at-30s"
    kill -KILL "$app_pid" 2>/dev/null || true
    wait "$app_pid" || status=$?
    app_pid=""
    quit=$(printf '%.3f s, status %s%s' "$(echo "$t1 - $t0" | bc -l)" "$status" "$asked")
}
rows() { screen dump 2>/dev/null | grep -c '^ *table cell: ' | awk '{print int($1 / 2)}'; }
batches_done() { # ACCEPTED: every accepted batch answered: its 56 streams added (a head that never came still
    # keeps its station, named by its host; the playlists fail)
    [ "$(rows)" -ge $((1 + 56 * $1)) ]
}
thread_names() { cat /proc/"$1"/task/*/comm 2>/dev/null | sort | uniq -c | awk '{printf "%s x%s, ", substr($0, index($0, $2)), $1}'; }

# --- 1. Threads during 10 pastes ----------------------------------------------------------------------------------
threads_during_pastes() {
    echo "== 1. threads (/proc/PID/status) during 10 pastes of 64 links (56 heads, 8 playlists), sampled every 100 ms"
    for variant in address named; do
        if [ "$variant" = named ]; then
            start_app "$build/corvana" LD_PRELOAD="$work/getaddrinfo_stall.so" STALL_SECONDS=60
        else
            start_app "$build/corvana"
        fi
        idle=$(threads "$app_pid")
        idle_names=$(thread_names "$app_pid")
        (for ((i = 0; i < 3000; i++)); do echo "$(now) $(threads "$app_pid")"; sleep 0.1; done) >"$work/samples" &
        sampler=$!
        pids+=($sampler)
        : >"$work/pastes"
        for p in $(seq 1 10); do
            paste_links "$p" "$variant"
            echo "$(now) $p $(status)" >>"$work/pastes"
        done
        sleep 3
        names=$(thread_names "$app_pid")
        accepted=$(grep -c ' 正在读取电台\.\.\.$' "$work/pastes" || true)
        wait_for 150 batches_done "$accepted" || true
        done_at=$(now)
        final=$(status)
        sleep 5
        settled=$(threads "$app_pid")
        kill "$sampler" 2>/dev/null || true
        echo "-- $variant: idle $idle threads ($idle_names); target: at most $((idle + 21))"
        awk -v idle="$idle" 'NR == FNR { at[FNR] = $1; n = FNR; next }
            { t = $1; v = $2; if (v == "") next; if (v > max) max = v
              k = 0; for (j = 1; j <= n; j++) if (t >= at[j]) k = j; if (v > per[k]) per[k] = v }
            END { printf "   max during the run: %d (idle + %d)\n   max after paste k:", max, max - idle
                  for (j = 1; j <= n; j++) printf " %d:%d", j, per[j]; printf "\n" }' "$work/pastes" "$work/samples"
        echo "   3 s after the last paste: $names"
        echo "   status after each paste:"
        sed 's/^[0-9.]* /     /' "$work/pastes"
        echo "   $accepted batches taken; $(($(rows) - 1)) stations added $(echo "$done_at - $(head -n1 "$work/pastes" |
            cut -d' ' -f1)" | bc -l | xargs printf '%.1f') s after the first paste; status: $final; threads 5 s later: $settled"
        stop_app
    done
}

# --- 2. The window while the clipboard's owner hangs --------------------------------------------------------------
window_while_clipboard_hangs() {
    echo "== 2. Ctrl+V while the clipboard's owner hangs: the longest _NET_WM_PING round trip (pings every 50 ms, 9 s)"
    start_app "$build/corvana"
    echo "   no paste (floor): $(/usr/bin/python3 "$here/ping_window.py" "$window" --seconds 3)"
    for mode in never formats-only; do
        : >"$work/owner.out"
        /usr/bin/python3 "$root/tests/support/clipboard_owner.py" --mode "$mode" >"$work/owner.out" \
            2>"$work/owner.log" &
        owner=$!
        pids+=($owner)
        wait_for 5 grep -q ready "$work/owner.out" || { echo "web: no $mode clipboard owner" >&2; exit 1; }
        /usr/bin/python3 "$here/ping_window.py" "$window" --seconds 9 >"$work/ping" &
        pinger=$!
        sleep 1
        keys ctrl+v
        wait "$pinger" || true
        wait_for 10 says 没有找到电台地址 || true
        echo "   $mode: $(cat "$work/ping") (Ctrl+V at 1.0); the owner was asked: $(sort "$work/owner.log" | uniq -c |
            xargs); status: $(status)"
        kill "$owner" 2>/dev/null || true
        wait "$owner" 2>/dev/null || true
        keys ctrl+s # the status line reads something else before the next paste
    done
    stop_app
}

# --- 3. 20 pastes under a memory limit ----------------------------------------------------------------------------
pastes_under_memory_limit() {
    echo "== 3. 20 pastes of 64 links under ulimit -v (idle VmSize + 150 MB)"
    start_app "$build/corvana"
    # The largest of 20 looks over 5 s: a thread's first allocation reserves a 64 MB arena, and one look right after
    # the start can come before the engine's threads have made theirs, which would take 64 MB off the limit.
    local sizes=() i
    for ((i = 0; i < 20; i++)); do
        sizes+=("$(awk '/^VmSize:/ {print $2}' "/proc/$app_pid/status")")
        sleep 0.25
    done
    idle_kb=$(printf '%s\n' "${sizes[@]}" | sort -n | tail -n1)
    idle_min=$(printf '%s\n' "${sizes[@]}" | sort -n | head -n1)
    stop_app
    limit_kb=$((idle_kb + 150 * 1024))
    echo "   idle VmSize $idle_kb kB (the smallest of 20 looks over 5 s: $idle_min kB); limit $limit_kb kB"
    for variant in address named; do
        app_wrap=(bash -c "ulimit -v $limit_kb && exec \"\$0\" \"\$@\"")
        if [ "$variant" = named ]; then
            start_app "$build/corvana" LD_PRELOAD="$work/getaddrinfo_stall.so" STALL_SECONDS=60
        else
            start_app "$build/corvana"
        fi
        app_wrap=()
        : >"$work/pastes"
        for p in $(seq 1 20); do
            paste_links "$((p + 100))" "$variant"
            echo "$(status)" >>"$work/pastes"
        done
        accepted=$(grep -c '^正在读取电台\.\.\.$' "$work/pastes" || true)
        wait_for 150 batches_done "$accepted" || true
        ok=no
        ended "$app_pid" || ok=yes
        echo "-- $variant: still running: $ok; $(awk '/^(VmPeak|VmSize|Threads):/ {printf "%s %s ", $1, $2}' \
            "/proc/$app_pid/status" 2>/dev/null)"
        echo "   status lines of the 20 pastes: $(sort "$work/pastes" | uniq -c | xargs)"
        echo "   the program said: $(grep -v '^$' "$work/app.log" | sort | uniq -c | sort -rn | head -n 5 | xargs)"
        if [ "$ok" = no ]; then
            wait "$app_pid" || echo "   ended with status $?"
            app_pid=""
            continue
        fi
        echo "   answers: $(/usr/bin/python3 "$here/ping_window.py" "$window" --seconds 1 || true)"
        echo "   $accepted batches taken, $(($(rows) - 1)) stations added; status at the end: $(status)"
        quit_time term
        echo "   quit (SIGTERM, the list changed): $quit"
    done
}

# --- 4. Quitting mid-batch under AddressSanitizer ------------------------------------------------------------------
quitting_mid_batch() {
    if [ -z "$asan" ]; then
        echo "== 4. skipped: no ASAN_BUILD_DIR given"
        return 0
    fi
    echo "== 4. quitting mid-batch under AddressSanitizer (64 links pasted 1.5 s before): seconds to the process's end"
    libasan=$(ldd "$asan/corvana" | awk '/libasan/ {print $3}')
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    p=200
    for variant in address named; do
        for how in close ctrl+e term; do
            if [ "$variant" = named ]; then
                # ASan's runtime comes first among the preloads, as it asks.
                start_app "$asan/corvana" LD_PRELOAD="$libasan $work/getaddrinfo_stall.so" STALL_SECONDS=60
            else
                start_app "$asan/corvana"
            fi
            p=$((p + 1))
            paste_links "$p" "$variant"
            sleep 1.5
            before=$(status)
            quit_time "$how"
            report=$(grep -cE 'ERROR: AddressSanitizer|runtime error|LeakSanitizer' "$work/app.log" || true)
            echo "   $variant, $how: $quit; status line before: $before; sanitizer reports: $report"
            [ "$report" = 0 ] || grep -E -A5 'ERROR: AddressSanitizer|runtime error' "$work/app.log" | head -n 20
        done
    done
}

for part in ${WEB_PARTS:-1 2 3 4}; do
    case $part in
    1) threads_during_pastes ;;
    2) window_while_clipboard_hangs ;;
    3) pastes_under_memory_limit ;;
    4) quitting_mid_batch ;;
    esac
done
