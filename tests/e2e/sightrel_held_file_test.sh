#!/usr/bin/env bash
# Sightrel's grab while another program holds coordinates.dat open without sharing, as a virus
# scanner or an indexer does for a moment after a file is written (Windows only): a short hold
# is waited out and the grab lands; a hold that lasts fails with a message naming the file, and
# the old file stays whole, with no temporary file beside it.
source "$(dirname "$0")/lib.sh"

e2e_begin
[[ $E2E_PLATFORM == windows ]] || skip "holding a file against replacement is a Windows matter"
need_program E2E_SIGHTREL
need_program E2E_RECORDER
need_program E2E_FILE_HOLDER
start_xvfb

folder=$(app_folder)
sightrel=$(copy_program E2E_SIGHTREL "$folder") || fail "could not copy Sightrel to $folder"
coordinates=$folder/coordinates.dat
start_recorder "$scratch/clicks.log" 200 150 400 300 "Backdrop"
start_wm

# grab_while_held NAME HOLD_MS X Y: Sightrel shows X,Y; the holder takes the file; Return.
grab_while_held() {
  local name=$1 hold_ms=$2
  move_pointer "$3" "$4"
  start_platform_program "sightrel-$name" "$sightrel"
  sightrel_pid=$LAST_PID
  window=$(wait_for_window "Mouse Position" 20) ||
    fail "expected Sightrel's \"Mouse Position\" window within 20 s, saw none"
  start_platform_program "holder-$name" "$E2E_FILE_HOLDER" \
    "$(host_path_for_platform "$coordinates")" "$hold_ms"
  poll_until 20 grep -q held "$scratch/holder-$name.out" ||
    fail "the holder did not open $coordinates: $(cat "$scratch/holder-$name.err")"
  wait_for_focus "$window" "Sightrel's window"
  xdotool key Return
  return_ms=$(now_ms)
}

printf '0001\r\n0002\r\n' >"$coordinates"

# 1. Held for 0.7 s as Return is pressed: the grab waits it out.
grab_while_held short 700 300 200
wait_for_exit "$sightrel_pid" 10 || fail "Return during a 0.7 s hold: Sightrel still runs after 10 s"
assert_eq "Sightrel's exit status after a grab during a 0.7 s hold" 0 "$EXIT_STATUS"
note "Sightrel ended $(($(now_ms) - return_ms)) ms after Return"
assert_file_bytes "coordinates.dat after a grab during a 0.7 s hold" "$coordinates" '0300\r\n0200\r\n'

# 2. Held for 5 s: the grab gives up, says so, and the file is the one from before.
grab_while_held long 5000 310 210
box=$(wait_for_window Sightrel 10) ||
  fail "Return during a 5 s hold: expected a message box titled Sightrel within 10 s, saw none"
note "the message box showed $(($(now_ms) - return_ms)) ms after Return"
grep -q 'coordinates.dat" can.t be written' "$scratch/sightrel-long.err" ||
  fail "the message on standard error does not name the file: $(cat "$scratch/sightrel-long.err")"
pass "standard error: $(cat "$scratch/sightrel-long.err")"
wait_for_focus "$box" "the message box"
xdotool key Return
wait_for_exit "$sightrel_pid" 10 || fail "the message box was dismissed, but Sightrel still runs"
assert_eq "Sightrel's exit status after a failed grab" 1 "$EXIT_STATUS"
assert_file_bytes "coordinates.dat after a failed grab" "$coordinates" '0300\r\n0200\r\n'
assert_eq "files in the program's folder" \
  "$(printf '%s\n' "$(basename "$sightrel")" coordinates.dat | LC_ALL=C sort | tr '\n' ' ')" \
  "$(find "$folder" -mindepth 1 -printf '%f\n' | LC_ALL=C sort | tr '\n' ' ')"
note "passed"
