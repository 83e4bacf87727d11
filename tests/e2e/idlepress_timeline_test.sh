#!/usr/bin/env bash
# Idlepress's idle sequence in real time: with the pointer resting from the start, the target in
# coordinates.dat is clicked at 16 s and 17 s, and the resting place at 18 s; the pointer is then
# back where it rested. Its window sits in the screen's top-left corner.
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

readonly target_x=345 target_y=456 rest_x=777 rest_y=555
clicks=$scratch/clicks.log
start_recorder "$clicks" 200 150 800 600 "Target Recorder"

idlepress_with_target 0345 0456

# The pointer rests over the recorder (not at 0,0, where the watch's first sample would already
# count as resting).
move_pointer "$rest_x" "$rest_y"
start_platform_program idlepress "$idlepress"
idlepress_pid=$LAST_PID
launched_ms=$(now_ms)
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"
shown_ms=$(now_ms)
note "Idlepress window $window seen $((shown_ms - launched_ms)) ms after launch; times below count from then"

assert_eq "Idlepress window's outer top-left corner" "0 0" "$(window_position "$window")"

wait_for_lines "$clicks" 3 25 ||
  fail "expected 3 clicks within 25 s of the window showing, the recorder saw $(line_count "$clicks"): $(tr '\n' ';' <"$clicks")"

read -r t1 x1 y1 b1 < <(click_line "$clicks" 1)
read -r t2 x2 y2 b2 < <(click_line "$clicks" 2)
read -r t3 x3 y3 b3 < <(click_line "$clicks" 3)
assert_eq "first click (x y button)" "$target_x $target_y 1" "$x1 $y1 $b1"
assert_eq "second click (x y button)" "$target_x $target_y 1" "$x2 $y2 $b2"
assert_eq "third click, at the resting place (x y button)" "$rest_x $rest_y 1" "$x3 $y3 $b3"
assert_between "first click after the window showed" $((t1 - shown_ms)) 15400 16600 " ms"
assert_between "second click after the window showed" $((t2 - shown_ms)) 16400 17600 " ms"
assert_between "third click after the window showed" $((t3 - shown_ms)) 17400 18600 " ms"
assert_between "second click after the first" $((t2 - t1)) 800 1200 " ms"
assert_between "third click after the second" $((t3 - t2)) 800 1200 " ms"

assert_eq "pointer after the sequence" "$rest_x $rest_y" "$(pointer_location)"
kill -0 "$idlepress_pid" 2>/dev/null || fail "expected Idlepress still running after its sequence, it has ended"
assert_eq "Idlepress window's corner after the sequence" "0 0" "$(window_position "$window")"
assert_eq "clicks logged in all" 3 "$(line_count "$clicks")"
note "passed"
