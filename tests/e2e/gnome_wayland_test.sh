#!/usr/bin/env bash
# Idlepress and Sightrel on GNOME, natively: headless mutter with Xwayland, PipeWire and
# WirePlumber on a private session bus (gnome_session.sh), wev as the user's native window, and
# a remote-desktop session of the test's own as the user's mouse and keyboard. Run by
# scripts/gnome-wayland.sh, not by the main suite (see docs/testing.md).
#   1. Idlepress, the pointer resting over wev: two clicks at the saved point and one at the rest
#      point, a tick apart, reach wev, and the pointer is back at rest. No cast of Idlepress's is
#      open while it waits, nor once the clicks are done.
#   2. Sightrel, the pointer moved over wev after it opened: Return grabs the point under it.
#   3. With WirePlumber gone, GNOME's streams never start: Idlepress says so on stderr at the
#      sequence, and falls back to X11 (wev gets no click).
#   4. With PipeWire out of reach at start, Idlepress says so and starts on X11.
# shellcheck disable=SC2016  # eval expands the poll conditions at each try
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/gnome_session.sh"

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_SIGHTREL
start_gnome_session
read -r ox oy < <(wev_origin) || fail "the hand never moved over wev 10 pixels at a time"
note "wev's surface starts at $ox,$oy"
assert_eq "mutter's sessions before any program of ours (remote desktop, cast)" "1 1" "$(cast_sessions)"

# A folder of the programs' own that the session's user can write to.
program_folder() {
  local folder=$scratch/$1
  mkdir -p "$folder" && cp "$E2E_IDLEPRESS" "$E2E_SIGHTREL" "$folder/" && chmod -R a+rwX "$folder"
  echo "$folder"
}

# ---- 1. a sequence over wev ----------------------------------------------------------------
readonly target_x=$((ox + 150)) target_y=$((oy + 120)) rest_x=$((ox + 450)) rest_y=$((oy + 330))
folder=$(program_folder idle)
printf '%04d\r\n%04d\r\n' "$target_x" "$target_y" >"$folder/coordinates.dat"
hand move "$rest_x" "$rest_y"
start_session_program idlepress "$folder/Idlepress"
idlepress_pid=$LAST_PID
started_ms=$(now_ms)
poll_until 5 grep -q "GNOME's remote desktop and screen cast" "$scratch/idlepress.err" ||
  fail "Idlepress named no GNOME route on stderr within 5 s: $(cat "$scratch/idlepress.err")"
pass "stderr: $(head -n 1 "$scratch/idlepress.err")"
let_time_pass 8
assert_eq "mutter's sessions 8 s into the wait" "1 1" "$(cast_sessions)"
poll_until 25 eval '(($(native_presses | wc -l) >= 3))' ||
  fail "expected 3 presses in wev within 25 s, saw: $(native_presses | tr '\n' ';')"
note "the third press $(($(now_ms) - started_ms)) ms after Idlepress started"
mapfile -t presses < <(native_presses)
for i in 0 1 2; do note "wev press $((i + 1)): ${presses[i]} (mutter ms, surface x y, button)"; done
assert_eq "press 1 (surface x y button)" "150 120 1" "$(cut -d' ' -f2- <<<"${presses[0]}")"
assert_eq "press 2" "150 120 1" "$(cut -d' ' -f2- <<<"${presses[1]}")"
assert_eq "press 3, at the rest point" "450 330 1" "$(cut -d' ' -f2- <<<"${presses[2]}")"
assert_eq "the pointer afterwards" "450 330" "$(native_pointer)"
t1=${presses[0]%% *} t2=${presses[1]%% *} t3=${presses[2]%% *}
assert_between "press 1 to press 2" $((t2 - t1)) 900 1100 " ms"
assert_between "press 2 to press 3" $((t3 - t2)) 900 1100 " ms"
poll_until 2 eval '[[ $(cast_sessions) == "1 1" ]]' ||
  fail "Idlepress's sessions were still open 2 s after the sequence: $(cast_sessions)"
pass "mutter's sessions after the sequence: $(cast_sessions) (the hand's alone)"
kill -TERM "$idlepress_pid"
wait_for_exit "$idlepress_pid" 5 || fail "Idlepress didn't end within 5 s of SIGTERM"

# ---- 2. Sightrel's grab over wev -----------------------------------------------------------
folder=$(program_folder sight)
hand move 5 900
start_session_program sightrel "$folder/Sightrel"
sightrel_pid=$LAST_PID
wait_for_window "Mouse Position" 20 >/dev/null || fail "expected Sightrel's window within 20 s"
readonly grab_x=$((ox + 300)) grab_y=$((oy + 200))
hand move "$grab_x" "$grab_y"
let_time_pass 0.5
hand key 28 1
hand key 28 0
wait_for_exit "$sightrel_pid" 5 || fail "Sightrel didn't end within 5 s of Return"
assert_eq "Sightrel's exit status" 0 "$EXIT_STATUS"
assert_file_bytes "the grab over wev" "$folder/coordinates.dat" \
  "$(printf '%04d\\r\\n%04d\\r\\n' "$grab_x" "$grab_y")"
poll_until 2 eval '[[ $(cast_sessions) == "1 1" ]]' ||
  fail "Sightrel's cast was still open 2 s after it ended: $(cast_sessions)"
pass "mutter's sessions after Sightrel: $(cast_sessions)"

# ---- 3. streams that never start -----------------------------------------------------------
kill -TERM "$wireplumber_pid"
wait_for_exit "$wireplumber_pid" 5 || fail "WirePlumber didn't end within 5 s"
presses_before=$(native_presses | wc -l)
folder=$(program_folder nostream)
printf '%04d\r\n%04d\r\n' "$target_x" "$target_y" >"$folder/coordinates.dat"
hand move "$rest_x" "$rest_y"
start_session_program nostream "$folder/Idlepress"
nostream_pid=$LAST_PID
poll_until 25 grep -q "sent nothing within a second" "$scratch/nostream.err" ||
  fail "Idlepress didn't report the silent streams within 25 s: $(cat "$scratch/nostream.err")"
pass "stderr: $(tail -n 1 "$scratch/nostream.err")"
poll_until 2 eval '[[ $(cast_sessions) == "1 1" ]]' ||
  fail "the failed cast was still open 2 s after the report: $(cast_sessions)"
let_time_pass 3
assert_eq "presses in wev since (XTest reaches X11 windows only)" "$presses_before" \
  "$(native_presses | wc -l)"
kill -TERM "$nostream_pid"

# ---- 4. PipeWire out of reach at start -----------------------------------------------------
start_program nopw "${as_session_user[@]}" env PIPEWIRE_REMOTE=no-such-daemon "$folder/Idlepress"
poll_until 5 grep -q "PipeWire isn't running" "$scratch/nopw.err" ||
  fail "Idlepress didn't report PipeWire missing within 5 s: $(cat "$scratch/nopw.err")"
pass "stderr: $(cat "$scratch/nopw.err")"
