#!/usr/bin/env bash
# bench/startup: exec to window shown under Xvfb, for Corvana with 10 and with 100,000 stations, and with 10 stations
# on a session bus where a hung panel owns the StatusNotifierWatcher name and never answers, beside a bare Qt
# window; runs alternate, median of RUNS (default 7). Every row has a private session bus; the hung panel has one
# of its own. Given the build of an earlier version (BEFORE_DIR), each Corvana row of the round is followed by the
# same row for it, so that both meet the machine as it is in that round; last, whether each binary has Qt Network
# loaded once its window is up. Usage: bench/startup/run.sh BUILD_DIR [RUNS] [BEFORE_DIR]
# (BUILD_DIR: a Release build with tests on, e.g. build-rel: cmake -B build-rel -DCMAKE_BUILD_TYPE=Release;
# BEFORE_DIR: the same for an earlier commit, from a worktree: git worktree add /tmp/before COMMIT)
set -euo pipefail
build=$(cd "$1" && pwd)
runs=${2:-7}
before=""
[ -n "${3:-}" ] && before=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../scripts/lib/install.sh"
corvana_install_packages "$here"/../../scripts/packages{,-test,-bench}.txt
. "$here/../../scripts/lib/xvfb.sh"
cmake --build "$build" --target corvana map_timer bare_window corvana_silent_watcher >/dev/null
[ -z "$before" ] || cmake --build "$before" --target corvana >/dev/null

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
  for v in "" ${before:+before-}; do
    mkdir -p "$work/$v$n"
    if [ -n "$v" ]; then cp "$before/corvana" "$work/$v$n/corvana"; else cp "$build/corvana" "$work/$n/corvana"; fi
    python3 - "$work/$v$n/CvLst.lst" "$n" <<'PY'
import sys
with open(sys.argv[1], 'wb') as f:
    for i in range(int(sys.argv[2])):
        f.write(('电台%d号|mms://live.example.com/radio%d\r\n' % (i, i)).encode('gbk'))
PY
  done
done

declare -A times
for i in $(seq 1 "$runs"); do
  times[bare]+="$("$build/bench/startup/map_timer" bare "$build/bench/startup/bare_window") "
  times[cjk]+="$("$build/bench/startup/map_timer" bare "$build/bench/startup/bare_window" 文件) "
  for v in "" ${before:+before-}; do
    times[${v}c10]+="$("$build/bench/startup/map_timer" Corvana "$work/${v}10/corvana") "
  done
  for v in "" ${before:+before-}; do
    times[${v}c100k]+="$("$build/bench/startup/map_timer" Corvana "$work/${v}100000/corvana") "
  done
  for v in "" ${before:+before-}; do
    times[${v}hung]+="$(DBUS_SESSION_BUS_ADDRESS=$hung_bus "$build/bench/startup/map_timer" Corvana "$work/${v}10/corvana") "
  done
done
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
bare=$(echo "${times[bare]}" | median)
hung_label="Corvana, 10 stations, silent StatusNotifierWatcher"
label() { # KEY: the row's name
  local name
  case ${1#before-} in cjk) name="bare, Chinese menu caption" ;; c10) name="Corvana, 10 stations" ;;
    c100k) name="Corvana, 100,000 stations" ;; hung) name=$hung_label ;; esac
  [[ $1 == before-* ]] && name="${name/Corvana/Corvana before}"
  echo "$name"
}
keys=(cjk)
for key in c10 c100k hung; do keys+=("$key" ${before:+"before-$key"}); done
echo "startup: exec to window mapped under Xvfb, median of $runs alternating runs"
printf '%-58s %10s %8s   %s\n' "" "seconds" "ratio" "all runs"
printf '%-58s %10s %8s   %s\n' "bare Qt window (floor)" "$bare" "1.00" "${times[bare]}"
for key in "${keys[@]}"; do
  m=$(echo "${times[$key]}" | median)
  printf '%-58s %10s %8.2f   %s\n' "$(label "$key")" "$m" "$(echo "$m / $bare" | bc -l)" "${times[$key]}"
done
# This machine's speed drifts between rounds (a shared VM can differ by a fifth in a minute); the ratio within
# each round, whose runs follow each other closely, is steadier than the ratio of the medians.
round_ratios() { paste <(echo "$1" | tr ' ' '\n' | sed '/^$/d') <(echo "$2" | tr ' ' '\n' | sed '/^$/d') |
  awk '{printf "%.4f ", $1 / $2}'; }
echo "median of the per-round ratios to the floor:"
for key in "${keys[@]}"; do
  printf '%-58s %19.2f\n' "$(label "$key")" "$(round_ratios "${times[$key]}" "${times[bare]}" | median)"
done

# Qt Network at start: linked, and mapped once the window is up (the web is only asked on a paste or a drop).
network_at_start() { # DIR: prints whether $DIR/corvana links and maps libQt6Network
  local pid linked mapped=no i
  linked=$(ldd "$1/corvana" | grep -c 'libQt6Network' || true)
  "$1/corvana" >/dev/null 2>&1 &
  pid=$!
  for i in $(seq 1 100); do xdotool search --onlyvisible --pid "$pid" --name '^Corvana$' >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 1
  grep -q 'libQt6Network' "/proc/$pid/maps" && mapped=yes
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "linked: $([ "$linked" -gt 0 ] && echo yes || echo no), mapped with the window up: $mapped"
}
printf '%-58s %s\n' "libQt6Network, Corvana" "$(network_at_start "$work/10")"
[ -z "$before" ] || printf '%-58s %s\n' "libQt6Network, Corvana before" "$(network_at_start "$work/before-10")"
