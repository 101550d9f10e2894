#!/usr/bin/env bash
# bench/soak: resident memory over a long listen. The whole program plays a 128 kbps MP3 stream from a local
# icecast2 (started with a double-click on its row, as a user would), beside `mpv --no-config` on the same
# stream, both into a PulseAudio null sink, while the stream's title changes every 5 s; the resident memory of
# both is sampled every minute. The goal: flat after the first 5 minutes, and at most mpv's + 10 MiB.
# Run by hand (it takes MINUTES, default 60):
#   bench/soak/run.sh BUILD_DIR [MINUTES]        or   SOAK_MINUTES=3 bench/soak/run.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
minutes=${2:-${SOAK_MINUTES:-60}}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/install.sh"
corvana_install_packages "$here"/../../scripts/packages{,-test,-bench}.txt
cmake --build "$build" --target corvana >/dev/null

. "$here/../lib/world.sh"
bench_world_start
url="http://127.0.0.1:$port/mp3"
admin=$(sed -n 's/^ADMIN_PASSWORD=//p' "$work/servers/state")

rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
level() { /usr/bin/python3 "$here/../../tests/e2e/level.py" bench 0.5 | cut -d. -f1; }

# A new title every 5 s for as long as the run lasts (and a little longer).
(
    n=0
    end=$((SECONDS + minutes * 60 + 120))
    while [ "$SECONDS" -lt "$end" ]; do
        n=$((n + 1))
        curl -s -o /dev/null -u "admin:$admin" \
            "http://127.0.0.1:$port/admin/metadata?mount=/mp3&mode=updinfo&song=Soak%20title%20$n%20%E6%B5%8B%E8%AF%95" ||
            true
        sleep 5
    done
) &
pids+=($!)

mkdir -p "$work/app"
cp "$build/corvana" "$work/app/corvana"
printf 'Soak|%s\r\n' "$url" >"$work/app/CvLst.lst"
"$work/app/corvana" >"$work/corvana.log" 2>&1 &
corvana=$!
pids+=($corvana)
wait_for 15 sh -c 'xdotool search --onlyvisible --name "^Corvana$" >/dev/null'
sleep 2
# Play: a double-click on the first row.
read -r wx wy < <(xdotool search --onlyvisible --name '^Corvana$' | head -n1 | xargs xdotool getwindowgeometry --shell |
    awk -F= '/^X=|^Y=/ {printf "%s ", $2} END {print ""}')
xdotool mousemove $((wx + 40)) $((wy + 124)) click --repeat 2 --delay 100 1
wait_for 20 sh -c "[ \"\$(/usr/bin/python3 '$here/../../tests/e2e/level.py' bench 0.3 | cut -d. -f1)\" -gt -60 ]" ||
    { echo "soak: Corvana is not playing (no sound at the sink)" >&2; exit 1; }

mpv --no-config --no-video --really-quiet "$url" &
mpv=$!
pids+=($mpv)
sleep 3
pactl list sink-inputs | grep -q 'application.name = "mpv"' || { echo "soak: mpv is not playing" >&2; exit 1; }

# Minute 0 is the first sample once both play.
declare -a ours theirs
for ((m = 0; m <= minutes; m++)); do
    kill -0 "$corvana" 2>/dev/null || { echo "soak: Corvana ended at minute $m" >&2; exit 1; }
    kill -0 "$mpv" 2>/dev/null || { echo "soak: mpv ended at minute $m" >&2; exit 1; }
    ours[m]=$(rss_kib "$corvana")
    theirs[m]=$(rss_kib "$mpv")
    [ "$m" -lt "$minutes" ] && sleep 60
done
# Still playing at the end: its stream is at the sink, not paused.
playing=no
pactl list sink-inputs | grep -q 'application.name = "Corvana"' && [ "$(level)" -gt -60 ] && playing=yes

mib() { printf '%.1f' "$(echo "$1 / 1024" | bc -l)"; }
echo "soak: $minutes min of a 128 kbps MP3 stream from a local icecast2, a new title every 5 s, PulseAudio null sink"
printf '%6s %14s %14s %12s\n' minute "Corvana MiB" "mpv MiB" "difference"
for ((m = 0; m <= minutes; m++)); do
    printf '%6d %14s %14s %12s\n' "$m" "$(mib "${ours[m]}")" "$(mib "${theirs[m]}")" "$(mib $((ours[m] - theirs[m])))"
done
from=$((minutes < 5 ? 0 : 5))
growth_ours=$((ours[minutes] - ours[from]))
growth_theirs=$((theirs[minutes] - theirs[from]))
echo "growth from minute $from to $minutes: Corvana $(mib $growth_ours) MiB, mpv $(mib $growth_theirs) MiB"
echo "at the end: Corvana $(mib $((ours[minutes] - theirs[minutes]))) MiB above mpv (goal: at most 10);" \
    "Corvana still playing: $playing"
