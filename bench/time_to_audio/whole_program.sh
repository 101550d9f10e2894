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
fixtures="$here/../../scripts/fixtures"
screen() { /usr/bin/python3 "$here/../../tests/e2e/screen.py" "$@"; }
cmake --build "$build" --target corvana >/dev/null

work=$(mktemp -d)
chmod 755 "$work"
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    "$fixtures/icecast-stop" "$work/servers" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
wait_for() { local n=$(($1 * 10)); shift; for ((i = 0; i < n; i++)); do "$@" && return 0; sleep 0.1; done; return 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" LANG=C.UTF-8
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
mkdir -p "$HOME/.config/pulse" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
pids+=($!)
wait_for 10 test -s "$work/bus"
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
wait_for 10 screen ready
echo "autospawn = no" >"$HOME/.config/pulse/client.conf"
pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=bench" \
    --load="module-native-protocol-unix socket=$work/pulse.socket auth-anonymous=1" >/dev/null 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$work/pulse.socket"
wait_for 10 pactl info >/dev/null 2>&1
pactl set-default-sink bench
"$fixtures/icecast-start" "$work/servers" >/dev/null
port=$(sed -n 's/^PORT=//p' "$work/servers/state")

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
