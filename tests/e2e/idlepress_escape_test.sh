#!/usr/bin/env bash
# Idlepress and the keyboard, under a window manager (openbox unless named; "none" for none): a
# press on its X leaves the keyboard in the window the user types in; the "How long" prompt a
# right press opens has it at once and hands it back on closing. Escape doesn't end Idlepress,
# neither in the prompt nor right after it. The window stands undecorated in the screen's corner.
# On Linux with a manager: when a program opened after Idlepress ends, the keyboard goes back to
# the user's window before it; on the second workspace the X is there, and a left press ends it.
# With none, after a crashed manager, the prompt has the keyboard within 0.25 s of showing.
# Under Wine a press activates it, as on Windows, and Alt+F4 (openbox) ends it with status 0.
#   idlepress_escape_test.sh [openbox|fluxbox|icewm|...|none]
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

# The window the user types in: on Linux xev, started like any program once the window manager
# runs, which takes the keyboard and logs each key; under Wine the recorder, as the pointer is only
# seen reliably over a Wine window. That is mapped before the window manager starts, which then
# takes it over with the screen; once (1 run in 17) a recorder mapped after openbox's start never
# showed.
[[ $E2E_PLATFORM == windows ]] && start_recorder "$scratch/clicks.log" 200 150 800 600 "Recorder"
start_wm "${1:-}"
none=0 && [[ $E2E_PLATFORM == linux && ${1:-${E2E_WM:-}} == none ]] && none=1
# With none, a crashed manager's leftover: the root names its check window, which is gone.
((none)) && start_wm openbox && kill -9 "$wm_pid" && wait "$wm_pid" 2>/dev/null
if [[ $E2E_PLATFORM == linux ]]; then
  xev -geometry 800x600+200+150 -name Notes -event keyboard >"$scratch/xev.out" 2>&1 &
  e2e_pids+=("$!")
  wait_for_window Notes 10 >/dev/null || fail "xev showed no window within 10 s"
fi
idlepress_with_target 0345 0456

start_platform_program idlepress "$idlepress"
idlepress_pid=$LAST_PID
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"
read -r label_x label_y < <(idlepress_label_point "$window")
user=""  # the window the keyboard goes back to; with no window manager it follows the pointer
if [[ $E2E_PLATFORM == linux ]]; then
  [[ ${1:-${E2E_WM:-}} == none ]] || user=$(find_windows Notes)
  if [[ -n $user ]]; then
    # A program opened after Idlepress ends: the keyboard goes back to xev, opened before it.
    xev -geometry 300x200+500+300 -name Scratch -event keyboard >/dev/null 2>&1 &
    other=$! && e2e_pids+=("$other")
    scratch_window=$(wait_for_window Scratch 10) || fail "a second xev showed no window within 10 s"
    move_pointer 600 400 && xdotool click 1
    wait_for_focus "$scratch_window" "the second xev, clicked into"
    kill "$other" && wait_for_no_window Scratch 10 || fail "the second xev's window stayed"
    wait_for_focus "$user" "xev, once the program opened after Idlepress ended,"
  fi
  move_pointer 600 450 && xdotool click 1  # into the window the user types in
  [[ -z $user ]] || wait_for_focus "$user" "xev, the window the user clicked"
  frame=$window root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  while parent=$(xwininfo -children -id "$frame" | awk '/Parent window id:/ {print $4}') && [[ $parent != "$root" ]]; do frame=$parent; done
  assert_eq "Idlepress's outer and client geometry (x y w h)" "0 0 21 21, 0 0 21 21" \
    "$(window_position "$frame") $(window_size "$frame"), $(window_position "$window") $(window_size "$window")"
  # A press on the X (the middle button's does nothing else) leaves the keyboard where it was.
  move_pointer "$label_x" "$label_y" && xdotool click 2 && let_time_pass 1
  [[ -z $user ]] || assert_eq "the window with the keyboard after a press on the X" "$user" "$(xdotool getwindowfocus)"
fi

# A number and Return, a refused entry and Return, then Escape: each closes the prompt, which had
# the keyboard at once; so has the message the refused entry brings, which Return closes.
for keys in "2 0 Return" "x Return" Escape; do
  move_pointer "$label_x" "$label_y" && xdotool click 3
  prompt=$(wait_for_window "How long" 10) || fail "a right press on the X: expected a \"How long\" prompt within 10 s, saw none"
  shown_ms=$(now_ms) && wait_for_focus "$prompt" "the \"How long\" prompt"
  ((!none)) || assert_between "the keyboard after the prompt showed" $(($(now_ms) - shown_ms)) 0 250 " ms"
  move_pointer 600 450  # the user's eyes go back to their window
  # shellcheck disable=SC2086  # the keys are words
  xdotool key --delay 20 $keys
  if [[ $keys == x* ]]; then
    # shellcheck disable=SC2016  # expanded by eval at each try
    poll_until 10 eval 'box=$(find_windows "How long") && [[ -n $box && $box != "$prompt" ]]' ||
      fail "a refused entry: expected a message box titled \"How long\" in place of the prompt"
    wait_for_focus "$box" "the message box about the refused entry"
    xdotool key Return
  fi
  wait_for_no_window "How long" 10 || fail "$keys: expected the \"How long\" prompt to close, it is still open"
  [[ -z $user ]] || wait_for_focus "$user" "xev, once the prompt closed,"
done
# A stray Escape right after goes where the keyboard went back: xev, with no window
# manager Idlepress's window under the pointer, under Wine the window the press activated.
move_pointer "$label_x" "$label_y" && xdotool key Escape
let_time_pass 1.5
{ kill -0 "$idlepress_pid" 2>/dev/null && [[ -n $(find_windows Idlepress) ]]; } ||
  fail "Escape right after dismissing the prompt: expected Idlepress and its window to stay, it ended"
pass "Escape right after dismissing the prompt: Idlepress still runs"
[[ -z $user ]] || assert_eq "keys xev got" "Escape " "$(awk '/^KeyPress/ {getline; getline; sub(/.*keysym 0x[0-9a-f]+, /, ""); sub(/\).*/, ""); printf "%s ", $0}' "$scratch/xev.out")"

if [[ $E2E_PLATFORM == linux && -n $user ]]; then
  # The clicks go on whatever workspace shows: so does the X, out of pagers and task bars.
  (($(xdotool get_num_desktops) > 1)) || xdotool set_num_desktops 2  # as a user adds one (KWin)
  xdotool set_desktop 1
  poll_until 5 eval '[[ $(xdotool get_desktop) == 1 ]]' || fail "the manager did not show the second workspace"
  # As a user looks before pressing: the X (window or frame) shows under the pointer.
  move_pointer "$label_x" "$label_y"
  # shellcheck disable=SC2016  # expanded by eval at each try
  poll_until 5 eval '[[ $(xwininfo -id "$window" | awk "/Map State:/ {print \$3}") == IsViewable &&
    $(xdotool getmouselocation --shell | sed -n "s/^WINDOW=//p") == @("$window"|$((frame))) ]]' ||
    fail "on the second workspace, expected Idlepress's X under the pointer at $label_x,$label_y"
  assert_eq "Idlepress's states for pagers and task bars" "SKIP_PAGER SKIP_TASKBAR" \
    "$(xprop -id "$window" _NET_WM_STATE | grep -o 'SKIP_[A-Z]*' | sort | tr '\n' ' ' | sed 's/ $//')"
  xdotool click 1
  wait_for_exit "$idlepress_pid" 10 || fail "a left press where the X stood, on the second workspace: Idlepress still runs"
  assert_eq "Idlepress's exit status after a left press on the X, on the second workspace" 0 "$EXIT_STATUS"
fi

if [[ $E2E_PLATFORM == windows ]]; then
  xdotool click 2 && let_time_pass 1
  closed_ms=$(now_ms)
  xdotool key alt+F4
  wait_for_exit "$idlepress_pid" 10 ||
    fail "Alt+F4 after a press on Idlepress's window: expected Idlepress to end within 10 s, it is still running"
  note "Idlepress ended $(($(now_ms) - closed_ms)) ms after Alt+F4"
  assert_eq "Idlepress's exit status after its window was closed" 0 "$EXIT_STATUS"
  assert_eq "clicks on the recorder" 0 "$(line_count "$scratch/clicks.log")"
fi
note "passed"
