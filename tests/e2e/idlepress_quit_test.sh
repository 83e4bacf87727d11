#!/usr/bin/env bash
# A left press on Idlepress's X label ends it with status 0.
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

# Under Wine the pointer is only seen reliably over a Wine window: give it one to rest on.
start_recorder "$scratch/clicks.log" 200 150 800 600 "Recorder"
idlepress_with_target 0345 0456

move_pointer 777 555
start_platform_program idlepress "$idlepress"
idlepress_pid=$LAST_PID
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"
read -r label_x label_y < <(idlepress_label_point "$window")

kill -0 "$idlepress_pid" 2>/dev/null || fail "Idlepress ended before the press"
move_pointer "$label_x" "$label_y"
pressed_ms=$(now_ms)
xdotool click 1
wait_for_exit "$idlepress_pid" 10 ||
  fail "a left press on the X label at $label_x,$label_y: expected Idlepress to end within 10 s, it is still running"
note "Idlepress ended $(($(now_ms) - pressed_ms)) ms after the press"
assert_eq "Idlepress's exit status after a left press on the X" 0 "$EXIT_STATUS"
wait_for_no_window Idlepress 5 ||
  fail "expected no Idlepress window once it ended, saw $(find_windows Idlepress | tr '\n' ' ')"
assert_eq "clicks on the recorder" 0 "$(line_count "$scratch/clicks.log")"
note "passed"
