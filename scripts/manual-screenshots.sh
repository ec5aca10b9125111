#!/usr/bin/env bash
# Makes the user manual's screenshots from the built window program: starts build/bin/vantor on a
# display of its own (Xvfb with openbox), loads examples/reseller-site through the window as a
# person would (xdotool), and captures the main window, a page in edit mode and the plugin details.
# The pictures are written as 8-bit palette PNGs into resources/manual/images/.
# Usage: scripts/manual-screenshots.sh [BUILD_DIR]   (default: build; run scripts/build.sh first)
# Needs Xvfb, openbox, xdotool and ImageMagick (scripts/packages.d/gui.txt); as root it installs
# them when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build=${1:-build}
images=$source_dir/resources/manual/images

for tool in Xvfb openbox xdotool import convert; do
    if ! command -v "$tool" > /dev/null; then
        [ "$(id -u)" = 0 ] || { echo "manual-screenshots: $tool is missing (scripts/packages.d/gui.txt)" >&2; exit 1; }
        scripts/install-deps.sh
        break
    fi
done
[ -x "$build/bin/vantor" ] || { echo "manual-screenshots: no $build/bin/vantor; run scripts/build.sh" >&2; exit 1; }

run=$(mktemp -d "${TMPDIR:-/tmp}/vantor-screens.XXXXXX")
xvfb_pid='' wm_pid='' app_pid=''
finish() {
    for pid in $app_pid $wm_pid $xvfb_pid; do
        kill "$pid" 2> /dev/null && wait "$pid" 2> /dev/null
    done
    rm -rf "$run"
}
trap finish EXIT

# A private installation folder laid out as the build tree's, so that the working folder and the
# output folder are made there; a copy of the example site, so that its pages stay as they are.
install=$run/install
mkdir -p "$install" "$run/home" "$run/runtime"
chmod 700 "$run/runtime"
cp "$build/bin/vantor" "$build/bin/vantor-build" "$build/bin/blank.html" "$install/"
ln -s "$(realpath "$build/bin/plugintemplate")" "$install/plugintemplate"
[ -e "$build/bin/7za" ] && ln -s "$(realpath "$build/bin/7za")" "$install/7za"
cp -r examples/reseller-site "$run/site"

# The program and its web engine keep their settings and caches in the run's own folders.
export HOME=$run/home XDG_CONFIG_HOME=$run/home/.config XDG_DATA_HOME=$run/home/.local/share
export XDG_CACHE_HOME=$run/home/.cache XDG_RUNTIME_DIR=$run/runtime LANG=C.UTF-8
export QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
unset SESSION_MANAGER

# Xvfb picks a free display and names it on the descriptor given.
exec 3> "$run/display"
Xvfb -displayfd 3 -screen 0 1280x860x24 -nolisten tcp > "$run/xvfb.log" 2>&1 &
xvfb_pid=$!
exec 3>&-
for _ in $(seq 1 100); do [ -s "$run/display" ] && break; sleep 0.1; done
[ -s "$run/display" ] || { echo "manual-screenshots: Xvfb did not start: $(cat "$run/xvfb.log")" >&2; exit 1; }
DISPLAY=:$(head -n 1 "$run/display")
export DISPLAY
openbox --startup "touch '$run/wm-ready'" > "$run/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 1 100); do [ -e "$run/wm-ready" ] && break; sleep 0.1; done

# The id of the visible window whose title matches the pattern, once there is one.
window() {
    local id
    for _ in $(seq 1 300); do
        id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    echo "manual-screenshots: no window '$1' came up" >&2
    return 1
}
keys() {
    xdotool windowactivate --sync "$1" > /dev/null 2>&1 || true
    shift
    for key in "$@"; do xdotool key --clearmodifiers "$key"; sleep 0.3; done
}
# The window as a palette PNG of at most 256 colours.
capture() {
    import -window "$1" "$run/shot.png"
    convert "$run/shot.png" -strip -dither None -colors 256 "PNG8:$images/$2"
    echo "$images/$2: $(identify -format '%wx%h' "$images/$2"), $(stat -c %s "$images/$2") bytes"
}

"$install/vantor" > "$run/vantor.log" 2>&1 &
app_pid=$!
main=$(window '^Vantor! ')
sleep 3

# Load the site by the folder selector, as the "+" menu does.
keys "$main" ctrl+o
window '^Reminder$' > /dev/null
xdotool key Return
window '^Select a Folder with HTM/HTML Files$' > /dev/null
sleep 1
xdotool type --delay 10 "$run/site"
xdotool key Return
for _ in $(seq 1 300); do [ -f "$install/tmp/index.html" ] && break; sleep 0.2; done
sleep 3

# The list shows index.html: it becomes the front-end page; download.html, one up in the list,
# the download page; then the sales page is shown again.
list_x=200 list_y=76
keys "$main" alt+f
xdotool mousemove --window "$main" $list_x $list_y click 1
xdotool key Up
sleep 2
keys "$main" alt+d
xdotool mousemove --window "$main" $list_x $list_y click 1
xdotool key Down
sleep 2
xdotool mousemove --window "$main" 700 300
capture "$main" main-window.png

# The sales page in edit mode, scrolled to its #FRONT#.
keys "$main" ctrl+e
sleep 3
for _ in $(seq 1 10); do xdotool click 5; sleep 0.1; done
xdotool mousemove --window "$main" 560 420 click 1
sleep 1
capture "$main" edit-mode.png
keys "$main" ctrl+e
sleep 2

keys "$main" F1
help=$(window '^Quick Help$')
sleep 1
capture "$help" quick-help.png
keys "$help" Escape
sleep 1

# The plugin details, then a build of "Green Balcony" and its report.
keys "$main" ctrl+b
details=$(window '^Create Plugin$')
sleep 1
capture "$details" plugin-details.png
xdotool mousemove --window "$details" 260 152 click 1
xdotool key ctrl+a
xdotool type --delay 10 "Green Balcony"
xdotool key Return
window '^Done$' > /dev/null
xdotool key Return
report=$(window '^Important$')
sleep 1
capture "$report" build-report.png
xdotool key Return
# Without a file manager on this display the window says so; that box is closed too.
sleep 2
if xdotool search --onlyvisible --name '^Output Folder$' > /dev/null 2>&1; then xdotool key Return; sleep 1; fi
capture "$details" plugin-built.png
ls -l "$install/output"
