#!/usr/bin/env bash
# Idlepress clicking a native Wayland window (wev) under a headless compositor (sway, or KWin with
# E2E_COMPOSITOR=kwin), the user's mouse and keyboard a virtual device of the tests (the hand).
# coordinates.dat holds a point over wev, and the limit is 2, set through the prompt. The pointer
# rests on another point over wev: two clicks at the saved point one tick apart, a third at the
# rest point a tick later, and the pointer left at rest.
# Case "typing": keys typed into wev (clicked first) every 0.4 s for 5 s, the pointer still: no
# click; once the typing stops, the sequence comes after the limit.
# Case "no_entry" (KWin only, which lets a program use fake input only once its desktop entry asks
# for it): Idlepress started without its entry says on stderr to run add-to-menu.sh.
# Under mutter (E2E_COMPOSITOR=mutter), GNOME's route: no cast of Idlepress's is open while it
# waits or while keys are typed, nor once its clicks are done. Case "no_cast" (mutter only): with
# WirePlumber gone the streams never start, and Idlepress says so and clicks no native window; with
# PipeWire out of reach it says so at start.
# shellcheck disable=SC2016  # eval expands the poll conditions at each try
source "$(dirname "$0")/lib.sh"

readonly native_case=${1:-sequence}
e2e_begin
need_program E2E_IDLEPRESS
[[ $native_case != no_entry || ${E2E_COMPOSITOR:-sway} == kwin ]] ||
  skip "only KWin asks for a program's desktop entry (scripts/kde-wayland.sh runs this case)"
[[ $native_case != no_cast || ${E2E_COMPOSITOR:-sway} == mutter ]] ||
  skip "only GNOME casts the screen (scripts/gnome-wayland.sh runs this case)"
start_wayland_session
start_native_window
start_hand

check_hand_on_native_window
before=1

readonly target_x=345 target_y=456 rest_x=900 rest_y=700
folder=$(session_app_folder) || fail "could not make the programs' folder"
idlepress=$(session_copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress"
printf '0345\r\n0456\r\n' >"$folder/coordinates.dat"
[[ $native_case == no_entry ]] || session_add_to_menu "$folder"
start_session_program idlepress "$idlepress"
idlepress_pid=$LAST_PID
if [[ $native_case == no_entry ]]; then
  poll_until 10 grep -q "add-to-menu.sh" "$scratch/idlepress.err" ||
    fail "started without its desktop entry: expected stderr to name add-to-menu.sh within 10 s, saw \"$(cat "$scratch/idlepress.err")\""
  pass "stderr: $(grep "add-to-menu.sh" "$scratch/idlepress.err")"
  kill -0 "$idlepress_pid" || fail "Idlepress ended"
  note "passed"
  exit 0
fi
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"
note "Idlepress: $(head -n 1 "$scratch/idlepress.err")"
# no_casts_but_the_hands WHEN: under mutter, mutter holds the hand's sessions alone.
no_casts_but_the_hands() {
  [[ ${E2E_COMPOSITOR:-sway} == mutter ]] || return 0
  poll_until 2 eval '[[ $(cast_sessions) == "1 1" ]]' ||
    fail "$1: expected no session of Idlepress's open in mutter, saw (remote, cast) $(cast_sessions)"
  pass "$1: mutter holds the hand's sessions alone"
}
no_casts_but_the_hands "Idlepress waiting"
if [[ $native_case == no_cast ]]; then
  kill -TERM "$wireplumber_pid"
  wait_for_exit "$wireplumber_pid" 5 || fail "WirePlumber didn't end within 5 s"
fi
set_idle_limit_by_hand "$window" 2

# presses_after N: the presses wev got after its Nth, one a line.
presses_after() { native_presses | tail -n +$(($1 + 1)); }

if [[ $native_case == typing ]]; then
  # A click into wev first, where the user types: KWin gives the keyboard on a click only.
  hand move "$rest_x" "$rest_y"
  hand click left
  wait_for_presses $((before + 1)) 5 || fail "the hand's click at $rest_x,$rest_y never reached wev"
  before=$((before + 1))
  typed_until=$(($(now_ms) + 5000))
  while (($(now_ms) < typed_until)); do
    hand key a
    last_key_ms=$(now_ms)
    let_time_pass 0.4
  done
  no_casts_but_the_hands "keys typed every 0.4 s for 5 s"
  keys=$(native_key_presses)
  ((keys >= 10)) || fail "expected wev to get the typed keys, it got $keys"
  assert_eq "clicks while keys were typed for 5 s ($keys keys in wev)" "" "$(presses_after $before)"
  wait_for_presses $((before + 1)) 6 ||
    fail "expected a click within 6 s of the last key (a limit of 2), wev got none"
  read -r t1 x1 y1 b1 < <(presses_after $before | head -n 1)
  assert_eq "first click after the typing (x y button)" "$target_x $target_y 1" "$x1 $y1 $b1"
  assert_between "first click after the last key" $((t1 - last_key_ms)) 1800 3600 " ms"
  kill -0 "$idlepress_pid" || fail "Idlepress ended"
  note "passed"
  exit 0
fi

hand move "$rest_x" "$rest_y"
rested_ms=$(now_ms)
if [[ $native_case == no_cast ]]; then
  poll_until 8 grep -q "sent nothing within a second" "$scratch/idlepress.err" ||
    fail "with WirePlumber gone: expected Idlepress to report the silent cast within 8 s: $(cat "$scratch/idlepress.err")"
  pass "stderr: $(tail -n 1 "$scratch/idlepress.err")"
  no_casts_but_the_hands "after the silent cast"
  let_time_pass 3
  assert_eq "clicks in wev since (XTest reaches X11 windows only)" "" "$(presses_after $before)"
  start_session_program no_pipewire env PIPEWIRE_REMOTE=none "$idlepress"
  poll_until 5 grep -q "PipeWire isn't running" "$scratch/no_pipewire.err" ||
    fail "with PipeWire out of reach: expected a report within 5 s: $(cat "$scratch/no_pipewire.err")"
  pass "stderr: $(cat "$scratch/no_pipewire.err")"
  note "passed"
  exit 0
fi
wait_for_presses $((before + 3)) 8 ||
  fail "expected 3 clicks in wev within 8 s of the pointer's rest (a limit of 2), wev got $(presses_after $before | wc -l): $(presses_after $before | tr '\n' ';')"
read -r t1 x1 y1 b1 < <(presses_after $before | sed -n 1p)
read -r t2 x2 y2 b2 < <(presses_after $before | sed -n 2p)
read -r t3 x3 y3 b3 < <(presses_after $before | sed -n 3p)
assert_eq "first click (x y button)" "$target_x $target_y 1" "$x1 $y1 $b1"
assert_eq "second click (x y button)" "$target_x $target_y 1" "$x2 $y2 $b2"
assert_eq "third click, at the rest point (x y button)" "$rest_x $rest_y 1" "$x3 $y3 $b3"
assert_between "first click after the pointer came to rest" $((t1 - rested_ms)) 1800 3600 " ms"
assert_between "second click after the first" $((t2 - t1)) 700 1300 " ms"
assert_between "third click after the second" $((t3 - t2)) 700 1300 " ms"
assert_eq "the pointer after the sequence, as wev saw it" "$rest_x $rest_y" "$(native_pointer)"
no_casts_but_the_hands "the sequence done"
note "passed"
