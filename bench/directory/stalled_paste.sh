#!/usr/bin/env bash
# bench/directory: whether the search window still answers while a paste waits for a resolver that hangs. The
# program runs with bench/web/getaddrinfo_stall.c preloaded (names ending ".example" hang 60 s, then fail; the
# directory's names pass to the private resolver), against the directory's stand-in (bench/directory/lib.sh).
# Each run starts the program anew, waits until its thread count holds still for 2 s (idle), puts 64 links on
# names under .example on the clipboard (xclip), clicks the list, presses Ctrl+V and at once Ctrl+F, and watches
# for WATCH_SECONDS (25): the thread count (/proc/PID/status, every 100 ms), when the search window's opening
# list (three searches, by language) reached the stand-in and was answered (its log), when the program began to
# look up the directory's name (the shim's log), and when the rows were drawn: the first area at least 100 px high
# that the X server drew into the search window after the last of the three requests came (DAMAGE,
# watch_window.py; the program runs without accessibility unless STALL_A11Y=1). The pastes (STALL_PASTES,
# "streams mixed"), each run in turn: "streams", 64 stream links (a head asked of each, 5 s); "mixed", as
# bench/web pastes them (every 8th a playlist, its body read, 15 s); "none", the search with no paste to wait
# behind (Ctrl+V on an empty clipboard). Prints each run and, for each build and paste, the medians.
# Usage: bench/directory/stalled_paste.sh BUILD_DIR [RUNS] [OTHER_BUILD_DIR]   (as root; Release builds, e.g.
# cmake -S . -B build-rel -G Ninja -DCMAKE_BUILD_TYPE=Release; RUNS 5; OTHER_BUILD_DIR, a build of another
# commit run the same way for comparison. FIND_AFTER=S presses Ctrl+F S seconds after Ctrl+V (0); STALL_A11Y=1
# runs the program with accessibility and prints the search window's status line at the end of each run;
# KEEP_DIR=DIR keeps each run's files there: the program's output, the shim's log, the thread counts, the paints
# and the stand-in's log)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
if [ "${1:-}" != --in-namespace ]; then
    [ -n "${1:-}" ] || { sed -n '/^# Usage/,/^set/p' "$0" | sed '$d' >&2; exit 2; }
    cmake --build "$1" --target corvana >/dev/null
    [ -z "${3:-}" ] || cmake --build "$3" --target corvana >/dev/null
    directory_bench_enter "$0" "$@"
fi
shift
builds=("$(cd "$1" && pwd)")
runs=${2:-5}
[ -z "${3:-}" ] || builds+=("$(cd "$3" && pwd)")
pastes=(${STALL_PASTES:-streams mixed})
watch=${WATCH_SECONDS:-25}
find_after=${FIND_AFTER:-0}
a11y=()
if [ "${STALL_A11Y:-0}" = 1 ]; then
    directory_a11y=1
    a11y=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
fi
# Every run's time, with a minute to spare.
directory_bench_world stalled-paste-bench $((${#builds[@]} * ${#pastes[@]} * runs * (watch + find_after + 40) + 60))

cc -shared -fPIC -O2 -o "$work/getaddrinfo_stall.so" "$directory_bench_root/bench/web/getaddrinfo_stall.c" -ldl
now() { echo "${EPOCHREALTIME/,/.}"; }
threads() { awk '/^Threads:/ {print $2}' "/proc/$1/status" 2>/dev/null; }
label() { # BUILD_DIR: the last commit of the program it was built from (the benches' own commits left out)
    local source
    source=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$1/CMakeCache.txt")
    git -C "$source" log -1 --format=%h -- . ':!bench' 2>/dev/null || basename "$1"
}
links() { # RUN PASTE: 64 links, each on a name of its own (a look-up of a name serves every request for it)
    local i file
    [ "$2" != none ] || return 0
    for ((i = 1; i <= 64; i++)); do
        file=station$i
        [ "$2" = mixed ] && ! ((i % 8)) && file=list$i.pls
        echo "http://stall-$1-$i.example:8000/$file"
    done
}
settled() { # the thread count once it has held still for 2 s (30 s at most), else empty
    local last="" same=0 i t
    for ((i = 0; i < 300; i++)); do
        t=$(threads "$corvana_pid")
        if [ -n "$t" ] && [ "$t" = "$last" ]; then
            ((++same >= 20)) && { echo "$t"; return 0; }
        else
            same=0
        fi
        last=$t
        sleep 0.1
    done
    return 1
}
stop() { # PID...: each of them, if it still runs
    local p
    for p; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
}

# One run: the program (BUILD_DIR) anew, the paste, Ctrl+F, WATCH_SECONDS watched. Leaves its files in
# $work/<label>-<paste>-<run>.* and a line in $work/runs.
one_run() { # BUILD_DIR LABEL PASTE RUN
    local build=$1 name=$2 paste=$3 run=$4 out idle t0 sampler watcher clip i
    out="$work/$name-$paste-$run"
    cp "$build/corvana" "$work/corvana"
    write_list "$work/CvLst.lst" 'Bench|http://127.0.0.1:9/none'
    corvana_out="$out.log"
    start_corvana env QT_QPA_PLATFORM=xcb "${a11y[@]}" LD_PRELOAD="$work/getaddrinfo_stall.so" STALL_SECONDS=60 \
        STALL_LOG="$out.lookups"
    sleep 2 # the engine starts once the window is painted
    idle=$(settled) || fail "$name: the thread count did not hold still for 2 s within 30 s"
    (for ((i = 0; i < (watch + find_after + 5) * 10; i++)); do echo "$(now) $(threads "$corvana_pid")"; sleep 0.1
    done) >"$out.threads" &
    sampler=$!
    /usr/bin/python3 "$here/watch_window.py" '^搜索电台$' --pid "$corvana_pid" \
        --seconds "$((watch + find_after + 1))" >"$out.paints" &
    watcher=$!
    clip=""
    if [ "$paste" != none ]; then
        links "$run" "$paste" | xclip -quiet -selection clipboard -t UTF8_STRING >/dev/null 2>&1 &
        clip=$!
    fi
    sleep 0.3
    # The first row: the keys go to the list, as after a click by hand.
    xdotool mousemove --window "$window" 60 130 click 1
    sleep 0.3
    t0=$(now)
    if [ "$find_after" = 0 ]; then
        xdotool key --clearmodifiers ctrl+v ctrl+f
    else
        xdotool key --clearmodifiers ctrl+v
        sleep "$find_after"
        xdotool key --clearmodifiers ctrl+f
    fi
    sleep "$watch"
    echo "$name $paste $run $t0 $(now) $idle $out" >>"$work/runs"
    if [ -n "${directory_a11y:-}" ]; then
        # The label at the foot of the search window: what it says after its search.
        screen dump >"$out.dump" 2>/dev/null || true
        awk '/^  [a-z ]+: .搜索电台/ { f = 1; next } /^  [a-z]/ { f = 0 }
            f && /^ *label: / { line = $0 } END { print line }' "$out.dump" | sed "s/^ *label: '\(.*\)' '.*/\1/" \
            >"$out.status"
    fi
    # The threads' names at the end, for the report.
    cat /proc/"$corvana_pid"/task/*/comm 2>/dev/null | sort | uniq -c | sort -rn >"$out.names" || true
    kill -KILL "$corvana_pid" 2>/dev/null || true
    wait "$corvana_pid" 2>/dev/null || true
    corvana_pid=""
    stop "$watcher" "$sampler" $clip
}

: >"$work/runs"
touch "$requests"
for ((run = 1; run <= runs; run++)); do
    for build in "${builds[@]}"; do
        for paste in "${pastes[@]}"; do
            one_run "$build" "$(label "$build")" "$paste" "$run"
            echo "$(label "$build") $paste run $run done" >&2
        done
    done
done

if [ -n "${KEEP_DIR:-}" ]; then
    mkdir -p "$KEEP_DIR"
    cp "$work"/runs "$requests" "$work"/*-*-[0-9]*.* "$KEEP_DIR"/
fi
/usr/bin/python3 - "$work/runs" "$requests" <<'EOF'
import os, statistics, sys


def lines(path):  # a file a run may have left empty or not made (no name looked up at all)
    return [l.split() for l in open(path, encoding="utf-8")] if os.path.exists(path) else []


log = [line.rstrip("\n").split("\t") for line in open(sys.argv[2], encoding="utf-8")]
table = {}
print("build    paste    run  lookup  request  answer  answer->rows  paste->rows  idle  max  max-idle")
print("                       (s after the paste)  (ms)      (s)          (s)")
for line in open(sys.argv[1]):
    name, paste, run, t0, t1, idle, out = line.split()
    t0, t1, idle = float(t0), float(t1), int(idle)
    samples = [int(s[1]) for s in lines(out + ".threads") if len(s) == 2]
    top = max(samples) if samples else idle
    # The directory's name as the program first asked the resolver for it after the paste.
    lookups = lines(out + ".lookups")
    lookup = next((float(t) for t, kind, host in lookups
                   if kind == "passed" and host.endswith("radio-browser.info") and t0 <= float(t) < t1), None)
    stalled = sum(1 for _, kind, _ in lookups if kind == "stalled")
    asked = [(float(c), float(s)) for c, s, _, path, *_ in log if t0 <= float(c) < t1 and "language=" in path]
    paints = lines(out + ".paints")
    rows = None
    if len(asked) >= 3:
        gate = max(c for c, _ in asked)
        rows = next((float(p[1]) for p in paints if p[0] == "paint" and float(p[1]) >= gate), None)
    f = lambda v, w, p=2: f"{v:{w}.{p}f}" if v is not None else " " * (w - 1) + "-"
    request = min(c for c, _ in asked) - t0 if asked else None
    answer = max(s - c for c, s in asked) * 1000 if asked else None
    answered = max(s for _, s in asked) if len(asked) >= 3 else None
    to_rows = rows - answered if rows is not None else None
    shown = rows - t0 if rows is not None else None
    note = "" if rows is not None else f"  no rows drawn within the watch; the stand-in saw {len(asked)} of 3"
    if os.path.exists(out + ".status"):
        note += f"; the search window said: {open(out + '.status', encoding='utf-8').read().strip()}"
    print(f"{name:<8} {paste:<8} {run:>3}  {f(lookup - t0 if lookup else None, 6)}  {f(request, 7)}  "
          f"{f(answer, 6, 1)}  {f(to_rows, 12, 3)}  {f(shown, 11, 3)}  {idle:4d}  {top:3d}  {top - idle:8d}"
          f"  ({stalled} stalled look-ups){note}")
    table.setdefault((name, paste), []).append((to_rows, shown, idle, top, top - idle, lookup and lookup - t0))
print()
print("medians   paste    runs  rows shown  answer->rows  paste->rows  lookup  idle  max  max-idle")
for (name, paste), rows in table.items():
    med = lambda k: statistics.median([r[k] for r in rows if r[k] is not None]) \
        if any(r[k] is not None for r in rows) else None
    f = lambda v, w, p=2: f"{v:{w}.{p}f}" if v is not None else " " * (w - 1) + "-"
    shown = sum(1 for r in rows if r[1] is not None)
    print(f"{name:<8}  {paste:<8} {len(rows):4d}  {shown:6d}/{len(rows):<3}  {f(med(0), 12, 3)}  {f(med(1), 11, 3)}"
          f"  {f(med(5), 6)}  {f(med(2), 4, 0)}  {f(med(3), 3, 0)}  {f(med(4), 8, 0)}")
EOF
echo
for build in "${builds[@]}"; do
    for paste in "${pastes[@]}"; do
        f="$work/$(label "$build")-$paste-$runs.names"
        echo "threads at the end of $(label "$build") $paste run $runs: $(awk '{ n = $1; sub(/^ *[0-9]+ /, "")
            printf "%s x%s, ", $0, n }' "$f")"
    done
done
