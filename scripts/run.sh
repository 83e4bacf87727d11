#!/usr/bin/env bash
# Usage: scripts/run.sh [linux|windows]
# Builds the programs and walks the whole system: Sightrel marks a point, then Idlepress clicks it.
#   scripts/run.sh            the Linux programs
#   scripts/run.sh windows    the Windows programs, under Wine
# With a display ($DISPLAY), the programs open on your desktop: rest the pointer where the clicks
# should go and press Enter in "Mouse Position"; Idlepress then starts in the top-left corner.
# Without one, they run on a private X server: the script marks a point itself, takes a
# screenshot of each window (cropped to the window and its frame) and says where they are. SKIP_INSTALL=1 skips the package install.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
cd "$(dirname "$0")/.."
root=$PWD
platform=${1:-linux}
case $#:$platform in
  [01]:linux) suffix="" ;;
  1:windows) suffix=".exe" ;;
  1:-h | 1:--help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac

if [[ ${SKIP_INSTALL:-0} != 1 ]]; then scripts/install-deps.sh; fi
cmake --preset "$platform" >/dev/null
cmake --build --preset "$platform" --target Sightrel Idlepress

bin=$root/build/$platform/bin
run_program() {  # run_program NAME: runs it in the foreground, returns its exit status
  if [[ $platform == windows ]]; then
    "$root/scripts/wine-run.sh" "$bin/$1$suffix"
  else
    "$bin/$1"
  fi
}

if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
  echo "Sightrel: rest the pointer on the point to click, then press Enter (or click Grab It)."
  if run_program Sightrel && [[ -f $bin/coordinates.dat ]]; then
    echo "Marked: $(tr '\r\n' '  ' <"$bin/coordinates.dat")in $bin/coordinates.dat"
    echo "Idlepress: clicks that point after 15 still seconds. Left press on its X quits;"
    echo "right press sets the number of seconds."
    run_program Idlepress
  else
    echo "Nothing was grabbed; Idlepress not started."
  fi
  exit 0
fi

# No display: a private X server, a scripted grab and screenshots.
shots=$root/build/screenshots
mkdir -p "$shots"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$shots/.display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $shots/.display ]] && break; sleep 0.1; done
display_number=$(cat "$shots/.display")
export DISPLAY=:$display_number
cleanup() {
  if [[ $platform == windows ]]; then WINEPREFIX=$root/build/wineprefix wineserver -k 2>/dev/null || true; fi
  kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
openbox >/dev/null 2>&1 &
sleep 1

wait_window() {  # wait_window TITLE: prints the window id once it is mapped
  local deadline=$((SECONDS + 30)) id
  while ((SECONDS < deadline)); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [[ -n $id ]] && { echo "$id"; return; }
    sleep 0.2
  done
  echo "no window \"$1\" appeared" >&2
  return 1
}

# shoot_window WINDOW FILE: the screen cropped to WINDOW and the frame the window manager drew.
shoot_window() {
  local x y width height left=0 right=0 top=0 bottom=0
  read -r x y width height < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF }
    /Absolute upper-left Y/ { y = $NF } /^  Width/ { w = $NF } /^  Height/ { h = $NF }
    END { print x, y, w, h }')
  IFS=', ' read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS |
    sed -n 's/.*= //p') || true
  /usr/bin/import -window root -crop "$((width + left + right))x$((height + top + bottom))+$((x - left))+$((y - top))" \
    +repage "$2"
}

rm -f "$bin/coordinates.dat"
run_program Sightrel &
sightrel=$!
window=$(wait_window "Mouse Position")
xdotool mousemove 400 300
sleep 0.5
shoot_window "$window" "$shots/sightrel-$platform.png"
# The window manager gives the new window the keyboard.
for _ in {1..50}; do [[ $(xdotool getwindowfocus 2>/dev/null) == "$window" ]] && break; sleep 0.1; done
xdotool key Return
wait "$sightrel"
echo "Sightrel grabbed: $(tr '\r\n' '  ' <"$bin/coordinates.dat")"

run_program Idlepress &
idlepress=$!
window=$(wait_window "Idlepress")
xdotool mousemove 600 500
sleep 1
shoot_window "$window" "$shots/idlepress-$platform.png"
xdotool mousemove 8 8 click 1
wait "$idlepress" || true
echo "Screenshots, each cropped to its window: $shots/sightrel-$platform.png and $shots/idlepress-$platform.png"
