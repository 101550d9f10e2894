#!/usr/bin/env bash
# bench/startup: exec to window shown under Xvfb, for Corvana with 10 and with 100,000 stations, and with 10 stations
# on a session bus where a hung panel owns the StatusNotifierWatcher name and never answers, beside a bare Qt
# window; runs alternate, median of RUNS (default 7). Every row has a private session bus; the hung panel has one
# of its own. Usage: bench/startup/run.sh BUILD_DIR [RUNS]
# (BUILD_DIR: a Release build with tests on, e.g. build-rel: cmake -B build-rel -DCMAKE_BUILD_TYPE=Release)
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-7}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/install.sh"
corvana_install_packages "$here"/../../scripts/packages{,-test,-bench}.txt
. "$here/../../scripts/lib/xvfb.sh"
cmake --build "$build" --target corvana map_timer bare_window corvana_silent_watcher >/dev/null

work=$(mktemp -d)
pids=()
trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; corvana_stop_xvfb; rm -rf "$work"' EXIT
corvana_start_xvfb
for bus in quiet hung; do
  dbus-daemon --session --nofork --print-address=3 3>"$work/$bus.bus" >/dev/null 2>&1 &
  pids+=($!)
done
for i in $(seq 1 50); do [ -s "$work/quiet.bus" ] && [ -s "$work/hung.bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/quiet.bus")
hung_bus=$(head -n1 "$work/hung.bus")
DBUS_SESSION_BUS_ADDRESS=$hung_bus "$build/tests/support/corvana_silent_watcher" >"$work/watcher.out" &
pids+=($!)
for i in $(seq 1 50); do grep -q ready "$work/watcher.out" && break; sleep 0.1; done
grep -q ready "$work/watcher.out" || { echo "startup: the silent StatusNotifierWatcher did not start" >&2; exit 1; }
for n in 10 100000; do
  mkdir -p "$work/$n"
  cp "$build/corvana" "$work/$n/corvana"
  python3 - "$work/$n/CvLst.lst" "$n" <<'PY'
import sys
with open(sys.argv[1], 'wb') as f:
    for i in range(int(sys.argv[2])):
        f.write(('电台%d号|mms://live.example.com/radio%d\r\n' % (i, i)).encode('gbk'))
PY
done

declare -A times
for i in $(seq 1 "$runs"); do
  times[bare]+="$("$build/bench/startup/map_timer" bare "$build/bench/startup/bare_window") "
  times[cjk]+="$("$build/bench/startup/map_timer" bare "$build/bench/startup/bare_window" 文件) "
  times[c10]+="$("$build/bench/startup/map_timer" Corvana "$work/10/corvana") "
  times[c100k]+="$("$build/bench/startup/map_timer" Corvana "$work/100000/corvana") "
  times[hung]+="$(DBUS_SESSION_BUS_ADDRESS=$hung_bus "$build/bench/startup/map_timer" Corvana "$work/10/corvana") "
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
bare=$(echo "${times[bare]}" | median)
cjk=$(echo "${times[cjk]}" | median)
c10=$(echo "${times[c10]}" | median)
c100k=$(echo "${times[c100k]}" | median)
hung=$(echo "${times[hung]}" | median)
hung_label="Corvana, 10 stations, silent StatusNotifierWatcher"
echo "startup: exec to window mapped under Xvfb, median of $runs alternating runs"
printf '%-50s %10s %8s   %s\n' "" "seconds" "ratio" "all runs"
printf '%-50s %10s %8s   %s\n' "bare Qt window (floor)" "$bare" "1.00" "${times[bare]}"
printf '%-50s %10s %8.2f   %s\n' "bare, Chinese menu caption" "$cjk" "$(echo "$cjk / $bare" | bc -l)" "${times[cjk]}"
printf '%-50s %10s %8.2f   %s\n' "Corvana, 10 stations" "$c10" "$(echo "$c10 / $bare" | bc -l)" "${times[c10]}"
printf '%-50s %10s %8.2f   %s\n' "Corvana, 100,000 stations" "$c100k" "$(echo "$c100k / $bare" | bc -l)" "${times[c100k]}"
printf '%-50s %10s %8.2f   %s\n' "$hung_label" "$hung" "$(echo "$hung / $bare" | bc -l)" "${times[hung]}"
# This machine's speed drifts between rounds (a shared VM can differ by a fifth in a minute); the ratio within
# each round, whose runs follow each other closely, is steadier than the ratio of the medians.
round_ratios() { paste <(echo "$1" | tr ' ' '\n' | sed '/^$/d') <(echo "$2" | tr ' ' '\n' | sed '/^$/d') |
  awk '{printf "%.4f ", $1 / $2}'; }
echo "median of the per-round ratios to the floor:"
for key in cjk c10 c100k hung; do
  case $key in cjk) label="bare, Chinese menu caption" ;; c10) label="Corvana, 10 stations" ;;
    c100k) label="Corvana, 100,000 stations" ;; hung) label=$hung_label ;; esac
  printf '%-50s %19.2f\n' "$label" "$(round_ratios "${times[$key]}" "${times[bare]}" | median)"
done
