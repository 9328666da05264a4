#!/usr/bin/env bash
# Takes the README's two pictures of the real program: the control panel as the first start
# shows it, and a show with a picture fitted on black. Both come from a private X server
# (Xvfb, 1280x1024, 96 DPI) with openbox as window manager, each cropped to the window with
# its frame, and are written to data/screenshots/ as small PNG files.
#
#   tools/screenshots.sh [build folder]      (default: build; `make screenshots` runs it)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
out=$root/data/screenshots
for tool in Xvfb openbox xdotool xprop xwininfo import convert pngquant; do
    command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing" >&2; exit 1; }
done
[ -x "$build/bin/pelmora" ] || { echo "screenshots: no $build/bin/pelmora; build first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local tries=$(($1 * 10))
    shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || { echo "screenshots: timed out waiting for: $*" >&2; return 1; }
        sleep 0.1
    done
}

# The X server picks a free display and tells its number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp 3>"$work/display" 2>/dev/null &
pids+=($!)
wait_for 10 test -s "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM QT_SCALE_FACTOR XDG_CONFIG_HOME
export LANG=C.UTF-8 LC_ALL=C.UTF-8
wait_for 10 xdotool getdisplaygeometry
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
wait_for 10 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'

# A photo-like picture: an evening sky, a low sun, two rows of hills and a lake, with a
# cloudy texture over it all.
mkdir "$work/pictures" "$work/app"
convert -size 1500x1000 gradient:'#2f6fc0-#f7d9a8' \
    \( -size 1500x1000 xc:none -fill '#fff6d0' -draw 'circle 1060,470 1060,535' -blur 0x3 \) -composite \
    -fill '#6d8f86' -draw 'path "M 0,640 C 250,500 480,590 760,540 C 1020,495 1240,600 1500,560 L 1500,1000 L 0,1000 Z"' \
    -fill '#3d6b33' -draw 'path "M 0,760 C 260,660 470,730 720,690 C 980,650 1210,740 1500,700 L 1500,1000 L 0,1000 Z"' \
    \( -size 1500x190 gradient:'#5a8fb8-#1d3a57' \) -gravity south -composite \
    -fill '#f3e2b0' -draw 'ellipse 1060,850 22,30 0,360' \
    \( -size 1500x1000 -seed 5 plasma:grey50-grey50 -colorspace gray -blur 0x2 \) -compose softlight -composite \
    -quality 90 "$work/pictures/evening.jpg"

# The program from a folder of its own, so that its settings file starts absent.
cp "$build/bin/pelmora" "$work/app/pelmora"

viewer_pid=
start_viewer() {
    "$work/app/pelmora" >/dev/null 2>&1 &
    viewer_pid=$!
    pids+=("$viewer_pid")
    wait_for 10 xdotool search --onlyvisible --name '^Pelmora$'
    window=$(xdotool search --onlyvisible --name '^Pelmora$' | head -n1)
    wait_for 10 sh -c "xprop -id $window _NET_FRAME_EXTENTS | grep -q ="
    sleep 1 # the first paint
}

stop_viewer() {
    kill "$viewer_pid" 2>/dev/null || true
    wait "$viewer_pid" 2>/dev/null || true
}

# Crops the screen to the window and the frame openbox has put around it.
shoot() {
    local info x y w h l r t b
    info=$(xwininfo -id "$window")
    x=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
    y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
    w=$(sed -n 's/.*Width: *//p' <<<"$info")
    h=$(sed -n 's/.*Height: *//p' <<<"$info")
    IFS=', ' read -r l r t b < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= *//')
    import -window root "$work/screen.png"
    convert "$work/screen.png" -crop "$((w + l + r))x$((h + t + b))+$((x - l))+$((y - t))" +repage \
        -strip "$work/$1"
    echo "screenshots: $1 is the window at ${w}x${h}+${x}+${y} with a frame of $l,$r,$t,$b"
}

mkdir -p "$out"

# 1. The first start: no settings file, the panel at its designed size.
start_viewer
shoot panel.png
stop_viewer

# 2. A show in a larger window (640x520 with its frame, in twips) with the picture folder chosen;
#    Start sits at its designed place on the panel, the first picture comes after one interval.
cat >"$work/app/pelmora.ini" <<EOF
[Position]
Left=3000
Top=2250
Width=9600
Height=7800
[Display]
Time=5
[Folders]
00=$work/pictures
EOF
start_viewer
xdotool mousemove --window "$window" 82 32 click 1
wait_for 10 sh -c "! xdotool getwindowname $window | grep -qx Pelmora"
xdotool key --window "$window" space # pause, so the picture holds still
sleep 1
shoot show.png
stop_viewer

# Few colours keep the files small; the pictures are flat and smooth enough not to show it.
for name in panel.png show.png; do
    pngquant --force --speed 1 --strip --output "$out/$name" 128 "$work/$name"
    echo "screenshots: $out/$name, $(stat -c %s "$out/$name") bytes"
done
