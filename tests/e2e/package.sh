#!/usr/bin/env bash
# tests/e2e: the Debian package as a user gets it. Builds it with scripts/package, checks it with lintian (no
# errors) and by its control fields and contents, installs it with apt-get, starts /usr/bin/corvana as an
# unprivileged user with a private home under Xvfb, adds a station through 文件 > 网络URL, saves through
# 文件 > 保存列表, finds the list in that user's data folder (~/.local/share/Corvana/CvLst.lst: /usr/bin is not
# theirs to write), closes with Ctrl+E, and removes the package again.
#
# Leaves the machine as it found it: the package and anything its installation pulled in are removed on every
# way out. Needs root (apt-get); skips (77) when not root, or when a corvana package is installed already.
# Usage: package.sh BUILD_DIR [ARTIFACT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$1
. "$here/lib/world.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "package: skipped: installing a package needs root (CI runs as root)"
    exit 77
fi
package_state() { dpkg-query -W -f='${db:Status-Status}' corvana 2>/dev/null || true; }
if [ -n "$(package_state)" ] && [ "$(package_state)" != not-installed ]; then
    echo "package: skipped: a corvana package is on this machine already, and this test would remove it"
    exit 77
fi
e2e_begin package "${2:-}"
e2e_needs apt-get dpkg-deb lintian Xvfb xdpyinfo xdotool setpriv
chmod 755 "$work" # the unprivileged user reaches its home below here
installed_before="$work/installed-before"
dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ {print $2}' | sort >"$installed_before"
apt() { apt-get -o DPkg::Lock::Timeout=120 "$@"; }

# Removes corvana and whatever its installation added; says so when the machine is not back as it was.
restore_machine() {
    local added
    if [ -n "$(package_state)" ] && [ "$(package_state)" != not-installed ]; then
        apt remove -y corvana >"$work/remove.log" 2>&1 || dpkg --purge corvana >>"$work/remove.log" 2>&1 || true
    fi
    added=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ {print $2}' | sort |
        comm -13 "$installed_before" -)
    if [ -n "$added" ]; then
        # shellcheck disable=SC2086
        apt remove -y $added >>"$work/remove.log" 2>&1 || true
    fi
}
e2e_on_exit() { restore_machine; }

# --- Build and inspect ---------------------------------------------------------------------------------------
deb=$("$root/scripts/package" "$build" 2>"$work/build.log") || fail "scripts/package failed"
version=$(sed -n 's/^project(Corvana VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ "$(basename "$deb")" = "corvana_${version}_amd64.deb" ] || fail "the package is $(basename "$deb")"
step "built $(basename "$deb"): $(stat -c %s "$deb") bytes, installed size $(dpkg-deb -f "$deb" Installed-Size) KiB"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = corvana ] && [ "$(field Version)" = "$version" ] && [ "$(field Section)" = sound ] \
    || fail "control fields: $(field Package) $(field Version) $(field Section)"
[ "$(field Homepage)" = "https://www.ostrel.example/" ] || fail "homepage: $(field Homepage)"
depends=$(field Depends)
echo "Depends: $depends"
# libmpv is loaded at run time, out of dpkg-shlibdeps' sight; the Qt libraries are what dpkg-shlibdeps found.
for dep in libmpv2 libqt6widgets6 libqt6dbus6 libc6; do
    [[ ", $depends," == *", $dep"[\ ,]* ]] || fail "Depends lacks $dep"
done
dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' >"$work/contents"
for path in /usr/bin/corvana /usr/share/applications/example.ostrel.Corvana.desktop \
    /usr/share/metainfo/example.ostrel.Corvana.metainfo.xml \
    /usr/share/icons/hicolor/48x48/apps/example.ostrel.Corvana.png \
    /usr/share/icons/hicolor/scalable/apps/example.ostrel.Corvana.svg \
    /usr/share/doc/corvana/copyright /usr/share/doc/corvana/changelog.gz /usr/share/man/man1/corvana.1.gz; do
    grep -qx "$path" "$work/contents" || fail "the package lacks $path"
done

lintian --fail-on error --pedantic -I "$deb" >"$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian found errors"; }
sed 's/^/lintian: /' "$work/lintian.log" | grep -v 'running with root privileges' || true
step "control fields, contents and lintian as expected"

# --- Install ---------------------------------------------------------------------------------------------------
cp "$deb" "$work/" && chmod 644 "$work/$(basename "$deb")"
(cd "$work" && apt install -y "./$(basename "$deb")") >"$work/install.log" 2>&1 || fail "apt-get install failed"
[ -x /usr/bin/corvana ] || fail "no /usr/bin/corvana after the install"
step "installed with apt-get"

# --- The installed program, as a user --------------------------------------------------------------------------
e2e_start_display

home="$work/home"
mkdir -p "$home" "$work/run"
chown 65534:65534 "$home" "$work/run"
chmod 700 "$work/run"
setpriv --reuid=65534 --regid=65534 --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/run" DISPLAY="$DISPLAY" LANG=C.UTF-8 \
    QT_QPA_PLATFORM=xcb /usr/bin/corvana >"$work/corvana.log" 2>&1 &
corvana_pid=$!
wait_for 20 sh -c 'xdotool search --onlyvisible --name "^Corvana$" >"$0" 2>/dev/null' "$work/window" \
    || fail "no window titled Corvana"
window=$(head -n1 "$work/window")
[ "$(ps -o uid= -p "$corvana_pid" | tr -d ' ')" = 65534 ] || fail "corvana does not run as the unprivileged user"
shot started
step "/usr/bin/corvana runs as uid 65534 and shows its window"

# 文件 is the first menu of the bar at the window's top left; Down then moves through its entries.
file_menu() { # ENTRIES_DOWN: opens 文件 and runs the entry so many steps down
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool mousemove --window "$window" 15 10 click 1
    sleep 0.5
    xdotool key --repeat "$1" --delay 100 Down
    xdotool key Return
}
file_menu 1 # 网络URL
wait_for 10 sh -c 'xdotool search --onlyvisible --name "^添加电台地址$" >"$0" 2>/dev/null' "$work/input" \
    || fail "文件 > 网络URL opened no input box"
xdotool windowfocus --sync "$(head -n1 "$work/input")" 2>/dev/null || true
xdotool type --delay 20 "Packaged|http://127.0.0.1:9/packaged"
xdotool key Return
wait_for 10 sh -c '! xdotool search --onlyvisible --name "^添加电台地址$" >/dev/null 2>&1' || fail "the input box stays"
file_menu 2 # 保存列表
list="$home/.local/share/Corvana/CvLst.lst"
wait_for 10 test -s "$list" || fail "no list file at $list: $(find "$home" -type f | head)"
printf 'Packaged|http://127.0.0.1:9/packaged\r\n' | cmp -s - "$list" || { od -c "$list"; fail "the list file is wrong"; }
[ "$(stat -c %u "$list")" = 65534 ] || fail "the list file does not belong to the user"
[ ! -e /usr/bin/CvLst.lst ] || fail "a list file appeared beside the program"
shot saved
step "added and saved through the menu: $list holds the station"

xdotool windowfocus --sync "$window" 2>/dev/null || true
xdotool key --clearmodifiers ctrl+e
wait_for_exit 15
step "Ctrl+E closed it with status 0, nothing asked"

# --- Remove ----------------------------------------------------------------------------------------------------
restore_machine
[ ! -e /usr/bin/corvana ] || fail "/usr/bin/corvana is still there after the removal"
dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 ~ /^.i/ {print $2}' | sort |
    cmp -s - "$installed_before" || fail "the installed packages differ from before the test"
step "removed; the machine's packages are as before"
echo "package: all passed"
