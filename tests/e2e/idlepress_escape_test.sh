#!/usr/bin/env bash
# The keyboard around Idlepress, under a window manager (openbox unless named; "none" for none):
# a press on its X leaves the keyboard in the window the user types in; the "How long" prompt a
# right press opens has the keyboard at once, takes "7" and Return, and hands the keyboard back
# when it closes. Escape dismisses the prompt, and a stray Escape after it doesn't end Idlepress.
# The window stands undecorated in the screen's corner, its 21-pixel client area all of it.
#   idlepress_escape_test.sh [openbox|fluxbox|icewm|...|none]
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

# The window the user types in. Under Wine the pointer is only seen reliably over a Wine window,
# which this also is. It is mapped before the window manager starts, which then takes it over
# with the screen; once (1 run in 17) a recorder mapped after openbox's start never showed.
keys=()
[[ $E2E_PLATFORM == linux ]] && keys=(--keys)
log=$scratch/recorder.log
start_recorder "$log" 200 150 800 600 "Recorder" "${keys[@]}"
start_wm "${1:-}"
wm=${1:-${E2E_WM:-openbox}}
idlepress_with_target 0345 0456

start_platform_program idlepress "$idlepress"
idlepress_pid=$LAST_PID
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"
read -r label_x label_y < <(idlepress_label_point "$window")

# typed_keys: the keys the recorder logged, in one line.
typed_keys() { awk '$2 == "key" {printf "%s ", $3}' "$log"; }

if [[ $E2E_PLATFORM == linux ]]; then
  # The user clicks into the window they work in; with no window manager the keyboard follows the
  # pointer there.
  recorder=$(find_windows Recorder | head -n 1)
  move_pointer 600 450
  xdotool click 1
  [[ $wm == none ]] || wait_for_focus "$recorder" "the recorder the user clicked"
  top=$window
  until [[ $(xwininfo -children -id "$top" | awk '/Parent window id:/ {print $4}') == "$(xwininfo -root | awk '/Window id:/ {print $4}')" ]]; do
    top=$(xwininfo -children -id "$top" | awk '/Parent window id:/ {print $4}')
  done
  assert_eq "Idlepress's outer and client geometry (x y w h)" "0 0 21 21, 0 0 21 21" \
    "$(window_position "$top") $(window_size "$top"), $(window_position "$window") $(window_size "$window")"

  # A press on the X (the middle button's does nothing else) leaves the keyboard where it was.
  move_pointer "$label_x" "$label_y"
  xdotool click 2
  let_time_pass 1
  [[ $wm == none ]] || assert_eq "the window with the keyboard after a press on the X" "$recorder" "$(focused_window)"

  # "7" and Return go to the prompt; none reaches the recorder, which has the keyboard back after.
  xdotool click 3
  prompt=$(wait_for_window "How long" 10) || fail "a right press on the X: expected a \"How long\" prompt within 10 s, saw none"
  wait_for_focus "$prompt" "the \"How long\" prompt"
  move_pointer 600 450
  xdotool type --delay 20 7
  xdotool key Return
  wait_for_no_window "How long" 10 || fail "typed 7 and Return: expected the prompt to close, it is still open"
  [[ $wm == none ]] || wait_for_focus "$recorder" "the recorder, once the prompt closed"
  assert_eq "keys that reached the recorder while the prompt was open" "" "$(typed_keys)"
  move_pointer "$label_x" "$label_y"
fi

# still_running WHAT: Idlepress's process and its window are both still there.
still_running() {
  let_time_pass 1.5
  kill -0 "$idlepress_pid" 2>/dev/null || fail "$1: expected Idlepress to keep running, it ended"
  [[ -n $(find_windows Idlepress) ]] || fail "$1: expected Idlepress's window to stay, it is gone"
  pass "$1: Idlepress still runs"
}

# A right press opens the prompt; Escape dismisses it, and a second Escape right after goes to
# whatever has the keyboard then: the recorder, or with no window manager Idlepress's window
# under the pointer.
move_pointer "$label_x" "$label_y"
xdotool click 3
prompt=$(wait_for_window "How long" 10) ||
  fail "a right press on the X label: expected a \"How long\" prompt within 10 s, saw none"
wait_for_focus "$prompt" "the \"How long\" prompt"
xdotool key Escape
wait_for_no_window "How long" 10 || fail "Escape: expected the \"How long\" prompt to close, it is still open"
xdotool key Escape
still_running "Escape right after dismissing the \"How long\" prompt"
if [[ $E2E_PLATFORM == linux && $wm != none ]]; then
  assert_eq "keys the recorder got" "Escape " "$(typed_keys)"
fi

if [[ $E2E_PLATFORM == windows ]]; then
  # On Windows a press activates the window, and the window manager's close (Alt+F4 in openbox)
  # still ends it, with status 0.
  xdotool click 2
  let_time_pass 1
  closed_ms=$(now_ms)
  xdotool key alt+F4
  wait_for_exit "$idlepress_pid" 10 ||
    fail "Alt+F4 after a press on Idlepress's window: expected Idlepress to end within 10 s, it is still running"
  note "Idlepress ended $(($(now_ms) - closed_ms)) ms after Alt+F4"
  assert_eq "Idlepress's exit status after its window was closed" 0 "$EXIT_STATUS"
fi
assert_eq "clicks on the recorder" "$([[ $E2E_PLATFORM == linux ]] && echo 1 || echo 0)" \
  "$(grep -vc ' key ' "$log")"
note "passed"
