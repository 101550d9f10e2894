#!/usr/bin/env bash
# bench/time_to_audio: the whole program: from a user's double-click on a station to the first sound at a
# PulseAudio null sink, beside the floor (the server's first audio byte on a raw socket), on the same local icecast2
# streams; alternating, median of RUNS (default 5). The program plays at its start volume, 50.
# Run by hand: bench/time_to_audio/whole_program.sh BUILD_DIR [RUNS]
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/install.sh"
corvana_install_packages "$here"/../../scripts/packages{,-test,-bench}.txt
screen() { /usr/bin/python3 "$here/../../tests/e2e/screen.py" "$@"; }
cmake --build "$build" --target corvana >/dev/null

. "$here/../lib/world.sh"
bench_world_start --a11y
wait_for 10 screen ready

streams=(mp3 mp3-noburst aac ogg)
mkdir -p "$work/app"
cp "$build/corvana" "$work/app/corvana"
for s in "${streams[@]}"; do printf '%s|http://127.0.0.1:%s/%s\r\n' "$s" "$port" "$s"; done >"$work/app/CvLst.lst"
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$work/app/corvana" >/dev/null 2>&1 &
pids+=($!)
wait_for 15 screen find "table cell" "mp3" >/dev/null
sleep 2 # the engine starts once the window is painted
window=$(xdotool search --onlyvisible --name '^Corvana$' | head -n1)
silent() { [ "$(/usr/bin/python3 "$here/../../tests/e2e/level.py" bench 0.3 | cut -d. -f1)" -lt -90 ]; }

declare -A ours floor
for r in $(seq 1 "$runs"); do
    for s in "${streams[@]}"; do
        floor[$s]+="$(/usr/bin/python3 "$here/first_sound.py" floor "$port" "/$s") "
        read -r x y <<<"$(screen find "table cell" "$s")"
        ours[$s]+="$(/usr/bin/python3 "$here/first_sound.py" click "$x" "$y" bench) "
        xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
        xdotool key --clearmodifiers ctrl+s
        wait_for 10 silent || true
        sleep 0.5
    done
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "time_to_audio, whole program: double-click to first sound at the sink, median of $runs (seconds)"
printf '%-14s %8s %8s %10s   %s\n' stream floor corvana "- floor" "corvana, all runs"
for s in "${streams[@]}"; do
    f=$(echo "${floor[$s]}" | median)
    o=$(echo "${ours[$s]}" | median)
    printf '%-14s %8s %8s %+10.3f   %s\n' "$s" "$f" "$o" "$(echo "$o - $f" | bc -l)" "${ours[$s]}"
done
