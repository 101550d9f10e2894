#!/usr/bin/env bash
# bench/cpu: CPU time while playing a 128 kbps MP3 stream for SECONDS (default 30), Corvana beside
# `mpv --no-config`, on a local icecast2 into a PulseAudio null sink; and the wake-ups of the idle program
# (context switches of all its threads over 10 s with nothing playing). Run by hand:
#   bench/cpu/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/install.sh"
corvana_install_packages "$here"/../../scripts/packages{,-test,-bench}.txt
cmake --build "$build" --target corvana >/dev/null

. "$here/../lib/world.sh"
bench_world_start
url="http://127.0.0.1:$port/mp3"

ticks() { # PID: user + system clock ticks of the process and all its threads
    awk '{print $14 + $15}' "/proc/$1/stat"
}
switches() { # PID: voluntary + involuntary context switches over all threads
    cat /proc/"$1"/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}'
}
hz=$(getconf CLK_TCK)
level() { /usr/bin/python3 "$here/../../tests/e2e/level.py" bench 0.5 | cut -d. -f1; }
playing_cpu() { # NAME PID: after checking that it is audible, the CPU seconds PID spends over $seconds
    [ "$(level)" -gt -60 ] || { echo "cpu: $1 is not playing (no sound at the sink)" >&2; exit 1; }
    local t0 t1
    t0=$(ticks "$2")
    sleep "$seconds"
    t1=$(ticks "$2")
    echo "($t1 - $t0) / $hz" | bc -l
}

mkdir -p "$work/app"
cp "$build/corvana" "$work/app/corvana"
printf 'Tone|%s\r\n' "$url" >"$work/app/CvLst.lst"
"$work/app/corvana" >/dev/null 2>&1 &
corvana=$!
pids+=($corvana)
wait_for 15 sh -c 'xdotool search --onlyvisible --name "^Corvana$" >/dev/null'
sleep 2
s0=$(switches "$corvana")
sleep 10
s1=$(switches "$corvana")
idle_switches=$((s1 - s0))

# Play: a double-click on the first row.
read -r wx wy < <(xdotool search --onlyvisible --name '^Corvana$' | head -n1 | xargs xdotool getwindowgeometry --shell | awk -F= '/^X=|^Y=/ {printf "%s ", $2} END {print ""}')
xdotool mousemove $((wx + 40)) $((wy + 124)) click --repeat 2 --delay 100 1
sleep 3
corvana_cpu=$(playing_cpu Corvana "$corvana")
kill "$corvana"

mpv --no-config --no-video --really-quiet "$url" &
mpv=$!
pids+=($mpv)
sleep 3
mpv_cpu=$(playing_cpu mpv "$mpv")
kill "$mpv"

echo "cpu: ${seconds} s of a 128 kbps MP3 stream from a local icecast2 into a PulseAudio null sink"
printf '%-26s %12s %12s %8s\n' "" "CPU seconds" "% of a core" "ratio"
printf '%-26s %12.2f %12.2f %8s\n' "mpv --no-config (peer)" "$mpv_cpu" "$(echo "100 * $mpv_cpu / $seconds" | bc -l)" "1.00"
printf '%-26s %12.2f %12.2f %8.2f\n' "Corvana" "$corvana_cpu" "$(echo "100 * $corvana_cpu / $seconds" | bc -l)" \
    "$(echo "$corvana_cpu / $mpv_cpu" | bc -l)"
echo "idle Corvana (window shown, nothing played): $idle_switches context switches in 10 s over all threads"
