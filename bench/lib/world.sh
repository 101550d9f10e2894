# bench/lib: the world the sound benchmarks run in, started and stopped by them: Xvfb, a private home, PulseAudio
# with a null sink "bench" as the default sink, icecast2 fed with a tone, and (with --a11y) a session bus with the
# accessibility bus. Sourced; bench_world_start [--a11y] sets work, port, pids (add your own processes to stop
# them at exit) and wait_for.
bench_world_fixtures="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../tests/fixtures" && pwd)"

wait_for() { # SECONDS COMMAND...: COMMAND every 0.1 s until it succeeds; fails after SECONDS
    local n=$(($1 * 10))
    shift
    for ((i = 0; i < n; i++)); do "$@" && return 0; sleep 0.1; done
    return 1
}

bench_world_stop() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    "$bench_world_fixtures/icecast-stop" "$work/servers" >/dev/null 2>&1 || true
    rm -rf "$work"
}

bench_world_start() {
    work=$(mktemp -d)
    pids=()
    trap bench_world_stop EXIT

    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 10 test -s "$work/display"
    export DISPLAY=":$(head -n1 "$work/display")"
    export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" LANG=C.UTF-8
    unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
    mkdir -p "$HOME/.config/pulse" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

    if [ "${1:-}" = --a11y ]; then
        dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >/dev/null 2>&1 &
        pids+=($!)
        wait_for 10 test -s "$work/bus"
        export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus")
    fi

    echo "autospawn = no" >"$HOME/.config/pulse/client.conf"
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --load="module-null-sink sink_name=bench" \
        --load="module-native-protocol-unix socket=$work/pulse.socket auth-anonymous=1" >/dev/null 2>&1 &
    pids+=($!)
    export PULSE_SERVER="unix:$work/pulse.socket"
    wait_for 10 pactl info >/dev/null 2>&1
    pactl set-default-sink bench

    "$bench_world_fixtures/icecast-start" "$work/servers" >/dev/null
    port=$(sed -n 's/^PORT=//p' "$work/servers/state")
}
