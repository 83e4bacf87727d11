#!/usr/bin/env bash
# The system pointer, end to end: pointer_probe moves the pointer and xdotool sees it there;
# xdotool moves it and the probe reads it back; the probe's ClickAt delivers a left click that a
# click recorder window receives at exactly the pixel asked for. On Windows the probe runs under
# Wine and the recorder is a Wine window too, since Wine's injected clicks reach only its own.
# shellcheck disable=SC2016  # eval expands the poll conditions at each try
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_PROBE
need_program E2E_RECORDER
start_xvfb

clicks=$scratch/clicks.log
start_recorder "$clicks" 100 100 900 700 "E2E Recorder"

probe() { run_platform_program "$E2E_PROBE" "$@"; }

# Every point lies over the recorder: Wine learns where the pointer is from motion over its own
# windows. No point repeats the one before it, since Wine skips a warp to where it thinks the
# pointer already is.
for point in "123 234" "456 345" "987 654" "101 799"; do
  read -r x y <<<"$point"
  probe move "$x" "$y" || fail "pointer_probe move $x $y: expected status 0, saw $?"
  poll_until 5 eval '[[ $(pointer_location) == "$x $y" ]]'
  assert_eq "xdotool's pointer after 'pointer_probe move $x $y'" "$x $y" "$(pointer_location)"
done

# Back to a point the probe visited before, after xdotool moved the pointer elsewhere over a
# Wine window: the warp must still happen.
move_pointer 700 500
probe move 456 345 || fail "pointer_probe move 456 345 (again): expected status 0, saw $?"
poll_until 5 eval '[[ $(pointer_location) == "456 345" ]]'
assert_eq "xdotool's pointer after moving back with pointer_probe" "456 345" "$(pointer_location)"

# A point far past the screen stops at its edge, as on Windows, instead of wrapping around
# (X carries coordinates as 16 bits: 66036 would land at 500).
probe move 66036 40000 || fail "pointer_probe move 66036 40000: expected status 0, saw $?"
poll_until 5 eval '[[ $(pointer_location) == "1279 1023" ]]'
assert_eq "xdotool's pointer after 'pointer_probe move 66036 40000'" "1279 1023" "$(pointer_location)"

for point in "234 567" "876 111" "100 100" "999 799"; do
  read -r x y <<<"$point"
  move_pointer "$x" "$y"
  seen=$(probe get) || fail "pointer_probe get: expected status 0, saw $? (output \"$seen\")"
  assert_eq "pointer_probe get after 'xdotool mousemove $x $y'" "$x $y" "$(tr -d '\r' <<<"$seen")"
done

# Clicks: each must arrive once, as a left press at the very pixel, while the probe runs.
move_pointer 500 400
for point in "321 432" "654 210" "150 750"; do
  read -r x y <<<"$point"
  before_lines=$(line_count "$clicks")
  before_ms=$(now_ms)
  probe click "$x" "$y" || fail "pointer_probe click $x $y: expected status 0, saw $?"
  wait_for_lines "$clicks" $((before_lines + 1)) 5 ||
    fail "pointer_probe click $x $y: expected the recorder to log a press within 5 s, it logged none"
  after_ms=$(now_ms)
  read -r at_ms seen_x seen_y button < <(tail -n 1 "$clicks")
  assert_eq "press logged for 'pointer_probe click $x $y' (x y button)" "$x $y 1" \
    "$seen_x $seen_y $button"
  assert_between "time of the press for 'pointer_probe click $x $y'" "$at_ms" "$before_ms" \
    "$after_ms" " ms"
  assert_eq "pointer after the click" "$x $y" "$(pointer_location)"
done
# A stray second press (or a press of another button) would show up as an extra line.
let_time_pass 0.5
assert_eq "presses logged for three clicks" 3 "$(line_count "$clicks")"

# A left-handed pointer mapping swaps the buttons: the click must still arrive as the primary
# button, not as the button physical button 1 now stands for. XTest goes through the mapping;
# Wine's injected clicks don't, so this is the native build's case.
if [[ $E2E_PLATFORM == linux ]] && command -v xmodmap >/dev/null; then
  xmodmap -e "pointer = 3 2 1" || fail "xmodmap could not swap the pointer buttons"
  probe click 432 321 || fail "pointer_probe click 432 321 with swapped buttons: expected status 0, saw $?"
  wait_for_lines "$clicks" 4 5 ||
    fail "pointer_probe click 432 321 with swapped buttons: expected a press within 5 s, the recorder logged none"
  read -r _ seen_x seen_y button < <(tail -n 1 "$clicks")
  assert_eq "press logged with the buttons swapped (x y button)" "432 321 1" "$seen_x $seen_y $button"
  xmodmap -e "pointer = 1 2 3" || fail "xmodmap could not restore the pointer buttons"
  let_time_pass 0.5
  assert_eq "presses logged after the swapped-button click" 4 "$(line_count "$clicks")"
fi

# Usage errors are refused with a message, not taken as a position.
probe move 12 >/dev/null 2>"$scratch/usage.err"
status=$?
assert_eq "status of 'pointer_probe move 12'" 2 "$status"
grep -q usage "$scratch/usage.err" || fail "'pointer_probe move 12': expected a usage message on stderr, saw \"$(cat "$scratch/usage.err")\""

note "passed"
