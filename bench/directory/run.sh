#!/usr/bin/env bash
# bench/directory: how long the search window (Ctrl+F) takes from the last key of a search to its results on the
# screen, against the directory's stand-in on loopback, reached as the real directory is (the SRV record from a
# private resolver, verified HTTPS to the server's name) inside a private network namespace. Each run selects the
# field's text and types a search (a key every 60 ms, as the test does), alternating "radio" and "music", each
# answered with 100 stations by name and 100 by tag; the moment of the results is when the X server drew the rows
# into the window (DAMAGE, bench/directory/type_and_watch.py), the program runs without accessibility. Prints each
# run and the medians: last key to rows drawn; last key to the first request at the stand-in (the 300 ms pause, a
# coarse Qt timer that may end up to 5 % early, and the request on its way); the stand-in's answer time; and the
# part after the pause, from the first request at the stand-in to the rows drawn.
# Usage: bench/directory/run.sh BUILD_DIR [RUNS] [DELAY_MS]   (as root; BUILD_DIR a Release build, e.g.
# cmake -S . -B build-rel-dir -G Ninja -DCMAKE_BUILD_TYPE=Release; RUNS 10; DELAY_MS, the stand-in's added delay, 0)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
if [ "${1:-}" != --in-namespace ]; then
    [ -n "${1:-}" ] || { sed -n '/^# Usage/,/^set/p' "$0" | sed '$d' >&2; exit 2; }
    cmake --build "$1" --target corvana >/dev/null
    directory_bench_enter "$0" "$@"
fi
shift
build=$(cd "$1" && pwd)
runs=${2:-10}
delay=${3:-0}
directory_delay=$delay
directory_bench_world directory-bench 900

cp "$build/corvana" "$work/corvana"
start_corvana env QT_QPA_PLATFORM=xcb
xdotool key --clearmodifiers ctrl+f
search=$(wait_for_window '^搜索电台$') || fail "Ctrl+F showed no window titled 搜索电台"
wait_for 15 sh -c '[ -f "$0" ] && [ "$(wc -l <"$0")" -ge 3 ]' "$requests" || fail "the opening list was not asked for"
sleep 1
: >"$work/runs"
for ((i = 1; i <= runs; i++)); do
    term=$( ((i % 2)) && echo radio || echo music)
    # The keys go where the focus is: the search window's field, as before each search by hand.
    xdotool windowactivate --sync "$search" >/dev/null 2>&1 || true
    /usr/bin/python3 "$here/type_and_watch.py" "$search" "$term" --watch 3 >"$work/watch-$i"
    echo "$i $term $(sed -n 's/^key //p' "$work/watch-$i") $(awk '$1 == "paint" { print $2; exit }' "$work/watch-$i")" \
        >>"$work/runs"
    sleep 0.5
done

/usr/bin/python3 - "$work/runs" "$requests" "$delay" <<'EOF'
import statistics, sys
log = [line.rstrip("\n").split("\t") for line in open(sys.argv[2], encoding="utf-8")]
rows = []
print("run  term   key->rows  key->request  answer  request->rows   (ms)")
for line in open(sys.argv[1]):
    parts = line.split()
    if len(parts) < 4:
        print(f"{parts[0]:>3}  {parts[1]:<5}  no rows drawn within 3 s")
        continue
    run, term, key, paint = parts[0], parts[1], float(parts[2]), float(parts[3])
    asked = [(float(c), float(s)) for c, s, _, path, *_ in log
             if float(c) > key - 0.05 and (f"name={term}&" in path or f"tag={term}&" in path)][:2]
    if len(asked) < 2:
        print(f"{run:>3}  {term:<5}  the stand-in saw {len(asked)} of the 2 requests")
        continue
    shown = (paint - key) * 1000
    to_request = (min(c for c, _ in asked) - key) * 1000
    answer = max(s - c for c, s in asked) * 1000
    after = shown - to_request
    rows.append((shown, to_request, answer, after))
    print(f"{run:>3}  {term:<5}  {shown:9.1f}  {to_request:12.1f}  {answer:6.1f}  {after:13.1f}")
if rows:
    med = [statistics.median(r[k] for r in rows) for k in range(4)]
    print(f"median of {len(rows)} (stand-in delay {sys.argv[3]} ms): last key to rows drawn {med[0]:.1f} ms; "
          f"to the first request {med[1]:.1f} ms; the stand-in's answer {med[2]:.1f} ms; "
          f"after the pause (first request to rows drawn) {med[3]:.1f} ms")
EOF
