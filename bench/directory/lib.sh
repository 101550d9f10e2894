# bench/directory: what the benches of the search window share, sourced by each: entering a private network and
# mount namespace, and the world inside it where the program reaches the directory's stand-in on loopback as it
# reaches the real directory (the SRV record from a private resolver, verified HTTPS to the server's name), with an
# X display, a private home, a session bus and openbox.
#
#   directory_bench_enter SCRIPT ARGS...   outside the namespace: installs what is missing, then runs
#                                          SCRIPT --in-namespace ARGS... in a new one (it does not return)
#   directory_bench_world NAME LIFETIME    inside: the world, and the stand-in answering from 300 stations for
#                                          LIFETIME seconds with $directory_delay ms added (0); sets work, net,
#                                          requests (the stand-in's log) and the helpers of tests/e2e/lib/world.sh;
#                                          with directory_a11y=1, the session bus has the accessibility bus
directory_bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

directory_bench_enter() {
    local script=$1
    shift
    . "$directory_bench_root/scripts/lib/install.sh"
    corvana_install_packages "$directory_bench_root"/scripts/packages{,-test}.txt
    exec unshare --net --mount -- bash "$script" --in-namespace "$@"
}

directory_bench_world() {
    . "$directory_bench_root/tests/e2e/lib/world.sh"
    e2e_begin "$1"
    unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

    # The network of the end-to-end test: loopback, dnsmasq with the SRV record, a test CA the only one trusted.
    . "$directory_bench_root/tests/e2e/lib/directory_network.sh"
    directory_network
    directory_resolver with-srv

    # The display's socket file in a folder of this namespace's own: python-xlib connects by the file before the
    # abstract name (which is this network's own), and a server another session starts meanwhile can take the
    # same number in the shared /tmp.
    mount -t tmpfs -o mode=1777 tmpfs /tmp/.X11-unix
    e2e_start_display
    e2e_private_home
    e2e_start_bus ${directory_a11y:+--a11y}
    e2e_start_window_manager

    # 300 stations with the fields the directory gives (about 1 KB of JSON each): half named "Bench Radio ...",
    # half "Bench Music ...", a third tagged music and a third radio; a third of them Chinese, for the opening list.
    /usr/bin/python3 - "$net/stations.json" <<'PYTHON'
import json, sys, uuid
stations = []
for i in range(300):
    u = str(uuid.UUID(int=i + 1))
    stations.append({
        "changeuuid": str(uuid.UUID(int=10**6 + i)), "stationuuid": u,
        "name": f"{'Bench Radio' if i % 2 == 0 else 'Bench Music'} {i:03d} 测试台",
        "url": f"http://127.0.0.1:9/{i}", "url_resolved": f"http://127.0.0.1:9/{i}.mp3",
        "homepage": f"https://station{i}.example/", "favicon": f"https://station{i}.example/favicon.ico",
        "tags": ["music,pop,news", "radio,talk,news", "local,news"][i % 3], "country": "China", "countrycode": "CN",
        "iso_3166_2": None, "state": "Beijing", "language": "chinese" if i % 3 == 1 else "english",
        "languagecodes": "zh", "votes": i * 7, "lastchangetime": "2024-05-01 10:00:00",
        "lastchangetime_iso8601": "2024-05-01T10:00:00Z", "codec": "MP3", "bitrate": 128, "hls": 0,
        "lastcheckok": 1, "lastchecktime": "2024-05-02 10:00:00", "lastchecktime_iso8601": "2024-05-02T10:00:00Z",
        "lastcheckoktime": "2024-05-02 10:00:00", "lastcheckoktime_iso8601": "2024-05-02T10:00:00Z",
        "lastlocalchecktime": "2024-05-02 09:00:00", "lastlocalchecktime_iso8601": "2024-05-02T09:00:00Z",
        "clicktimestamp": "2024-05-02 11:00:00", "clicktimestamp_iso8601": "2024-05-02T11:00:00Z",
        "clickcount": (i * 37) % 1000, "clicktrend": 1, "ssl_error": 0, "geo_lat": 39.9, "geo_long": 116.4,
        "has_extended_info": False})
json.dump(stations, open(sys.argv[1], "w", encoding="utf-8"), ensure_ascii=False)
PYTHON
    requests="$work/requests.log"
    /usr/bin/python3 "$directory_bench_root/tests/support/directory_standin.py" --cert "$net/server.pem" \
        --key "$net/server.key" --stations "$net/stations.json" --log "$requests" --delay-ms "${directory_delay:-0}" \
        --lifetime "$2" >"$work/standin.log" 2>&1 &
    e2e_started $!
    wait_for 10 grep -qs ready "$work/standin.log" || fail "the directory's stand-in did not start"
}
