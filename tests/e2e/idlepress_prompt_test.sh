#!/usr/bin/env bash
# Idlepress's "How long" prompt: a right press on the X label opens it, and "2" with Return makes
# two still ticks enough. The pointer then rests on a fresh point, so the third tick after the
# prompt closes clicks the target (2 to 3 s later), where the default 15 would wait 15 s and more.
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

readonly target_x=345 target_y=456 rest_x=640 rest_y=620
clicks=$scratch/clicks.log
start_recorder "$clicks" 200 150 800 600 "Target Recorder"
start_wm

idlepress_with_target 0345 0456

move_pointer 777 555
start_platform_program idlepress "$idlepress"
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"

set_idle_limit_by_prompt "$window" 2 "$rest_x" "$rest_y"
closed_ms=$PROMPT_CLOSED_MS

wait_for_lines "$clicks" 3 10 ||
  fail "expected 3 clicks within 10 s of the prompt closing, the recorder saw $(line_count "$clicks"): $(tr '\n' ';' <"$clicks")"
read -r t1 x1 y1 b1 < <(click_line "$clicks" 1)
read -r t2 x2 y2 b2 < <(click_line "$clicks" 2)
read -r t3 x3 y3 b3 < <(click_line "$clicks" 3)
assert_eq "first click (x y button)" "$target_x $target_y 1" "$x1 $y1 $b1"
assert_eq "second click (x y button)" "$target_x $target_y 1" "$x2 $y2 $b2"
assert_eq "third click, at the resting place (x y button)" "$rest_x $rest_y 1" "$x3 $y3 $b3"
# Ticks fall every second from an unknown phase: the third after the prompt closed is 2 to 3 s on.
assert_between "first click after the prompt closed" $((t1 - closed_ms)) 1800 3400 " ms"
assert_between "second click after the first" $((t2 - t1)) 800 1200 " ms"
assert_between "third click after the second" $((t3 - t2)) 800 1200 " ms"
assert_eq "pointer after the sequence" "$rest_x $rest_y" "$(pointer_location)"
# A left button held still (a paused drag; the recorder logs its press): no click until released.
move_pointer 500 300 && xdotool mousedown 1
# Four whole intervals of the limit of 2.
! wait_for_lines "$clicks" 5 8 || fail "expected no click in 8 s with the left button held, saw: $(tr '\n' ';' <"$clicks")"
xdotool mouseup 1 && released_ms=$(now_ms)
wait_for_lines "$clicks" 7 10 || fail "expected 3 clicks after the release, saw: $(tr '\n' ';' <"$clicks")"
assert_eq "the held press, then the sequence (x y button)" "500 300 1;$target_x $target_y 1;$target_x $target_y 1;500 300 1;" "$(sed -n 4,7p "$clicks" | cut -d' ' -f2- | tr '\n' ';')"
assert_between "first click after the release (two ticks)" $(($(cut -d' ' -f1 < <(click_line "$clicks" 5)) - released_ms)) 800 2600 " ms"
note "passed"
