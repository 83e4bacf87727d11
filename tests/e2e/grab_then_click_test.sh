#!/usr/bin/env bash
# The two programs together, from one folder: Sightrel grabs a point over a recorder window,
# then Idlepress (with two still ticks set through its prompt) clicks exactly that pixel.
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_SIGHTREL
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

readonly mark_x=432 mark_y=321 rest_x=850 rest_y=650
clicks=$scratch/clicks.log
start_recorder "$clicks" 200 150 800 600 "Target Recorder"
start_wm

folder=$(app_folder)
sightrel=$(copy_program E2E_SIGHTREL "$folder") || fail "could not copy Sightrel to $folder"
idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"

# Mark the point.
move_pointer "$mark_x" "$mark_y"
start_platform_program sightrel "$sightrel"
sightrel_pid=$LAST_PID
window=$(wait_for_window "Mouse Position" 20) ||
  fail "expected Sightrel's \"Mouse Position\" window within 20 s, saw none"
wait_for_focus "$window" "Sightrel's window"
xdotool key Return
wait_for_exit "$sightrel_pid" 10 || fail "Return: expected Sightrel to end within 10 s, it is still running"
assert_eq "Sightrel's exit status" 0 "$EXIT_STATUS"
assert_file_bytes "coordinates.dat Sightrel wrote" "$folder/coordinates.dat" '0432\r\n0321\r\n'

# Click it.
move_pointer 777 555
start_platform_program idlepress "$idlepress"
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"
set_idle_limit_by_prompt "$window" 2 "$rest_x" "$rest_y"

wait_for_lines "$clicks" 3 10 ||
  fail "expected 3 clicks within 10 s of the prompt closing, the recorder saw $(line_count "$clicks"): $(tr '\n' ';' <"$clicks")"
read -r t1 x1 y1 b1 < <(click_line "$clicks" 1)
read -r t2 x2 y2 b2 < <(click_line "$clicks" 2)
read -r t3 x3 y3 b3 < <(click_line "$clicks" 3)
assert_eq "first click (x y button)" "$mark_x $mark_y 1" "$x1 $y1 $b1"
assert_eq "second click (x y button)" "$mark_x $mark_y 1" "$x2 $y2 $b2"
assert_eq "third click, at the resting place (x y button)" "$rest_x $rest_y 1" "$x3 $y3 $b3"
assert_between "first click after the prompt closed" $((t1 - PROMPT_CLOSED_MS)) 1800 3400 " ms"
assert_between "second click after the first" $((t2 - t1)) 800 1200 " ms"
assert_between "third click after the second" $((t3 - t2)) 800 1200 " ms"
assert_eq "clicks logged in all" 3 "$(line_count "$clicks")"
note "passed"
