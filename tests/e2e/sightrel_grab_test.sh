#!/usr/bin/env bash
# Sightrel, which has the keyboard once it opens: Return or Space on its "Grab It" button writes
# the pointer's position, padded to four characters, to coordinates.dat beside the program and
# ends it; closing the window (Escape) writes nothing; a read-only coordinates.dat, or a loop of
# links, is refused with a message.
source "$(dirname "$0")/lib.sh"

e2e_begin
need_program E2E_SIGHTREL
need_program E2E_RECORDER
start_xvfb
start_wm

folder=$(app_folder)
sightrel=$(copy_program E2E_SIGHTREL "$folder") || fail "could not copy Sightrel to $folder"
coordinates=$folder/coordinates.dat
recorders=0

# place_pointer X Y: a recorder window under the point (Wine reads the pointer reliably only over
# one of its own windows), then the pointer there.
place_pointer() {
  local x=$1 y=$2 left top
  left=$((x >= 30 ? x - 30 : 0)) top=$((y >= 30 ? y - 30 : 0))
  recorders=$((recorders + 1))
  start_recorder "$scratch/clicks-$recorders.log" "$left" "$top" 60 60 "Backdrop $recorders"
  move_pointer "$x" "$y"
}

# start_sightrel: runs it and waits for its window, which it leaves in `window`.
start_sightrel() {
  start_platform_program "sightrel-$1" "$sightrel"
  sightrel_pid=$LAST_PID
  window=$(wait_for_window "Mouse Position" 20) ||
    fail "expected Sightrel's \"Mouse Position\" window within 20 s, saw none"
}

# press_and_finish KEY: once the window has the keyboard, presses KEY; Sightrel ends with 0.
press_and_finish() {
  wait_for_focus "$window" "Sightrel's window"
  xdotool key "$1"
  wait_for_exit "$sightrel_pid" 10 || fail "key $1: expected Sightrel to end within 10 s, it is still running"
  assert_eq "Sightrel's exit status after key $1" 0 "$EXIT_STATUS"
  wait_for_no_window "Mouse Position" 5 || fail "expected Sightrel's window gone once it ended"
}

# 1. The pointer waits at the point before Sightrel starts; Return grabs it.
place_pointer 7 42
start_sightrel return
press_and_finish Return
assert_file_bytes "coordinates.dat after Return at 7,42" "$coordinates" '0007\r\n0042\r\n'

# 2. The pointer arrives after the window shows: the 100 ms refresh must pick it up. Five refresh
# periods pass before the key; the file would show the old point if the labels weren't updated.
place_pointer 600 500
start_sightrel return-late
place_pointer 1234 5
let_time_pass 0.5
press_and_finish Return
assert_file_bytes "coordinates.dat after Return at 1234,5" "$coordinates" '1234\r\n0005\r\n'

# 3. Space on the focused button grabs too, and replaces the file.
place_pointer 640 300
start_sightrel space
press_and_finish space
assert_file_bytes "coordinates.dat after Space at 640,300" "$coordinates" '0640\r\n0300\r\n'

# 4. Escape closes the window without a grab: the file keeps its bytes and its time.
printf '0123\r\n0456\r\n' >"$coordinates"
touch -d '2001-02-03 04:05:06' "$coordinates"
place_pointer 900 700
start_sightrel escape
press_and_finish Escape
assert_file_bytes "coordinates.dat after Escape" "$coordinates" '0123\r\n0456\r\n'
assert_eq "coordinates.dat's modification time after Escape" "2001-02-03 04:05:06" \
  "$(date -r "$coordinates" '+%Y-%m-%d %H:%M:%S')"

# 5. A coordinates.dat made read-only is left as the user set it: the grab says so and fails.
chmod a-w "$coordinates"
place_pointer 500 400
start_sightrel read-only
wait_for_focus "$window" "Sightrel's window"
xdotool key Return
box=$(wait_for_window Sightrel 10) ||
  fail "Return with a read-only coordinates.dat: expected a message box titled Sightrel, saw none"
grep -q 'coordinates.dat" is read-only' "$scratch/sightrel-read-only.err" ||
  fail "standard error does not say the file is read-only: $(cat "$scratch/sightrel-read-only.err")"
pass "standard error: $(cat "$scratch/sightrel-read-only.err")"
wait_for_focus "$box" "the message box"
xdotool key Return
wait_for_exit "$sightrel_pid" 10 || fail "the message box was dismissed, but Sightrel still runs"
assert_eq "Sightrel's exit status after a refused grab" 1 "$EXIT_STATUS"
assert_file_bytes "the read-only coordinates.dat after the grab" "$coordinates" '0123\r\n0456\r\n'
chmod u+w "$coordinates"

if [[ $E2E_PLATFORM == linux ]]; then  # modes are Linux's; Wine 8 makes no links (mklink: none)
  # 6. A file the user made private stays private.
  chmod 600 "$coordinates"
  place_pointer 300 200
  start_sightrel private
  press_and_finish Return
  assert_eq "coordinates.dat's mode after a grab" 600 "$(stat -c %a "$coordinates")"
  # 7. A loop of links is refused with a message, and both links stay as they are.
  mv "$coordinates" "$scratch/kept.dat"
  ln -s other.dat "$coordinates" && ln -s coordinates.dat "$folder/other.dat"
  start_sightrel loop
  wait_for_focus "$window" "Sightrel's window" && xdotool key Return
  box=$(wait_for_window Sightrel 10) || fail "a loop of links: expected a message box, saw none"
  grep 'levels of symbolic links' "$scratch/sightrel-loop.err" || fail "see sightrel-loop.err"
  wait_for_focus "$box" "the message box" && xdotool key Return
  wait_for_exit "$sightrel_pid" 10 || fail "the message box was dismissed, but Sightrel still runs"
  assert_eq "Sightrel's exit status, and the links" "1 other.dat coordinates.dat" \
    "$EXIT_STATUS $(readlink "$coordinates") $(readlink "$folder/other.dat")"
  rm "$folder/other.dat" && mv "$scratch/kept.dat" "$coordinates"
fi
assert_eq "files in the program's folder" \
  "$(printf '%s\n' "$(basename "$sightrel")" coordinates.dat | LC_ALL=C sort | tr '\n' ' ')" \
  "$(find "$folder" -mindepth 1 -printf '%f\n' | LC_ALL=C sort | tr '\n' ' ')"
note "passed"
