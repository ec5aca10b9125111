#!/usr/bin/env bash
# Makes the Debian package from a built tree, installs it with apt-get as a user would, uses both
# programs as an ordinary user (their folders go to that user's home), and purges it again.
# Prints "ok - ..." / "FAIL - ..." per check and "N passed, M failed" at the end.
# Exits 77 (skipped) where it cannot run: not root, no dpkg, or a vantor package already installed.
# Usage: run_package_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail

BUILD=$1 SOURCE=$2
skip() { echo "skipped: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "installing a package needs root"
command -v dpkg-deb > /dev/null && command -v apt-get > /dev/null && command -v setpriv > /dev/null ||
    skip "dpkg, apt-get or setpriv is missing"
dpkg-query -W -f='${Status}' vantor 2> /dev/null | grep -q 'install ok' &&
    skip "a vantor package is installed on this machine; the test would replace it"

RUN=$(mktemp -d "${TMPDIR:-/tmp}/vantor-package.XXXXXX")
chmod 755 "$RUN"
passed=0 failed=0 installed=0 window_pid=
finish() {
    [ -n "$window_pid" ] && kill -KILL "$window_pid" 2> /dev/null
    [ "$installed" = 1 ] && apt-get purge -y -qq vantor > /dev/null 2>&1
    rm -rf "$RUN"
}
trap finish EXIT
ok() { echo "ok - $*"; passed=$((passed + 1)); }
fail() { echo "FAIL - $*"; failed=$((failed + 1)); }
verdict() { if [ "$2" = 0 ]; then ok "$1"; else fail "$1${3:+: $3}"; fi; }

(cd "$BUILD" && cpack -G DEB -B "$RUN/package" > "$RUN/cpack.log" 2>&1)
deb=$(ls "$RUN"/package/vantor_*_*.deb 2> /dev/null | head -n 1)
[ -n "$deb" ]
verdict "cpack makes the package" $? "$(tail -n 5 "$RUN/cpack.log")"
[ -n "$deb" ] || { echo "$passed passed, $failed failed"; exit 1; }
version=$(sed -n 's/^project(Vantor VERSION \([0-9.]*\).*/\1/p' "$SOURCE/CMakeLists.txt")
[ "$(basename "$deb")" = "vantor_${version}_$(dpkg --print-architecture).deb" ] &&
    dpkg-deb -f "$deb" Depends | grep -q 'p7zip-full' && dpkg-deb -f "$deb" Depends | grep -q 'libqt6core6' &&
    [ -n "$(dpkg-deb -f "$deb" Maintainer)" ] && [ "$(dpkg-deb -f "$deb" Section)" = web ]
verdict "the package is named after the project's version and depends on Qt and the archiver" $? \
    "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"

if command -v lintian > /dev/null; then
    lintian "$deb" > "$RUN/lintian.log" 2>&1
    ! grep -qE '^[EW]:' "$RUN/lintian.log"
    verdict "lintian finds no error and no warning" $? "$(grep -E '^[EW]:' "$RUN/lintian.log" | head -n 5)"
fi

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -qq "$deb" > "$RUN/install.log" 2>&1
code=$?
[ "$code" = 0 ] && installed=1
dpkg -L vantor > "$RUN/files.txt" 2> /dev/null
[ "$code" = 0 ] && [ -x /usr/bin/vantor ] && [ -x /usr/bin/vantor-build ] &&
    [ -f /usr/share/vantor/plugintemplate/plugin.php ] && [ -f /usr/share/vantor/blank.html ] &&
    grep -q '^Exec="vantor"' /usr/share/applications/vantor.desktop &&
    [ -f /usr/share/icons/hicolor/256x256/apps/vantor.png ]
verdict "apt-get installs the programs on the PATH, the template in share/vantor and the menu entry" $? \
    "$(tail -n 3 "$RUN/install.log")"

# The user manual lies where the window program looks for it beside bin/, whole, and the manual
# page says where.
missing_manual=""
while IFS= read -r file; do
    [ -f "/usr/share/vantor/manual/$file" ] || missing_manual="$missing_manual $file"
done < <(cd "$SOURCE/resources/manual" && find . -type f -printf '%P\n')
[ -f /usr/share/vantor/manual/index.html ] && [ -z "$missing_manual" ] &&
    zcat /usr/share/man/man1/vantor.1.gz | grep -qF /usr/share/vantor/manual/index.html
verdict "the package installs the user manual in share/vantor/manual and man vantor names it" $? \
    "missing:${missing_manual:- none}"

# An ordinary user with a home of their own and no documents folder.
user_home=$RUN/home
mkdir -p "$user_home" "$RUN/run"
cp -r "$SOURCE/examples/reseller-site" "$RUN/site"
chown -R 65534:65534 "$user_home" "$RUN/run"
user_env=(setpriv --reuid=65534 --regid=65534 --clear-groups
    env -i HOME="$user_home" PATH=/usr/bin:/bin XDG_RUNTIME_DIR="$RUN/run" LANG=C.UTF-8)
as_user() { "${user_env[@]}" "$@"; }
outputs="$user_home/Vantor Plugins"
help=$(as_user vantor-build --help 2>&1)
grep -qF "$outputs" <<< "$help"
verdict "vantor-build --help names the user's own output folder" $? "$(grep -i output <<< "$help" | head -n 2)"
printed=$(as_user vantor-build "$RUN/site" --front index.html --download download.html --name "Package Check" 2> "$RUN/build.log")
[ "$printed" = "$outputs/packagecheck.zip" ] && [ -s "$outputs/packagecheck.zip" ] &&
    [ "$(stat -c %u "$outputs/packagecheck.zip")" = 65534 ]
verdict "vantor-build without --output writes the ZIP into the user's output folder" $? \
    "printed '$printed'; $(tail -n 2 "$RUN/build.log")"

# A plain command, not a function: setpriv and env each run the next in their place, so $! is the
# window's own process and the stop below reaches it (a function would put a shell between).
"${user_env[@]}" QT_QPA_PLATFORM=offscreen QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu" vantor \
    > "$RUN/window.log" 2>&1 &
window_pid=$!
came_up=1
for _ in $(seq 1 300); do
    kill -0 "$window_pid" 2> /dev/null || break
    if [ -d "$user_home/.local/share/vantor/tmp" ] && [ -d "$outputs" ]; then came_up=0; break; fi
    sleep 0.1
done
sleep 1
kill -0 "$window_pid" 2> /dev/null || came_up=1
verdict "the window comes up for the user with its working folder under their home" $came_up "$(tail -n 3 "$RUN/window.log")"
kill -TERM "$window_pid" 2> /dev/null
ended=1
for _ in $(seq 1 100); do
    kill -0 "$window_pid" 2> /dev/null || { ended=0; break; }
    sleep 0.1
done
[ "$ended" = 0 ] && ! pgrep -u 65534 -x vantor > /dev/null
verdict "the window ends on SIGTERM, and no window program of the user is left running" $? \
    "$(pgrep -a -u 65534 -x vantor | head -n 3)"
kill -KILL "$window_pid" 2> /dev/null
wait "$window_pid" 2> /dev/null
window_pid=

apt-get purge -y -qq vantor > "$RUN/purge.log" 2>&1
code=$?
[ "$code" = 0 ] && installed=0
left=""
while IFS= read -r path; do
    [ -e "$path" ] && [ ! -d "$path" ] && left="$left $path"
done < "$RUN/files.txt"
[ "$code" = 0 ] && [ -z "$left" ] && ! dpkg-query -W vantor > /dev/null 2>&1
verdict "apt-get purge removes every file the package brought" $? "$left $(tail -n 2 "$RUN/purge.log")"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
