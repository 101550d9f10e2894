#!/usr/bin/env bash
# tests/desktop: playerctl, an MPRIS client nobody here wrote, against the service in the stand-in for app/
# (mpris_fake_app) on a private session bus: it lists the player, reads status, title and volume, and its
# commands reach the program. A second copy shows up under its own name. Starts and stops its own bus.
# Usage: mpris_playerctl.sh PATH_TO_MPRIS_FAKE_APP
set -euo pipefail
app=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../e2e/lib/world.sh"
e2e_begin mpris_playerctl
e2e_needs dbus-daemon playerctl gdbus
# Runs playerctl against the first copy and echoes the command with its answer, as a transcript.
pc() {
    local out
    out=$(timeout 10 playerctl --player=corvana "$@" 2>&1) || { echo "\$ playerctl $* -> failed: $out" >&2; return 1; }
    echo "\$ playerctl $*${out:+ -> $out}" >&2
    printf '%s' "$out"
}
said() { grep -qx "$1" "$work/app.log"; }
ask() { pc "${@:2}" >/dev/null && wait_for 5 said "$1"; } # LINE COMMAND...: the program says LINE on COMMAND
players() { # the players playerctl lists, sorted, each followed by a space
    players=$(timeout 10 playerctl --list-all | sort | tr '\n' ' ')
    echo "\$ playerctl --list-all -> $players" >&2
}

unset DISPLAY
e2e_start_bus

"$app" --title "Tone 440" "中国之声|http://127.0.0.1:9/mp3" "Ogg tone|http://127.0.0.1:9/ogg" >"$work/app.log" 2>&1 &
e2e_started $!
wait_for 10 said "registered org.mpris.MediaPlayer2.corvana" || fail "the service did not register"

players
[ "$players" = "corvana " ] || fail "playerctl lists '$players', not corvana"
[ "$(pc status)" = Stopped ] || fail "status before play"
# A follower learns of changes only from PropertiesChanged.
timeout 60 playerctl --player=corvana --follow status >"$work/follow.log" 2>&1 &
e2e_started $!
wait_for 5 grep -qx Stopped "$work/follow.log" || fail "playerctl --follow did not start"

ask play play || fail "play did not reach the program"
[ "$(pc status)" = Playing ] || fail "status after play"
wait_for 5 grep -qx Playing "$work/follow.log" || fail "the follower was not told of Playing"
[ "$(pc metadata title)" = "Tone 440" ] || fail "the title is not the stream's"
[ "$(pc metadata artist)" = "中国之声" ] || fail "the station is not shown as the artist"
[ "$(pc metadata xesam:url)" = "http://127.0.0.1:9/mp3" ] || fail "wrong address"

[ "$(pc volume)" = 0.500000 ] || fail "the volume does not read 0.5"
ask "volume 20" volume 0.2 || fail "volume 0.2 did not ask for 20"
[ "$(pc volume)" = 0.200000 ] || fail "the volume does not read 0.2 after the program took it"

ask next next || fail "next did not reach the program"
[ "$(pc metadata artist)" = "Ogg tone" ] || fail "next did not move to the second station"
# At the end of the list CanGoNext is false, and playerctl refuses by itself.
pc next >/dev/null && fail "next at the end of the list was offered"
ask previous previous || fail "previous did not reach the program"
[ "$(grep -c '^next$' "$work/app.log")" = 1 ] || fail "next at the end of the list reached the program"

pc open "av://lavfi:sine=440" >/dev/null && fail "an engine-only address was accepted"
pc open "http://127.0.0.1:9/other" >/dev/null || fail "a stream address was refused"
wait_for 5 said "open http://127.0.0.1:9/other" || fail "open did not reach the program"
grep -q '^open av:' "$work/app.log" && fail "a refused address reached the program"

ask stop play-pause || fail "play-pause while playing did not stop"
[ "$(pc status)" = Stopped ] || fail "status after play-pause"
wait_for 5 sh -c '[ "$(tail -n1 "$0")" = Stopped ]' "$work/follow.log" || fail "the follower was not told of Stopped"
echo "\$ playerctl --follow status -> $(tr '\n' ' ' <"$work/follow.log")" >&2

# A second copy takes its own name; playerctl sees both.
"$app" "A|http://127.0.0.1:9/a" >"$work/second.log" 2>&1 &
second=$!
e2e_started "$second"
wait_for 10 grep -q "registered org.mpris.MediaPlayer2.corvana.instance$second" "$work/second.log" \
    || fail "the second copy did not take corvana.instance$second"
players
[ "$players" = "corvana corvana.instance$second " ] || fail "playerctl lists '$players'"

# playerctl has no quit; a shell's own call does it.
timeout 10 gdbus call --session --dest org.mpris.MediaPlayer2.corvana --object-path /org/mpris/MediaPlayer2 \
    --method org.mpris.MediaPlayer2.Quit >/dev/null
wait_for 5 said quit || fail "Quit did not reach the program"
echo "mpris_playerctl: playerctl lists, reads and drives the service"
