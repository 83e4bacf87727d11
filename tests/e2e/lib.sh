# Helpers for the end-to-end tests; each *_test.sh sources this file.
#
# ctest passes the set-up in the environment (see CMakeLists.txt beside this file):
#   E2E_PLATFORM   linux (native programs) or windows (the .exe files, run under Wine)
#   E2E_PROBE      pointer_probe          E2E_RECORDER  the platform's click recorder
#   E2E_IDLEPRESS  Idlepress program      E2E_SIGHTREL  Sightrel program
#   E2E_WINE_RUN   scripts/wine-run.sh    WINEPREFIX    the Wine prefix (windows only)
#   E2E_WORK       where scratch folders go; a failed test leaves its folder there
#   E2E_HAND       wayland_hand, the user's mouse and keyboard in a Wayland session
#   E2E_ADD_TO_MENU, E2E_MENU_ENTRIES  add-to-menu.sh and the folder of the entries' templates
#   E2E_COMPOSITOR sway (the default) or kwin, for the tests in a Wayland session
# A test exits 0 when it passes, 1 when it fails, and 77 (skipped) only when a tool it needs
# (Xvfb, xdotool, wine) isn't installed.

# Conditions handed to poll_until are single-quoted on purpose: eval expands them at each try.
# shellcheck disable=SC2016
# EXIT_STATUS, LAST_PID, PROMPT_CLOSED_MS are results for the tests that source this file.
# shellcheck disable=SC2034

set -u -o pipefail

readonly E2E_SKIP=77
E2E_NAME=$(basename "$0" .sh)${1:+.$1}
E2E_PLATFORM=${E2E_PLATFORM:-linux}
scratch=""
xvfb_pid=""
wm_pid=""
compositor_pid=""
e2e_pids=()
EXIT_STATUS=""
LAST_PID=""

# ---- reporting -----------------------------------------------------------------------------

note() { printf '[%s] %s: %s\n' "$(date +%T.%3N)" "$E2E_NAME/$E2E_PLATFORM" "$*"; }

fail() {
  printf 'FAIL %s/%s: %s\n' "$E2E_NAME" "$E2E_PLATFORM" "$*"
  exit 1
}

pass() { note "ok: $*"; }

skip() {
  printf 'SKIP %s/%s: %s\n' "$E2E_NAME" "$E2E_PLATFORM" "$*"
  exit "$E2E_SKIP"
}

# assert_eq WHAT EXPECTED SEEN
assert_eq() {
  [[ $2 == "$3" ]] || fail "$1: expected \"$2\", saw \"$3\""
  pass "$1: \"$3\""
}

# assert_between WHAT VALUE LOW HIGH [UNIT]: LOW <= VALUE <= HIGH, integers.
assert_between() {
  local what=$1 value=$2 low=$3 high=$4 unit=${5:-}
  ((value >= low && value <= high)) ||
    fail "$what: expected between $low$unit and $high$unit, saw $value$unit"
  pass "$what: $value$unit (allowed $low..$high$unit)"
}

# assert_file_bytes WHAT FILE PRINTF_FORMAT: the file holds exactly the bytes of the format.
assert_file_bytes() {
  local what=$1 file=$2 expected
  expected=$(mktemp "$scratch/expected.XXXXXX")
  # shellcheck disable=SC2059  # the format is the expected content, escapes included
  printf "$3" >"$expected"
  [[ -f $file ]] || fail "$what: expected $file holding $(od -An -c "$expected" | tr -s ' '), but there is no such file"
  if ! cmp -s "$expected" "$file"; then
    fail "$what: expected the bytes$(od -An -c "$expected" | tr -s ' ') in $file, saw$(od -An -c "$file" | tr -s ' ')"
  fi
  pass "$what:$(od -An -c "$file" | tr -s ' ')"
}

# ---- time and polling ----------------------------------------------------------------------

# Milliseconds since the Unix epoch, the clock the recorders stamp their lines with.
now_ms() {
  local t=${EPOCHREALTIME/./}
  echo $((10#$t / 1000))
}

# seconds_to_ms SECONDS: "2" -> 2000, "0.5" -> 500.
seconds_to_ms() {
  local whole=${1%%.*} fraction=000
  [[ $1 == *.* ]] && fraction=${1#*.}000
  echo $((10#${whole:-0} * 1000 + 10#${fraction:0:3}))
}

# poll_until TIMEOUT_S COMMAND...: runs COMMAND every 20 ms until it succeeds (0) or the
# deadline passes (1).
poll_until() {
  local deadline=$(($(now_ms) + $(seconds_to_ms "$1"))) && shift
  until "$@"; do
    (($(now_ms) >= deadline)) && return 1
    sleep 0.02
  done
}

# let_time_pass SECONDS: for the few places where a program's own period has to elapse and
# nothing outside the program shows when it has (a label refreshed on a timer).
let_time_pass() {
  poll_until "$1" false || true
}

# ---- set-up and clean-up -------------------------------------------------------------------

# e2e_begin: checks the tools (skipping when one is absent) and the programs, makes the scratch
# folder and arms the clean-up.
e2e_begin() {
  local tool
  for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  case $E2E_PLATFORM in
    linux) ;;
    windows)
      for tool in wine wineserver; do
        command -v "$tool" >/dev/null || skip "$tool is not installed"
      done
      [[ -n ${WINEPREFIX:-} ]] || fail "WINEPREFIX is not set"
      [[ -x ${E2E_WINE_RUN:-} ]] || fail "E2E_WINE_RUN (scripts/wine-run.sh) is not set or not executable"
      export WINEPREFIX WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
      ;;
    *) fail "E2E_PLATFORM must be linux or windows, not \"$E2E_PLATFORM\"" ;;
  esac

  local work=${E2E_WORK:-${TMPDIR:-/tmp}}
  mkdir -p "$work" || fail "can't make $work"
  scratch=$(mktemp -d "$work/$E2E_NAME-$E2E_PLATFORM.XXXXXX") || fail "can't make a scratch folder"
  trap e2e_cleanup EXIT
  trap 'exit 1' INT TERM HUP

  if [[ $E2E_PLATFORM == windows ]]; then
    # Every Wine test kills the prefix's wineserver when it ends: one at a time per prefix.
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 8>"$WINEPREFIX.e2e.lock"
    flock -w 100 8 || fail "another end-to-end test held $WINEPREFIX.e2e.lock for 100 s"
  fi
  note "scratch folder $scratch"
}

# need_program VAR: the program named by environment variable VAR exists.
need_program() {
  local path=${!1:-}
  [[ -n $path && -f $path ]] || fail "$1 names no built program (\"$path\")"
}

e2e_cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if ((status != 0 && status != E2E_SKIP)) && [[ -n $xvfb_pid && -n ${DISPLAY:-} ]]; then
    /usr/bin/import -window root "$scratch/screen-at-failure.png" >/dev/null 2>&1 || true
  fi
  # Wine first, while its X server is still there.
  if [[ $E2E_PLATFORM == windows && -n $xvfb_pid ]]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  local pid
  for pid in "${e2e_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  [[ -n $wm_pid ]] && kill -TERM "$wm_pid" 2>/dev/null
  for pid in "${e2e_pids[@]}" $wm_pid; do
    poll_until 3 eval "! kill -0 $pid 2>/dev/null" || kill -KILL "$pid" 2>/dev/null || true
  done
  if [[ -n $compositor_pid ]]; then  # its Xwayland and clients end with it
    kill -TERM "$compositor_pid" 2>/dev/null
    poll_until 5 eval "! kill -0 $compositor_pid 2>/dev/null" || kill -KILL "$compositor_pid" 2>/dev/null
  fi
  [[ -n $session_runtime ]] && rm -rf "$session_runtime"
  if [[ -n $xvfb_pid ]]; then
    kill -TERM "$xvfb_pid" 2>/dev/null
    poll_until 3 eval "! kill -0 $xvfb_pid 2>/dev/null" || kill -KILL "$xvfb_pid" 2>/dev/null
  fi
  wait 2>/dev/null

  if ((status == 0 || status == E2E_SKIP)); then
    [[ -n $scratch ]] && rm -rf "$scratch"
  elif [[ -n $scratch ]]; then
    local file
    for file in "$scratch"/*.log "$scratch"/*.out "$scratch"/*.err; do
      [[ -s $file ]] || continue
      echo "---- $file (last lines)"
      tail -n 20 "$file"
    done
    echo "---- the scratch folder is kept: $scratch"
  fi
  exit "$status"
}

# start_xvfb [WxHxDEPTH]: a private X server on a free display (1280x1024x24 unless given; xrandr
# --fb resizes it within that size); exports DISPLAY.
start_xvfb() {
  local display_file=$scratch/xvfb.display
  # -noreset: the server must not reset (and re-centre the pointer) whenever the last client
  # disconnects, which happens between two xdotool calls.
  Xvfb -displayfd 3 -screen 0 "${1:-1280x1024x24}" -nolisten tcp -noreset \
    3>"$display_file" >"$scratch/xvfb.txt" 2>&1 &
  xvfb_pid=$!
  poll_until 20 grep -q '^[0-9][0-9]*$' "$display_file" ||
    fail "Xvfb wrote no display number within 20 s: $(tail -n 5 "$scratch/xvfb.txt")"
  DISPLAY=":$(head -n 1 "$display_file")"
  export DISPLAY
  unset XAUTHORITY
  poll_until 10 eval 'xdotool getmouselocation >/dev/null 2>&1' ||
    fail "the X server on $DISPLAY answers no client within 10 s"
  note "Xvfb on $DISPLAY (pid $xvfb_pid)"
}

# start_wm [WM]: a window manager, where the keyboard's focus depends on one: WM, else $E2E_WM,
# else openbox; "none" runs none (the keyboard follows the pointer). scripts/wm-matrix.sh names all.
start_wm() {
  local wm=${1:-${E2E_WM:-openbox}} bus=()
  [[ $wm == none ]] && return 0
  local -A options=([openbox]=--sm-disable [xfwm4]="--compositor=off --sm-client-disable"
    [mutter]="--x11 --sm-disable" [metacity]=--sm-disable)
  command -v "${wm/kwin/kwin_x11}" >/dev/null || skip "$wm is not installed"
  if [[ $wm == @(mutter|metacity|kwin) ]]; then  # a session bus of their own, ended with the test
    dbus-daemon --session --nofork --print-address=3 3>"$scratch/bus" &
    e2e_pids+=("$!")
    poll_until 10 test -s "$scratch/bus" || fail "dbus-daemon gave no session bus address within 10 s"
    bus=(env "DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$scratch/bus")")
  fi
  # fluxbox's backdrop setter finds no image tool here and says so in a window taking the keyboard.
  mkdir -p "$scratch/bin" && printf '#!/bin/sh\n' >"$scratch/bin/fbsetbg" && chmod +x "$scratch/bin/fbsetbg"
  # shellcheck disable=SC2086  # the options are words
  PATH=$scratch/bin:$PATH HOME=$scratch NO_AT_BRIDGE=1 QT_ACCESSIBILITY=0 "${bus[@]}" "${wm/kwin/kwin_x11}" ${options[$wm]:-} >"$scratch/$wm.log" 2>&1 &
  wm_pid=$!
  poll_until 20 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"' ||
    fail "$wm did not take the screen within 20 s"
  # openbox names its check window some 15 ms before it has set up the desktops, and a window
  # mapped in between may never show: 14 of 25 xev windows mapped at once didn't, 0 of 25 mapped
  # once the desktops' count was set.
  poll_until 5 eval 'xprop -root _NET_NUMBER_OF_DESKTOPS 2>/dev/null | grep -q "= "' || true
  note "$wm running (pid $wm_pid)"
}

# wait_for_focus ID WHAT: waits up to 5 s for window ID to have the keyboard; fails naming WHAT.
wait_for_focus() {
  local id=$1
  poll_until 5 eval '[[ $(xdotool getwindowfocus 2>/dev/null) == "$id" ]]' ||
    fail "expected $2 (window $id) to have the keyboard, window \"$(xdotool getwindowfocus 2>/dev/null)\" has it"
  pass "$2 has the keyboard"
}

# ---- programs ------------------------------------------------------------------------------

# start_program NAME COMMAND...: runs COMMAND in the background with stdout and stderr in
# $scratch/NAME.out and NAME.err. The pid is left in LAST_PID (not printed: the process must stay
# this shell's child so wait_for_exit can collect its status).
start_program() {
  local name=$1 && shift
  "$@" >"$scratch/$name.out" 2>"$scratch/$name.err" &
  LAST_PID=$!
  e2e_pids+=("$LAST_PID")
}

# platform_command EXE ARGS...: the command (NUL-separated words) that runs a program of this
# test's platform.
platform_command() {
  if [[ $E2E_PLATFORM == windows ]]; then
    printf '%s\0' "$E2E_WINE_RUN" "$@"
  else
    printf '%s\0' "$@"
  fi
}

# start_platform_program NAME EXE ARGS...: start_program, under Wine for Windows.
start_platform_program() {
  local name=$1 && shift
  local -a command
  mapfile -d '' command < <(platform_command "$@")
  start_program "$name" "${command[@]}"
}

# run_platform_program EXE ARGS...: runs it to its end; prints its output; returns its status.
run_platform_program() {
  local -a command
  mapfile -d '' command < <(platform_command "$@")
  "${command[@]}"
}

# wait_for_exit PID TIMEOUT_S: 0 once the process has ended, its status in EXIT_STATUS; 1 if it
# is still running at the deadline (EXIT_STATUS is then "running").
wait_for_exit() {
  EXIT_STATUS=running
  poll_until "$2" eval "! kill -0 $1 2>/dev/null" || return 1
  wait "$1"
  EXIT_STATUS=$?
}

# host_path_for_platform PATH: the path as the platform's programs spell it (Wine maps Z: to /).
host_path_for_platform() {
  if [[ $E2E_PLATFORM == windows ]]; then
    local path=$1
    printf 'Z:%s\n' "${path//\//\\}"
  else
    printf '%s\n' "$1"
  fi
}

# copy_program VAR FOLDER: copies the program named by VAR into FOLDER, prints the copy's path.
copy_program() {
  local source=${!1}
  mkdir -p "$2" && cp "$source" "$2/" || return 1
  printf '%s\n' "$2/$(basename "$source")"
}

# ---- windows -------------------------------------------------------------------------------

# find_windows NAME: the ids of visible windows whose title is exactly NAME, one per line.
find_windows() {
  xdotool search --onlyvisible --name "^$1\$" 2>/dev/null
}

# wait_for_window NAME TIMEOUT_S: prints the id of the first visible window titled NAME.
wait_for_window() {
  local name=$1 ids=""
  poll_until "$2" eval 'ids=$(find_windows "$name") && [[ -n $ids ]]' || return 1
  head -n 1 <<<"$ids"
}

# wait_for_no_window NAME TIMEOUT_S: 0 once no visible window is titled NAME.
wait_for_no_window() {
  local name=$1
  poll_until "$2" eval '[[ -z $(find_windows "$name") ]]'
}

# window_position ID: the outer top-left corner, "X Y", in root coordinates.
window_position() {
  local info
  info=$(xwininfo -id "$1") || return 1
  awk '/Absolute upper-left X:/ {x=$NF} /Absolute upper-left Y:/ {y=$NF}
       END {print x, y}' <<<"$info"
}

# window_size ID: "WIDTH HEIGHT" of the window.
window_size() {
  local info
  info=$(xwininfo -id "$1") || return 1
  awk '/^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF} END {print w, h}' <<<"$info"
}

# ---- pointer -------------------------------------------------------------------------------

# pointer_location: "X Y" as the X server reports it.
pointer_location() {
  local X Y SCREEN WINDOW
  eval "$(xdotool getmouselocation --shell)" || return 1
  echo "$X $Y"
}

# move_pointer X Y: moves it with XTest and waits until the server reports it there.
move_pointer() {
  local where="$1 $2"
  [[ $(pointer_location) == "$where" ]] && return 0
  xdotool mousemove "$1" "$2" >/dev/null 2>&1
  poll_until 5 eval '[[ $(pointer_location) == "$where" ]]' ||
    fail "xdotool could not put the pointer at $where (it is at $(pointer_location))"
}

# ---- click recorder ------------------------------------------------------------------------

# start_recorder LOG X Y W H TITLE: the platform's click recorder over that rectangle, logging
# to LOG; returns once its window is visible.
start_recorder() {
  local log=$1 x=$2 y=$3 w=$4 h=$5 title=$6
  : >"$log"
  start_platform_program "recorder-$title" "$E2E_RECORDER" --geometry "$x" "$y" "$w" "$h" \
    --title "$title" "$(host_path_for_platform "$log")"
  local id
  id=$(wait_for_window "$title" 30) ||
    fail "the click recorder \"$title\" showed no window within 30 s"
  note "recorder \"$title\" at $x,$y size ${w}x$h (window $id)"
}

# line_count FILE
line_count() {
  if [[ -f $1 ]]; then wc -l <"$1"; else echo 0; fi
}

# wait_for_lines FILE COUNT TIMEOUT_S: 0 once FILE has at least COUNT lines.
wait_for_lines() {
  local file=$1 count=$2
  poll_until "$3" eval '(($(line_count "$file") >= count))'
}

# wait_for_file FILE TIMEOUT_S
wait_for_file() {
  poll_until "$2" test -e "$1"
}

# start_window_watch TITLE LOG: logs "<unix_ms> <id> <x> <y> <width> <height>" for every visible
# window titled TITLE, every 20 ms, until the test ends; for checking that a window never showed.
start_window_watch() {
  local title=$1 log=$2
  : >"$log"
  (
    while :; do
      for id in $(find_windows "$title"); do
        echo "$(now_ms) $id $(window_position "$id") $(window_size "$id")"
      done
      sleep 0.02
    done >>"$log" 2>/dev/null
  ) &
  e2e_pids+=("$!")
}

# ---- the programs under test ---------------------------------------------------------------

# app_folder: a fresh folder for the programs under test; each reads and writes
# coordinates.dat beside itself.
app_folder() {
  local folder=$scratch/app
  mkdir -p "$folder" && printf '%s\n' "$folder"
}

# idlepress_with_target X_TEXT Y_TEXT: a fresh folder for the programs ($folder) holding a copy
# of Idlepress ($idlepress) and a coordinates.dat of those two lines.
idlepress_with_target() {
  folder=$(app_folder) || fail "could not make the programs' folder"
  idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"
  printf '%s\r\n%s\r\n' "$1" "$2" >"$folder/coordinates.dat"
}

# idlepress_label_point ID: a point on Idlepress's " X" label. The label fills the client area,
# which ends at the window's bottom-left corner with or without a frame Wine draws itself.
idlepress_label_point() {
  local x y w h
  read -r x y < <(window_position "$1") || return 1
  read -r w h < <(window_size "$1") || return 1
  echo "$((x + 10)) $((y + h - 10))"
}

# idlepress_main_window_like WIDTH HEIGHT: 0 for the size of Idlepress's own window (a 21-pixel
# client area, a small frame at most), 1 for anything the size of a message box.
idlepress_main_window_like() {
  (($1 <= 150 && $2 <= 60))
}

# set_idle_limit_by_prompt WINDOW_ID LIMIT THEN_X THEN_Y: right press on the " X" label, waits for
# the "How long" prompt, moves the pointer to THEN_X THEN_Y, types LIMIT and Return, waits for
# the prompt to go. Leaves in PROMPT_CLOSED_MS the time the prompt was seen gone.
set_idle_limit_by_prompt() {
  local window=$1 limit=$2 label_x label_y prompt
  read -r label_x label_y < <(idlepress_label_point "$window") ||
    fail "Idlepress's window $window has no geometry"
  move_pointer "$label_x" "$label_y"
  xdotool click 3
  prompt=$(wait_for_window "How long" 10) ||
    fail "a right press on the X label at $label_x,$label_y: expected a \"How long\" prompt within 10 s, saw none"
  pass "a right press on the X label at $label_x,$label_y opened the \"How long\" prompt"
  wait_for_focus "$prompt" "the \"How long\" prompt"
  move_pointer "$3" "$4"
  xdotool type --delay 20 "$limit"
  xdotool key Return
  local return_ms
  return_ms=$(now_ms)
  wait_for_no_window "How long" 10 ||
    fail "typed \"$limit\" and Return: expected the \"How long\" prompt to close, it is still open"
  # Counted from the prompt's going: Wine with no window manager holds a hidden window for up to
  # 2 s before the call that hides it returns, and the ticks wait for the prompt's return.
  PROMPT_CLOSED_MS=$(now_ms)
  pass "\"$limit\" and Return closed the prompt ($((PROMPT_CLOSED_MS - return_ms)) ms after Return)"
}

# click_line FILE N: the Nth line of a recorder log as "<ms> <x> <y> <button>".
click_line() {
  sed -n "${2}p" "$1"
}

# ---- Wayland sessions ----------------------------------------------------------------------
# A headless compositor (sway; KWin when E2E_COMPOSITOR=kwin) with Xwayland, run as a user other
# than root (sway refuses root): nobody when the tests run as root, else the tests' own user. The
# programs under test, the native window and the user's hand all run as that user
# (as_session_user), with WAYLAND_DISPLAY, DISPLAY and XDG_RUNTIME_DIR, which start_wayland_session
# exports; the test itself stays root and reaches Xwayland through xhost.

as_session_user=()
session_home=""
session_runtime=""
hand_fd=""
hand_answers=0

# start_wayland_session: checks the tools (skipping when one is absent), makes the user's folder
# ($session_home, with its runtime folder and coordinates of programs) and starts the compositor.
start_wayland_session() {
  local compositor=${E2E_COMPOSITOR:-sway} tool
  [[ $E2E_PLATFORM == linux ]] || skip "a Wayland session is the native build's"
  for tool in Xwayland wev stdbuf xhost xdotool xwininfo; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  [[ -x ${E2E_HAND:-} ]] || skip "the tests' hand (wayland_hand) wasn't built: libwayland-dev is missing"
  session_home=$scratch/session
  # The compositors' sockets need a short path (108 bytes at most): the runtime folder is in /tmp.
  session_runtime=$(mktemp -d /tmp/e2e-run.XXXXXX) || fail "can't make a runtime folder in /tmp"
  mkdir -p "$session_home" && chmod 755 "$scratch"
  if ((EUID == 0)); then
    setpriv --reuid=65534 --regid=65534 --clear-groups -- true 2>/dev/null ||
      skip "setpriv can't switch to an unprivileged user here"
    chown -R 65534:65534 "$session_home" "$session_runtime"
    as_session_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  fi
  as_session_user+=(env -u DBUS_SESSION_BUS_ADDRESS -u XAUTHORITY HOME="$session_home")
  export XDG_RUNTIME_DIR=$session_runtime
  unset WAYLAND_DISPLAY DISPLAY
  case $compositor in
    sway) start_sway ;;
    kwin) start_kwin ;;
    mutter) start_mutter ;;
    *) fail "E2E_COMPOSITOR must be sway, kwin or mutter, not \"$compositor\"" ;;
  esac
  # The test's own X clients (xdotool, xwininfo) run as root.
  poll_until 20 eval '"${as_session_user[@]}" xhost +si:localuser:root >/dev/null 2>&1' ||
    fail "Xwayland on $DISPLAY answered no client within 20 s"
  note "$compositor on $WAYLAND_DISPLAY, Xwayland on $DISPLAY (pid $compositor_pid)"
}

# start_sway: sway headless, its one output 1280x1024 at 0,0 with no bar, border or gap, so that
# a tiled native window fills it and its surface coordinates are the layout's.
start_sway() {
  command -v sway >/dev/null || skip "sway is not installed"
  local config=$session_home/sway.config
  cat >"$config" <<CONFIG
xwayland enable
default_border none
default_floating_border none
output HEADLESS-1 mode 1280x1024 position 0 0
exec printf '%s %s\\n' "\$WAYLAND_DISPLAY" "\$DISPLAY" >$session_home/displays
CONFIG
  chmod 644 "$config"
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    "${as_session_user[@]}" sway -c "$config" >"$scratch/sway.log" 2>&1 &
  compositor_pid=$!
  wait_for_session sway 20
  SWAYSOCK=$(echo "$XDG_RUNTIME_DIR"/sway-ipc.*.sock)
  export SWAYSOCK
}

# wait_for_session NAME TIMEOUT_S: until the compositor's session wrote its displays; exports them.
wait_for_session() {
  poll_until "$2" eval '[[ -s $session_home/displays ]] || ! kill -0 $compositor_pid'
  [[ -s $session_home/displays ]] ||
    fail "$1 started no session within $2 s: $(tail -n 5 "$scratch/$1.log")"
  read -r WAYLAND_DISPLAY DISPLAY <"$session_home/displays"
  export WAYLAND_DISPLAY DISPLAY
}

# start_kwin: kwin_wayland headless (--virtual), one output 1280x1024, on a session bus of its
# own. A rule maximizes wev without a border, so that its surface coordinates are the layout's.
# KWin offers fake input only to a program whose desktop entry asks for it: the hand's entry is
# written before KWin starts, which reads new entries at most every 1.5 s.
start_kwin() {
  command -v kwin_wayland >/dev/null || skip "kwin_wayland is not installed"
  command -v dbus-daemon >/dev/null || skip "dbus-daemon is not installed"
  local bin=$session_home/bin applications=$session_home/.local/share/applications
  mkdir -p "$bin" "$applications" "$session_home/.config"
  # The installed kwin_wayland carries a file capability, which makes exec fail in a container.
  cp "$(command -v kwin_wayland)" "$E2E_HAND" "$bin/"
  printf '%s\n' '[Desktop Entry]' Type=Application "Name=The tests' hand" "Exec=\"$bin/wayland_hand\"" \
    NoDisplay=true X-KDE-Wayland-Interfaces=org_kde_kwin_fake_input >"$applications/e2e-hand.desktop"
  E2E_HAND=$bin/wayland_hand
  printf '%s\n' '[General]' count=1 rules=wev '' '[wev]' 'Description=wev fills the screen' \
    wmclass=wev wmclassmatch=1 maximizehoriz=true maximizehorizrule=2 maximizevert=true \
    maximizevertrule=2 noborder=true noborderrule=2 >"$session_home/.config/kwinrulesrc"
  # KWin's session, which must outlive the test: it leaves its pid for the clean-up.
  printf '#!/bin/sh\necho $$ >%s/session.pid\nprintf "%%s %%s\\n" "$WAYLAND_DISPLAY" "$DISPLAY" >%s/displays\nexec sleep 100000\n' \
    "$session_home" "$session_home" >"$bin/session"
  chmod 755 "$bin/session"
  ((EUID == 0)) && chown -R 65534:65534 "$session_home"
  "${as_session_user[@]}" dbus-daemon --session --nofork --print-address=3 3>"$scratch/bus" &
  e2e_pids+=("$!")
  poll_until 10 test -s "$scratch/bus" || fail "dbus-daemon gave no session bus address within 10 s"
  "${as_session_user[@]}" DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$scratch/bus")" \
    "$bin/kwin_wayland" --virtual --xwayland --no-lockscreen --width 1280 --height 1024 \
    --socket wayland-e2e --exit-with-session "$bin/session" >"$scratch/kwin.log" 2>&1 &
  compositor_pid=$!
  wait_for_session kwin 30
  e2e_pids+=("$(cat "$session_home/session.pid")")
}

# start_mutter: mutter headless (GNOME's compositor), one monitor 1280x1024, with PipeWire and
# WirePlumber beside it on a session bus of their own, which the programs get too. The hand is
# gnome_hand.py, through mutter's remote desktop; it maximizes wev (start_hand), as a user would
# with Super+Up, so that wev's surface coordinates are the layout's.
start_mutter() {
  local tool bin=$session_home/bin
  for tool in mutter pipewire wireplumber dbus-daemon; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  /usr/bin/python3 -c 'import dbus' 2>/dev/null || skip "python3-dbus is not installed"
  E2E_HAND=$(dirname "${BASH_SOURCE[0]}")/hand/gnome_hand.py
  # mutter's session lets the user's and root's X clients in without its cookie (mutter tells no
  # one where that is), writes the displays, and lasts until the test ends it.
  mkdir -p "$bin"
  cat >"$bin/session" <<SESSION
#!/bin/sh
xhost +si:localuser:root +si:localuser:"\$(id -un)" >/dev/null
echo \$\$ >$session_home/session.pid
printf '%s %s\\n' "\$WAYLAND_DISPLAY" "\$DISPLAY" >$session_home/displays
exec sleep 100000
SESSION
  chmod 755 "$bin/session"
  ((EUID == 0)) && chown -R 65534:65534 "$session_home"
  "${as_session_user[@]}" dbus-daemon --session --nofork --print-address=3 3>"$scratch/bus" &
  e2e_pids+=("$!")
  poll_until 10 test -s "$scratch/bus" || fail "dbus-daemon gave no session bus address within 10 s"
  as_session_user+=(DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$scratch/bus")")
  "${as_session_user[@]}" pipewire >"$scratch/pipewire.log" 2>&1 &
  e2e_pids+=("$!")
  poll_until 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || fail "PipeWire made no socket within 10 s"
  "${as_session_user[@]}" wireplumber >"$scratch/wireplumber.log" 2>&1 &
  wireplumber_pid=$!
  e2e_pids+=("$wireplumber_pid")
  "${as_session_user[@]}" mutter --headless --wayland --virtual-monitor 1280x1024 \
    --wayland-display=wayland-e2e -- "$bin/session" >"$scratch/mutter.log" 2>&1 &
  compositor_pid=$!
  wait_for_session mutter 30
  e2e_pids+=("$(cat "$session_home/session.pid")")
}

# cast_sessions: how many remote-desktop and screen-cast sessions mutter holds, "REMOTE CAST"
# (the hand holds one of each).
cast_sessions() {
  local service count=()
  for service in RemoteDesktop ScreenCast; do
    count+=("$("${as_session_user[@]}" gdbus introspect --session --dest "org.gnome.Mutter.$service" \
      --object-path "/org/gnome/Mutter/$service/Session" 2>/dev/null | grep -c '^ \+node ')")
  done
  echo "${count[*]}"
}

# stamp_lines: each line of stdin, after the Unix time in milliseconds it arrived at.
stamp_lines() {
  local line t
  while IFS= read -r line; do
    t=${EPOCHREALTIME/./}
    printf '%s %s\n' $((10#$t / 1000)) "$line"
  done
}

# start_native_window: wev, a native Wayland window printing the events it gets, into
# $scratch/wev.txt, each line after the time it arrived; returns once it has the pointer's
# capability and its first configure.
start_native_window() {
  "${as_session_user[@]}" stdbuf -oL wev > >(stamp_lines >"$scratch/wev.txt") 2>"$scratch/wev.err" &
  e2e_pids+=("$!")
  poll_until 20 grep -qs 'xdg_surface\] configure' "$scratch/wev.txt" ||
    fail "wev showed no window within 20 s: $(tail -n 3 "$scratch/wev.err")"
}

# native_presses: the presses wev got, one a line, "<unix_ms> <x> <y> <button>" (1 left, 2 middle,
# 3 right), at the surface coordinates of the pointer's last enter or motion before each. wev
# may hold two wl_pointer objects, each told of the same press: one line a serial.
native_presses() {
  awk '/wl_pointer\] (enter|motion):/ { x = $(NF - 1); y = $NF; sub(/,$/, "", x) }
       /wl_pointer\] button:.*state: 1/ {
         serial = $0; sub(/.*serial: /, "", serial); sub(/;.*/, "", serial)
         if (serial in seen) next
         seen[serial] = 1
         b = $0; sub(/.*button: /, "", b); sub(/ .*/, "", b)
         printf "%s %d %d %d\n", $1, x, y, (b == 272 ? 1 : b == 273 ? 3 : b == 274 ? 2 : b) }' \
    "$scratch/wev.txt"
}

# native_pointer: where wev last saw the pointer, "X Y", or "outside" once it left.
native_pointer() {
  awk '/wl_pointer\] (enter|motion):/ { x = $(NF - 1); y = $NF; sub(/,$/, "", x); at = sprintf("%d %d", x, y) }
       /wl_pointer\] leave:/ { at = "outside" }
       END { print (at == "" ? "outside" : at) }' "$scratch/wev.txt"
}

# native_key_presses: how many key presses wev got (one a serial, as for the buttons).
native_key_presses() {
  awk '/wl_keyboard\] key:.*pressed/ { serial = $0; sub(/.*serial: /, "", serial); sub(/;.*/, "", serial)
                                        if (!(serial in seen)) { seen[serial] = 1; n++ } }
       END { print n + 0 }' "$scratch/wev.txt"
}

# wait_for_presses COUNT TIMEOUT_S: 0 once wev has got COUNT presses.
wait_for_presses() {
  local count=$1
  poll_until "$2" eval '(($(native_presses | wc -l) >= count))'
}

# start_hand: wayland_hand as the user's mouse and keyboard; the seat has a pointer from then on.
start_hand() {
  mkfifo "$scratch/hand.in"
  "${as_session_user[@]}" "$E2E_HAND" <"$scratch/hand.in" >"$scratch/hand.out" 2>"$scratch/hand.err" &
  e2e_pids+=("$!")
  exec {hand_fd}>"$scratch/hand.in"
  poll_until 10 grep -q '^ready' "$scratch/hand.out" ||
    fail "the hand got no pointer within 10 s: $(cat "$scratch/hand.err")"
  hand_answers=1
  note "hand: $(head -n 1 "$scratch/hand.out")"
  if [[ ${E2E_COMPOSITOR:-sway} == mutter ]]; then
    hand maximize
    poll_until 10 grep -q 'configure: width: 1280; height: 1024' "$scratch/wev.txt" ||
      fail "Super+Up didn't maximize wev within 10 s"
  fi
}

# hand COMMAND...: one command to the hand (see hand/wayland_hand.cpp), done once it returns.
hand() {
  printf '%s\n' "$*" >&"$hand_fd"
  hand_answers=$((hand_answers + 1))
  poll_until 20 eval '(($(line_count "$scratch/hand.out") >= hand_answers))' ||
    fail "the hand didn't answer \"$*\" within 20 s: $(cat "$scratch/hand.err")"
  [[ $(tail -n 1 "$scratch/hand.out") == "ok $*" ]] || fail "the hand: $(tail -n 1 "$scratch/hand.out")"
}

# check_hand_on_native_window: the harness itself: a press of the hand at 100,900 reaches wev there.
check_hand_on_native_window() {
  hand move 100 900
  hand click left
  wait_for_presses 1 5 || fail "the hand's press at 100,900 never reached wev"
  assert_eq "the hand's press in wev (x y button)" "100 900 1" "$(native_presses | cut -d' ' -f2-)"
}

# start_session_program NAME PROGRAM ARGS...: start_program as the session's user.
start_session_program() {
  local name=$1 && shift
  start_program "$name" "${as_session_user[@]}" "$@"
}

# session_app_folder: a fresh folder of the session's user for the programs (see app_folder).
session_app_folder() {
  local folder=$session_home/app
  mkdir -p "$folder" || return 1
  ((EUID == 0)) && chown 65534:65534 "$folder"
  printf '%s\n' "$folder"
}

# session_add_to_menu FOLDER: the programs' desktop entries, written by add-to-menu.sh from FOLDER
# as the user would (KWin lets only a program with its entry click); then waits out KWin's 1.5 s.
session_add_to_menu() {
  mkdir -p "$1/desktop" || fail "could not make $1/desktop"
  cp "$E2E_ADD_TO_MENU" "$1/" || fail "could not copy add-to-menu.sh to $1"
  cp "$E2E_MENU_ENTRIES"/*.desktop.in "$1/desktop/" || fail "could not copy the entries' templates"
  ((EUID == 0)) && chown -R 65534:65534 "$1"
  "${as_session_user[@]}" "$1/add-to-menu.sh" >"$scratch/add-to-menu.out" 2>&1 ||
    fail "add-to-menu.sh failed: $(cat "$scratch/add-to-menu.out")"
  [[ ${E2E_COMPOSITOR:-sway} == kwin ]] && let_time_pass 2
  return 0
}

# session_copy_program VAR FOLDER: copy_program, the copy owned by the session's user.
session_copy_program() {
  local copy
  copy=$(copy_program "$1" "$2") || return 1
  ((EUID == 0)) && chown 65534:65534 "$copy"
  printf '%s\n' "$copy"
}

# set_idle_limit_by_hand WINDOW_ID LIMIT: the prompt as a user reaches it in a Wayland session: a
# right press on Idlepress's X, LIMIT and Return typed on the keyboard the prompt has. Leaves in
# PROMPT_CLOSED_MS the time the prompt was seen gone.
set_idle_limit_by_hand() {
  local window=$1 limit=$2 label_x label_y prompt
  # Near the top-left corner: sway gives a floating window 75x50 at least, the label staying
  # 21x21 in its corner.
  read -r label_x label_y < <(window_position "$window") ||
    fail "Idlepress's window $window has no geometry"
  label_x=$((label_x + 10)) label_y=$((label_y + 10))
  hand move "$label_x" "$label_y"
  hand click right
  prompt=$(wait_for_window "How long" 10) ||
    fail "a right press on the X label at $label_x,$label_y: expected a \"How long\" prompt within 10 s, saw none"
  wait_for_focus "$prompt" "the \"How long\" prompt"
  hand type "$limit"
  hand key Return
  wait_for_no_window "How long" 10 ||
    fail "typed \"$limit\" and Return: expected the \"How long\" prompt to close, it is still open"
  PROMPT_CLOSED_MS=$(now_ms)
  pass "the prompt took \"$limit\" and Return"
}
