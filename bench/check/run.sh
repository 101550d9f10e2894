#!/usr/bin/env bash
# bench/check: what 检查全部电台 costs on a list of 100 stations, half of them dead: the wall time from the menu's
# Return to the status line 检查了100个电台,50个无法连接, the program's threads idle before and at most during
# the check (/proc/PID/status every 100 ms), and whether the window answers throughout (a _NET_WM_PING every
# 50 ms during the check, bench/web/ping_window.py: the slowest answer and how many came back).
# The list, in this order over and over: a stream that answers (tests/support/hostile_server.py /silent?K: its
# head, audio/mpeg, then nothing), a port that refuses (bench/check/closed_ports.py), another stream that answers,
# one that never answers, in turn a request taken and never answered (hostile_server.py /never?K) and a listener
# whose backlog is full (bench/web/stall_listener.py: the connection itself never comes). 50 alive, 25 refused,
# 25 never answering, every address distinct and on 127.0.0.1.
# Each run starts the program anew (a copy of the binary with CvLst.lst beside it) on one Xvfb, session bus with
# the accessibility bus (to read the status line, bench/check/status_watch.py: to a tenth of a second) and
# openbox; right-clicks the list's third row, then 14 Down and Return on its menu (on a row neither first nor last,
# 检查全部电台 is the fourteenth entry enabled). Before that, 3 s of pings on the idle window give the floor. Prints
# each run and the medians, the threads' names at their highest and when their count changed, and what the
# stations' server was asked.
# Usage: bench/check/run.sh BUILD_DIR [RUNS]   (BUILD_DIR: a Release build, e.g.
# cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release; RUNS: 3)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
[ -n "${1:-}" ] || { sed -n '/^# Usage/,/^set/p' "$0" | sed '$d' >&2; exit 2; }
. "$root/scripts/lib/install.sh"
corvana_install_packages "$root"/scripts/packages{,-test,-bench}.txt
cmake --build "$1" --target corvana >/dev/null
build=$(cd "$1" && pwd)
runs=${2:-3}
. "$root/tests/e2e/lib/world.sh"
e2e_begin check-bench
# Every station is on loopback and must be asked directly: the fetcher follows the system's proxies.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
# The helpers of one run, stopped at any way out while they run (never a process already waited for).
helpers=()
e2e_on_exit() { local p; for p in "${helpers[@]}"; do kill "$p" 2>/dev/null; done; }
reaped() { local p kept=(); for p in "${helpers[@]}"; do [ "$p" = "$1" ] || kept+=("$p"); done; helpers=("${kept[@]}"); }
now() { echo "${EPOCHREALTIME/,/.}"; }
threads() { awk '/^Threads:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
thread_names() { cat /proc/"$1"/task/*/comm 2>/dev/null | sort | uniq -c | awk '{n = $1; $1 = ""; printf "%s x%s,", substr($0, 2), n}'; }

e2e_start_display
e2e_private_home
e2e_start_bus --a11y
e2e_start_window_manager

# --- The stations' servers ------------------------------------------------------------------------------------------
# hostile_server.py ends when its stdin closes: a pipe this shell holds open (not handed to the server itself).
mkfifo "$work/server.stdin"
exec 7<>"$work/server.stdin"
/usr/bin/python3 "$root/tests/support/hostile_server.py" --lifetime 1800 --connection-seconds 60 \
    <"$work/server.stdin" 7>&- >"$work/server.out" 2>"$work/server.log" &
e2e_started $!
/usr/bin/python3 "$here/closed_ports.py" --count 25 --seconds 1800 >"$work/closed" 7>&- &
e2e_started $!
/usr/bin/python3 "$root/bench/web/stall_listener.py" --count 12 --seconds 1800 >"$work/stalled" 7>&- &
e2e_started $!
wait_for 10 grep -qs '^PORT ' "$work/server.out" || fail "the stream server did not start"
wait_for 10 grep -qs ready "$work/closed" || fail "the refusing ports were not bound"
wait_for 10 grep -qs ready "$work/stalled" || fail "the stalled listeners did not start"
port=$(sed -n 's/^PORT //p' "$work/server.out")
read -r -a closed <"$work/closed"
read -r -a stalled <"$work/stalled"

# The list: 100 lines "name|address" in CR LF (ASCII: the same bytes in code page 936).
: >"$work/stations"
alive=0 refused=0 never=0
for ((i = 1; i <= 100; i++)); do
    case $((i % 4)) in
    1 | 3) alive=$((alive + 1)) && line="$(printf '%03d silent' "$i")|http://127.0.0.1:$port/silent?$alive" ;;
    2) line="$(printf '%03d refused' "$i")|http://127.0.0.1:${closed[refused]}/stream" && refused=$((refused + 1)) ;;
    0)
        never=$((never + 1))
        if ((never % 2)); then
            line="$(printf '%03d never' "$i")|http://127.0.0.1:$port/never?$never"
        else
            line="$(printf '%03d backlog' "$i")|http://127.0.0.1:${stalled[never / 2 - 1]}/stream"
        fi
        ;;
    esac
    printf '%s\r\n' "$line" >>"$work/stations"
done
cp "$build/corvana" "$work/corvana"

# --- One run ----------------------------------------------------------------------------------------------------------
sample_threads() { # PID OUT NAMES: "TIME COUNT" into OUT every 0.1 s, the threads' names into NAMES at each new
    # highest count; 200 s at most
    local max=0 i c
    for ((i = 0; i < 2000; i++)); do
        c=$(threads "$1") || break
        [ -n "$c" ] || break
        echo "$(now) $c" >>"$2"
        if ((c > max)); then
            max=$c
            echo "$c: $(thread_names "$1")" >>"$3"
        fi
        sleep 0.1
    done
}

menu_shown() { # a window of the program's besides the main one: the bus does not show the list's menu
    xdotool search --onlyvisible --pid "$corvana_pid" 2>/dev/null | grep -qvx "$window"
}

run_once() { # N: appends "N wall menu idle max after worst_ms answered sent worst_at floor_ms status" to
    # $work/runs (seconds from Return: wall to the last status line, menu to 正在检查; - for what never came)
    local n=$1 watcher pinger sampler x y t0 t_end t_start idle max after ping floor final wall menu
    cp "$work/stations" "$work/CvLst.lst"
    corvana_out="$work/corvana-$n.log" start_corvana env QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    wait_for 20 screen find "table cell" "003 silent" >/dev/null || fail "run $n: the list did not load"
    sleep 2 # the engine starts once the window is painted
    /usr/bin/python3 "$here/status_watch.py" '检查了[0-9]+个电台,.*' --seconds 150 >"$work/status-$n" &
    watcher=$!
    helpers=("$watcher")
    wait_for 20 grep -qs ready "$work/status-$n" || fail "run $n: the status line was not found"
    floor=$(/usr/bin/python3 "$root/bench/web/ping_window.py" "$window" --seconds 3 | awk '{print $2}')
    read -r x y <<<"$(screen find "table cell" "003 silent")"
    xdotool mousemove "$x" "$y" click 3
    wait_for 5 menu_shown || fail "run $n: the list's menu did not open"
    xdotool key --clearmodifiers --delay 40 Down Down Down Down Down Down Down Down Down Down Down Down Down Down
    sleep 0.3
    idle=$(threads "$corvana_pid")
    : >"$work/threads-$n"
    : >"$work/names-$n"
    sample_threads "$corvana_pid" "$work/threads-$n" "$work/names-$n" &
    sampler=$!
    helpers+=("$sampler")
    /usr/bin/python3 "$root/bench/web/ping_window.py" "$window" --seconds 150 >"$work/ping-$n" &
    pinger=$!
    helpers+=("$pinger")
    sleep 0.2
    t0=$(now)
    xdotool key --clearmodifiers Return
    wait "$watcher" || true
    reaped "$watcher"
    t_end=$(awk '/检查了/ {print $1; exit}' "$work/status-$n")
    t_start=$(awk '/正在检查/ {print $1; exit}' "$work/status-$n")
    final=$(sed -n 's/^[0-9.]* \(检查了.*\)/\1/p' "$work/status-$n" | head -n1)
    kill -TERM "$pinger" 2>/dev/null || true
    wait "$pinger" || true
    reaped "$pinger"
    ping=$(cat "$work/ping-$n")
    [ -n "$ping" ] || ping="max_ms - answered - of - longest_at -"
    sleep 3
    after=$(threads "$corvana_pid")
    kill "$sampler" 2>/dev/null || true
    wait "$sampler" 2>/dev/null || true
    reaped "$sampler"
    max=$(awk -v t0="$t0" -v t1="${t_end:-9e99}" '$1 >= t0 && $1 <= t1 && $2 > m {m = $2} END {print m + 0}' \
        "$work/threads-$n")
    wall=-
    [ -z "$t_end" ] || wall=$(echo "$t_end - $t0" | bc -l)
    menu=-
    [ -z "$t_start" ] || menu=$(echo "$t_start - $t0" | bc -l)
    echo "$n $wall $menu $idle $max $after $(awk '{print $2, $4, $6, $8}' <<<"$ping") $floor ${final:-none}" >>"$work/runs"
    echo "-- run $n: threads at their highest: $(tail -n1 "$work/names-$n")" >>"$work/notes"
    echo "   the count over time (s from Return: threads, at each change): $(awk -v t0="$t0" \
        '$2 != last { printf "%.1f: %s, ", $1 - t0, $2; last = $2 }' "$work/threads-$n")" >>"$work/notes"
    kill -KILL "$corvana_pid" 2>/dev/null || true
    wait "$corvana_pid" 2>/dev/null || true
    corvana_pid=""
}

echo "check-bench: 100 stations (50 alive, 25 refused, 13 never answered + 12 never accepted), $runs runs"
: >"$work/runs"
: >"$work/notes"
for ((r = 1; r <= runs; r++)); do
    run_once "$r"
done

/usr/bin/python3 - "$work/runs" <<'EOF'
import statistics, sys
rows = []
print("run  wall_s  menu_s  idle_thr  max_thr  thr_3s_after  worst_ping_ms  pings_answered  worst_at_s  floor_ms  status")
for line in open(sys.argv[1], encoding="utf-8"):
    p = line.split()
    if len(p) < 11 or "-" in p[1:11]:
        print(f"{p[0]:>3}  incomplete (- where nothing came): {line.strip()}")
        continue
    run, wall, menu = p[0], float(p[1]), float(p[2])
    idle, peak, after, worst, answered, sent, worst_at, floor = map(float, p[3:11])
    status = " ".join(p[11:])
    rows.append((wall, idle, peak, after, worst, answered, floor))
    print(f"{run:>3}  {wall:6.2f}  {menu:6.2f}  {idle:8.0f}  {peak:7.0f}  {after:12.0f}  {worst:13.0f}  "
          f"{answered:6.0f} of {sent:<5.0f}  {worst_at:10.2f}  {floor:8.0f}  {status}")
if rows:
    m = [statistics.median(r[k] for r in rows) for k in range(7)]
    print(f"median of {len(rows)}: wall {m[0]:.2f} s; threads idle {m[1]:.0f}, at most {m[2]:.0f}, 3 s after "
          f"{m[3]:.0f}; worst ping {m[4]:.0f} ms ({m[5]:.0f} answered); idle floor {m[6]:.0f} ms")
EOF
cat "$work/notes"
# What the stations' server was asked over all runs: each alive address once a run, each /never once a run.
curl -fsS "http://127.0.0.1:$port/count" | awk '
    $1 ~ /^\/silent\?/ { s[$2]++ } $1 ~ /^\/never\?/ { v[$2]++ }
    END { printf "server: /silent?K asked"; for (k in s) printf " %s time(s): %d addresses;", k, s[k]
          printf " /never?K asked"; for (k in v) printf " %s time(s): %d addresses;", k, v[k]; printf "\n" }'
