#!/usr/bin/env bash
# Sightrel grabbing a point over a native Wayland window (wev) under a headless compositor (sway,
# KWin with E2E_COMPOSITOR=kwin, or mutter), the user's mouse and keyboard a virtual device of the tests.
# The pointer is over wev when Sightrel opens, so it never crosses Sightrel's window (which would
# give wev the keyboard); it moves to another point over wev and rests, and Return typed on the
# keyboard, which Sightrel has from its start, writes that point to coordinates.dat.
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_SIGHTREL
start_wayland_session
start_native_window
start_hand
check_hand_on_native_window

folder=$(session_app_folder) || fail "could not make the programs' folder"
sightrel=$(session_copy_program E2E_SIGHTREL "$folder") || fail "could not copy Sightrel"
session_add_to_menu "$folder"
hand move 200 150
start_session_program sightrel "$sightrel"
sightrel_pid=$LAST_PID
window=$(wait_for_window "Mouse Position" 20) ||
  fail "expected Sightrel's \"Mouse Position\" window within 20 s, saw none"
wait_for_focus "$window" "Sightrel's window"
note "Sightrel: $(head -n 1 "$scratch/sightrel.err")"
hand move 1000 800
let_time_pass 0.5  # five of its refreshes
hand key Return
wait_for_exit "$sightrel_pid" 10 || fail "Return: expected Sightrel to end within 10 s, it is still running"
assert_eq "Sightrel's exit status after Return" 0 "$EXIT_STATUS"
assert_file_bytes "coordinates.dat after Return with the pointer at 1000,800 over wev" \
  "$folder/coordinates.dat" '1000\r\n0800\r\n'
if [[ ${E2E_COMPOSITOR:-sway} == mutter ]]; then
  poll_until 2 eval '[[ $(cast_sessions) == "1 1" ]]' ||
    fail "Sightrel's cast was still open in mutter 2 s after it ended: $(cast_sessions)"
  pass "mutter holds the hand's sessions alone once Sightrel has ended"
fi
note "passed"
