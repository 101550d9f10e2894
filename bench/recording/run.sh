#!/usr/bin/env bash
# bench/recording: what Ctrl+R keeps and what it costs. The whole program plays a station of the tests' own ICY
# server (tests/support/hostile_server.py /titled/416: a new title every 9.984 s, its metadata block right before
# its first byte, each title a tone of its own sweeping up, made by tones.py) into a PulseAudio null sink, and:
#   CPU: SECONDS (default 30) playing alone, then as long recording (Ctrl+R), beside each other
#   memory: the resident memory every minute over MINUTES (default 10) of playing alone, then as long recording
#   the files: name, codec (ffprobe), and where each starts and ends against its title in the stream, read from
#   the tone heard at its first and last moments (a file cut right starts at 0 s into its title and ends at its
#   end; the first and last files begin and end with the key presses)
#   screenshots of the strip while it records and of 播放记录 (Ctrl+H), into OUT_DIR
# Run by hand (it takes twice MINUTES and a little more):
#   bench/recording/run.sh BUILD_DIR [MINUTES] [SECONDS] [OUT_DIR]
set -euo pipefail
build=$(cd "$1" && pwd)
minutes=${2:-10}
seconds=${3:-30}
out=$(mkdir -p "${4:-$build/bench-recording}" && cd "${4:-$build/bench-recording}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/install.sh"
corvana_install_packages "$here"/../../scripts/packages{,-test,-bench}.txt
cmake --build "$build" --target corvana >/dev/null

. "$here/../lib/world.sh"
bench_world_start
frames=416
title_seconds=$(echo "$frames * 0.024" | bc -l)

python3 "$here/tones.py" make "$work/tones.mp3" "$frames"
lifetime=$((minutes * 120 + seconds * 2 + 300))
# The server ends when its input closes: this script holds it open until it ends.
mkfifo "$work/station.in"
/usr/bin/python3 "$here/../../tests/support/hostile_server.py" --mp3 "$work/tones.mp3" --lifetime "$lifetime" \
    --connection-seconds "$lifetime" <"$work/station.in" >"$work/station.out" &
pids+=($!)
exec 7>"$work/station.in"
wait_for 10 grep -q '^PORT ' "$work/station.out"
url="http://127.0.0.1:$(awk '/^PORT/ {print $2}' "$work/station.out")/titled/$frames"

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
hz=$(getconf CLK_TCK)
cpu_seconds() { # PID: the CPU seconds PID spends over $seconds
    local t0 t1
    t0=$(ticks "$1")
    sleep "$seconds"
    t1=$(ticks "$1")
    echo "($t1 - $t0) / $hz" | bc -l
}
keys() { xdotool windowactivate --sync "$1" >/dev/null 2>&1 || xdotool windowfocus --sync "$1" || true; shift; xdotool key --clearmodifiers "$@"; }

mkdir -p "$work/app"
cp "$build/corvana" "$work/app/corvana"
printf 'Titled|%s\r\n' "$url" >"$work/app/CvLst.lst"
"$work/app/corvana" >"$work/corvana.log" 2>&1 &
corvana=$!
pids+=($corvana)
wait_for 15 sh -c 'xdotool search --onlyvisible --name "^Corvana$" >/dev/null'
window=$(xdotool search --onlyvisible --name '^Corvana$' | head -n1)
sleep 2
read -r wx wy < <(xdotool getwindowgeometry --shell "$window" | awk -F= '/^X=|^Y=/ {printf "%s ", $2} END {print ""}')
xdotool mousemove $((wx + 40)) $((wy + 124)) click --repeat 2 --delay 100 1
wait_for 20 sh -c "[ \"\$(/usr/bin/python3 '$here/../../tests/e2e/level.py' bench 0.3 | cut -d. -f1)\" -gt -60 ]" ||
    { echo "recording: Corvana is not playing (no sound at the sink)" >&2; exit 1; }
sleep 3
playing_cpu=$(cpu_seconds "$corvana")
declare -a rss_playing rss
sample() { # ARRAY: the resident memory every minute over $minutes
    local -n into=$1
    for ((m = 0; m <= minutes; m++)); do
        if ! kill -0 "$corvana" 2>/dev/null; then
            local status=0
            wait "$corvana" || status=$?
            cp "$work/corvana.log" "$out/corvana.log"
            echo "recording: Corvana ended (exit status $status; its output in $out/corvana.log)" >&2
            exit 1
        fi
        into[m]=$(rss_kib "$corvana")
        if [ "$m" -lt "$minutes" ]; then sleep 60; fi
    done
}
sample rss_playing

keys "$window" ctrl+r
folder="$HOME/Music/Corvana/Titled"
wait_for 20 sh -c "ls '$folder'/*.mp3 >/dev/null 2>&1" || { echo "recording: Ctrl+R made no file in $folder" >&2; exit 1; }
sleep 3
recording_cpu=$(cpu_seconds "$corvana")
import -window "$window" "$out/recording-strip.png" 2>/dev/null || true

sample rss
keys "$window" ctrl+r
sleep 2
keys "$window" ctrl+h
if history=$(wait_for 10 xdotool search --onlyvisible --name '^播放记录$' && xdotool search --onlyvisible --name '^播放记录$' | head -n1); then
    sleep 1
    import -window "$history" "$out/history.png" 2>/dev/null || true
fi

mib() { printf '%.1f' "$(echo "$1 / 1024" | bc -l)"; }
echo "recording: a 128 kbit/s MP3 station of the tests' own ICY server, a new title every $(printf '%.3f' "$title_seconds") s"
echo
echo "CPU over $seconds s (PulseAudio null sink)"
printf '%-22s %12s %12s\n' "" "CPU seconds" "% of a core"
printf '%-22s %12.2f %12.2f\n' "playing alone" "$playing_cpu" "$(echo "100 * $playing_cpu / $seconds" | bc -l)"
printf '%-22s %12.2f %12.2f\n' "playing and recording" "$recording_cpu" "$(echo "100 * $recording_cpu / $seconds" | bc -l)"
echo "recording / playing: $(printf '%.2f' "$(echo "$recording_cpu / $playing_cpu" | bc -l)")"
echo
echo "resident memory (MiB), playing alone and then recording, a new title every 10 s"
printf '%6s %14s %14s\n' minute "playing alone" recording
for ((m = 0; m <= minutes; m++)); do printf '%6d %14s %14s\n' "$m" "$(mib "${rss_playing[m]}")" "$(mib "${rss[m]}")"; done
from=$((minutes < 2 ? 0 : 1))
echo "growth from minute $from to $minutes: playing alone $(mib $((rss_playing[minutes] - rss_playing[from]))) MiB," \
    "recording $(mib $((rss[minutes] - rss[from]))) MiB"
echo
echo "files in ~/Music/Corvana/Titled (start and end: seconds against the title's own start and end in the stream;"
echo "+ late, - early; the first and last files start and end at the key presses)"
printf '%-36s %-6s %9s %9s %9s\n' file codec seconds start end
worst=0
mapfile -t files < <(ls "$folder" | sort)
for ((i = 0; i < ${#files[@]}; i++)); do
    f=${files[i]}
    codec=$(ffprobe -v error -select_streams a:0 -show_entries stream=codec_name -of csv=p=0 "$folder/$f")
    n=$(sed -n 's/.* Tone \([0-9]*\)\..*/\1/p' <<<"$f")
    read -r k0 at0 k1 at1 length < <(python3 "$here/tones.py" where "$folder/$f" "$frames") || true
    [ "$k0" = none ] && length=""
    [ "$k0" = none ] && length=""
    start=- end=-
    if [ -n "$n" ] && [ -n "${length:-}" ]; then
        own=$(((n - 1) % 6))
        start=$(echo "if ($k0 == $own) $at0 else $at0 - $title_seconds" | bc -l)
        end=$(echo "if ($k1 == $own) $at1 - $title_seconds else $at1" | bc -l)
        if [ "$i" -gt 0 ]; then worst=$(echo "a = $start; if (a < 0) a = -a; if (a > $worst) a else $worst" | bc -l); fi
        if [ "$i" -lt $((${#files[@]} - 1)) ]; then worst=$(echo "a = $end; if (a < 0) a = -a; if (a > $worst) a else $worst" | bc -l); fi
        start=$(printf '%+.3f' "$start")
        end=$(printf '%+.3f' "$end")
    fi
    printf '%-36s %-6s %9.3f %9s %9s\n' "$f" "$codec" "${length:-0}" "$start" "$end"
done
echo "files: ${#files[@]}; the largest cut off its title's change (first start and last end left out): $(printf '%.3f' "$worst") s"
echo "screenshots: $out"
