#!/usr/bin/env bash
# tests/e2e: the search window (Ctrl+F) on the real binary, against a stand-in for the community's station
# directory that the program reaches exactly as it reaches the real one: the servers' names from the system's
# resolver (the SRV record, else the addresses of all.api.radio-browser.info and their reverse names), then HTTPS
# to a server's name, verified against the system's certificate store. All of it runs in a private network
# namespace holding only loopback, with a private /etc/resolv.conf, /etc/hosts and /etc/ssl/certs: dnsmasq answers
# for the directory's names, a test CA made here is the only one trusted, and tests/support/directory_standin.py
# serves the directory on 127.0.0.1:443 with a certificate for de1.api.radio-browser.info. Display, bus, sound and
# stream server are world.sh's, started inside the namespace. Needs root (skipped with 77 where unshare is refused).
# Usage: directory.sh PATH_TO_CORVANA VERSION [ARTIFACT_DIR]
#
#  1. No list file: the empty list says how stations come in (and tells a screen reader so).
#  2. Ctrl+F: 搜索电台 shows the most listened Chinese stations (three languages asked, merged, each once, the most
#     listened first).
#  3. "tone" typed a key at a time: one search by name and one by tag, after the last key only.
#  4. A result that cannot be heard, clicked and Enter: the search window says so. Another: sound at the sink,
#     正在收听:<name> in the main window, one click told to the directory for each.
#  5. Two results selected, Ctrl+Enter: both in the main list; the close asks to save, 是 writes them to CvLst.lst.
#  6. No resolver: the window says it found no server, and 重试 with the resolver back (without the SRV record: the
#     addresses of all.api.radio-browser.info and their reverse names) finds the server.
#     A search the server redirects (302): its target asked once per request; redirected for ever: 重定向太多.
#  7. An old list: 检查全部电台, 修复无法连接的电台, 在目录中查找 and 替换地址 on its dead station, saved.
#  Every request carried User-Agent Corvana/VERSION and the server's name.
set -euo pipefail
if [ "${1:-}" != --in-namespace ]; then
    if ! unshare --net --mount true 2>/dev/null; then
        echo "directory: SKIP: no private network and mount namespace here (unshare --net --mount needs root)"
        exit 77
    fi
    exec unshare --net --mount -- bash "$0" --in-namespace "$@"
fi
shift
binary=$(readlink -f "$1")
version=$2
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/world.sh"
e2e_begin directory "${3:-}"
e2e_needs ip dnsmasq openssl curl Xvfb dbus-daemon openbox xdotool pulseaudio parec pactl icecast2 ffmpeg
# Nothing outside the namespace is reachable, a proxy included.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

# --- The network: loopback, a resolver, a certificate store ---------------------------------------------------
. "$here/lib/directory_network.sh"
directory_network
directory_resolver with-srv

# --- The world -------------------------------------------------------------------------------------------------
e2e_start_display
e2e_private_home
e2e_start_bus --a11y
e2e_start_window_manager
e2e_start_sound directory
e2e_start_streams

# --- The directory's stand-in -----------------------------------------------------------------------------------
# chinese and mandarin both hold 中国之声; Jazz Tone Radio and Tone Classics speak no Chinese.
cat >"$net/stations.json" <<EOF
[
 {"stationuuid": "96062a7b-0601-11e8-ae97-52543be04c81", "name": "中国之声", "url": "http://127.0.0.1:$PORT/ogg",
  "url_resolved": "http://127.0.0.1:$PORT/ogg", "country": "China", "codec": "OGG", "bitrate": 96,
  "tags": "news,tone", "language": "chinese,mandarin", "clickcount": 1200, "lastcheckok": 1},
 {"stationuuid": "9617a958-0601-11e8-ae97-52543be04c81", "name": "粤语之声", "url": "http://127.0.0.1:9/yue",
  "url_resolved": "http://127.0.0.1:9/yue", "country": "Hong Kong", "codec": "AAC", "bitrate": 64,
  "tags": "hong kong,music", "language": "cantonese", "clickcount": 800, "lastcheckok": 1},
 {"stationuuid": "a5d4e8f2-3b6c-4c1e-9d7a-2f0b8e6c1d34", "name": "华语音乐台", "url": "http://127.0.0.1:$PORT/mp3",
  "url_resolved": "http://127.0.0.1:$PORT/mp3", "country": "Taiwan", "codec": "MP3", "bitrate": 128,
  "tags": "pop,tone", "language": "mandarin", "clickcount": 300, "lastcheckok": 1},
 {"stationuuid": "c3f1b2a0-7e5d-4a9b-8c6f-1d2e3f4a5b6c", "name": "Jazz Tone Radio", "url": "http://127.0.0.1:$PORT/ogg",
  "url_resolved": "http://127.0.0.1:$PORT/ogg", "country": "Germany", "codec": "OGG", "bitrate": 96,
  "tags": "jazz", "language": "german", "clickcount": 50, "lastcheckok": 1},
 {"stationuuid": "e7a9c5b3-1f2d-4e6a-8b0c-9d8e7f6a5b4c", "name": "Tone Classics", "url": "http://127.0.0.1:9/classics",
  "url_resolved": "http://127.0.0.1:9/classics", "country": "Austria", "codec": "MP3", "bitrate": 192,
  "tags": "classical", "language": "german", "clickcount": 20, "lastcheckok": 1}
]
EOF
requests="$work/requests.log"
/usr/bin/python3 "$here/../support/directory_standin.py" --cert "$net/server.pem" --key "$net/server.key" \
    --stations "$net/stations.json" --log "$requests" --lifetime 600 >"$work/standin.log" 2>&1 &
e2e_started $!
wait_for 10 grep -q ready "$work/standin.log" || fail "the directory's stand-in did not start"
# The way the program goes, by another client: the name from the resolver, the certificate from the store.
curl -fsS -o /dev/null "https://de1.api.radio-browser.info/json/stations/search?name=x" \
    || fail "curl cannot reach the stand-in by its name through the private resolver and certificate store"
: >"$requests"
step "namespace: loopback only; dnsmasq answers for radio-browser.info; the test CA is the only one trusted"

asked() { # the paths asked for since the log began, each query's parameters in one order
    /usr/bin/python3 -c 'import sys, urllib.parse as u
for line in open(sys.argv[1], encoding="utf-8"):
    path = line.rstrip("\n").split("\t")[3]
    url = u.urlsplit(path)
    print(url.path + ("?" + "&".join(sorted(url.query.split("&"))) if url.query else ""))' "$requests"
}
search_path() { # KEY=VALUE: a search as the program asks it, the parameters ordered as asked prints them
    echo "/json/stations/search?$(printf '%s\n' "$1" order=clickcount reverse=true hidebroken=true limit=100 |
        LC_ALL=C sort | paste -sd'&')"
}
asked_is() { # PATH...: exactly these requests so far, in any order
    diff <(asked | sort) <(printf '%s\n' "$@" | sort) >"$work/asked.diff"
}
every_request_named() { # each request carried the program's name and the server's
    awk -F'\t' -v ua="Corvana/$version" '$6 != ua || $5 != "de1.api.radio-browser.info" { bad = 1; print }
        END { exit bad }' "$requests" >&2
}
row_y() { local x y; read -r x y <<<"$(screen find "table cell" "$1")" && echo "$y"; }

# --- Corvana -----------------------------------------------------------------------------------------------------
cp "$binary" "$work/corvana"
keys() { xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true; shift; xdotool key --clearmodifiers "$@"; }

# 1. No list file: the hint.
start_corvana env QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
hint="拖入或粘贴(Ctrl+V)电台链接,或按Ctrl+F搜索电台"
hint_re='^拖入或粘贴\(Ctrl\+V\)电台链接,或按Ctrl\+F搜索电台$'
wait_for 10 screen shows "$hint_re" || fail "the empty list does not describe itself as: $hint"
silent || fail "sound before anything was played"
sleep 0.5
shot empty-list
[ ! -s "$requests" ] || fail "the directory was asked before Ctrl+F"
step "no list file: the empty list reads '$hint'"

# 2. Ctrl+F: the opening list.
keys "$window" ctrl+f
search=$(wait_for_window '^搜索电台$') || fail "Ctrl+F showed no window titled 搜索电台"
wait_for 15 screen find label "找到3个电台" >/dev/null || fail "搜索电台 does not show the opening list (找到3个电台)"
for name in 中国之声 粤语之声 华语音乐台; do
    screen find "table cell" "$name" >/dev/null || fail "the opening list lacks $name"
done
first=$(row_y 中国之声) second=$(row_y 粤语之声) third=$(row_y 华语音乐台)
((first < second && second < third)) || fail "the opening list is not the most listened first ($first $second $third)"
asked_is "$(search_path language=chinese)" "$(search_path language=mandarin)" "$(search_path language=cantonese)" ||
    fail "the opening list's requests: $(cat "$work/asked.diff")"
grep -q 'query\[SRV\] _api._tcp.radio-browser.info' "$work/dnsmasq.log" || fail "no SRV look-up reached the resolver"
every_request_named || fail "requests above lack User-Agent Corvana/$version or Host de1.api.radio-browser.info"
step "Ctrl+F: 搜索电台 with chinese, mandarin and cantonese asked once each, 3 stations merged, most listened first"

# 3. A search, typed a key at a time, faster than the pause.
click_at text "搜索" || fail "no search field"
xdotool type --delay 60 tone
wait_for 15 screen find label "找到4个电台" >/dev/null || fail "typing 'tone' did not show 4 stations"
for name in 中国之声 华语音乐台 "Jazz Tone Radio" "Tone Classics"; do
    screen find "table cell" "$name" >/dev/null || fail "the search for 'tone' lacks $name"
done
! screen find "table cell" 粤语之声 >/dev/null || fail "the search for 'tone' still shows 粤语之声"
asked_is "$(search_path language=chinese)" "$(search_path language=mandarin)" "$(search_path language=cantonese)" \
    "$(search_path name=tone)" "$(search_path tag=tone)" ||
    fail "typing 'tone' asked for something other than name=tone and tag=tone once each: $(cat "$work/asked.diff")"
sleep 0.5
shot search
step "'tone' typed: name=tone and tag=tone asked once each, none for a part of it; 4 stations shown"

# 4. Play a result.
click_at "table cell" "Tone Classics" && keys "$search" Return || fail "cannot play Tone Classics"
wait_for 15 screen find label "无法收听:无法连接.*" >/dev/null || fail "a result that cannot be heard: nothing said"
click_at "table cell" 华语音乐台 || fail "cannot click 华语音乐台"
keys "$search" Return
wait_for 15 sounding || fail "no sound at the sink 15 s after Enter on 华语音乐台 ($(level 1) dBFS)"
wait_for 5 screen find label "正在收听:华语音乐台" >/dev/null || fail "the main window does not read 正在收听:华语音乐台"
click="/json/url/a5d4e8f2-3b6c-4c1e-9d7a-2f0b8e6c1d34"
wait_for 5 grep -qF "	$click	" "$requests" || fail "the directory was not told of the click ($click)"
[ "$(grep -c '/json/url/' "$requests")" = 2 ] || fail "clicks told: $(grep '/json/url/' "$requests")"
step "Enter on 华语音乐台: sound at the sink, 正在收听:华语音乐台, one GET $click"

# 5. Add two results to the list, close, save.
keys "$search" shift+Down
keys "$search" ctrl+Return
wait_for 5 screen find label "已添加2个电台" >/dev/null || fail "Ctrl+Enter did not add two stations"
keys "$search" Escape
wait_for 5 sh -c '! xdotool search --onlyvisible --name "^搜索电台$" >/dev/null' || fail "Escape left 搜索电台 open"
for name in 华语音乐台 "Jazz Tone Radio"; do
    screen find "table cell" "$name" >/dev/null || fail "the main list lacks $name"
done
! screen find "table cell" 中国之声 >/dev/null || fail "the main list holds 中国之声, which was not selected"
! screen shows "$hint_re" || fail "the list with stations still describes itself as empty"
sleep 0.5
shot added-from-search
keys "$window" alt+F4
wait_for 10 click_at "push button" "是.*|&?Yes" || fail "closing after adding asked no save question"
wait_for_exit 15
list_is "$work/CvLst.lst" "华语音乐台|http://127.0.0.1:$PORT/mp3" "Jazz Tone Radio|http://127.0.0.1:$PORT/ogg" ||
    fail "CvLst.lst does not hold the two stations added"
every_request_named || fail "requests above lack User-Agent Corvana/$version or Host de1.api.radio-browser.info"
step "Ctrl+Enter added 华语音乐台 and Jazz Tone Radio; closed, answered 是: CvLst.lst holds both"

# 6. Without the SRV record.
kill "$resolver" && wait "$resolver" 2>/dev/null || true
mv "$requests" "$work/requests-srv.log"
# An old station of the list, its address long gone (step 7).
printf '中国之声|http://127.0.0.1:9/gone\r\n' | iconv -t GBK >>"$work/CvLst.lst"
start_corvana env QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
wait_for 10 screen find "table cell" 华语音乐台 >/dev/null || fail "the saved list did not load"
keys "$window" ctrl+f
search=$(wait_for_window '^搜索电台$') || fail "Ctrl+F showed no window titled 搜索电台 the second time"
wait_for 25 screen find label "(?s)无法连接电台目录:找不到它的服务器.*粘贴电台链接\(Ctrl\+V\)" >/dev/null ||
    fail "without a resolver 搜索电台 does not say it found no server"
directory_resolver without-srv
click_at "push button" 重试 || fail "no 重试 button"
wait_for 25 screen find label "找到3个电台" >/dev/null ||
    fail "without the SRV record 搜索电台 does not show the opening list"
grep -q 'query\[PTR\] 1.0.0.127.in-addr.arpa' "$work/dnsmasq.log" || fail "no reverse look-up of 127.0.0.1"
asked_is "$(search_path language=chinese)" "$(search_path language=mandarin)" "$(search_path language=cantonese)" ||
    fail "the opening list's requests without SRV: $(cat "$work/asked.diff")"
click_at text "搜索" || fail "no search field"
xdotool type moved:jazz
wait_for 15 screen find label "找到1个电台" >/dev/null && [ "$(asked | grep -cE '=jazz(&|$)')" = 2 ] ||
    fail "a search redirected once was not answered by one request to its target: $(asked | grep jazz)"
xdotool key ctrl+a type loop:x
wait_for 15 screen find label "(?s)无法连接电台目录:重定向太多.*" >/dev/null ||
    fail "a search redirected for ever does not say 无法连接电台目录:重定向太多"
[ "$(asked | grep -c 'name=loop')" = 4 ] || fail "a redirect loop asked $(asked | grep -c 'name=loop') times, not 1 + 3"
every_request_named || fail "requests above lack User-Agent Corvana/$version or Host de1.api.radio-browser.info"
step "no resolver: no server, 重试; without SRV: the reverse name, the list; a 302 asked once; a loop: 重定向太多"

# 7. An old list mended: 检查全部电台 marks the dead station; 修复无法连接的电台 proposes the directory's; 在目录中查找
#    on it, 替换地址, saved: the file holds the new address under the old name. (The list's menu by its keys:
#    on the last row, 下移 is off.)
keys "$search" Escape
menu() { click_at "table cell" 中国之声 3 && sleep 0.5 && xdotool key --delay 30 $(printf 'Down %.0s' $(seq "$1")) Return; }
menu 13 # 检查全部电台
wait_for 20 screen find label "检查了3个电台,1个无法连接" >/dev/null || fail "检查全部电台 did not find one dead station"
sleep 0.5 && shot list-checked
menu 14 # 修复无法连接的电台
wait_for_window '^修复电台$' >/dev/null && wait_for 15 screen find label "勾选的1个电台.*" >/dev/null ||
    fail "修复电台 proposes nothing for 中国之声"
sleep 0.5 && shot repair && xdotool key Escape
menu 12 # 在目录中查找
wait_for 15 screen find label "找到1个电台" >/dev/null && click_at "push button" 替换地址 || fail "no 替换地址 for 中国之声"
wait_for 5 screen find label "已替换地址:中国之声" >/dev/null || fail "替换地址 did not replace it"
keys "$window" ctrl+e
wait_for 10 click_at "push button" "是.*|&?Yes" || fail "no save question after 替换地址"
wait_for_exit 15
grep -q "^中国之声|http://127.0.0.1:$PORT/ogg" <(iconv -f GBK "$work/CvLst.lst") || fail "中国之声 was not saved with its new address"
step "检查全部电台: 1 of 3 dead; 修复电台 proposes; 在目录中查找, 替换地址, saved under the old name"
echo "directory: all passed"
