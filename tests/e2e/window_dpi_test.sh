#!/usr/bin/env bash
# Both windows' client areas at 96 and 192 dpi under Wine: the twips of each form scale with the
# DPI, whatever frame the program's Windows version marking gets. Idlepress 21x21 and 42x42;
# Sightrel 253x97 (3795x1455 twips) and 506x194. Wine takes the DPI from the prefix's
# registry when a process starts. The test sets it for each program and the probe that measures
# it, and puts back what it found there at once: a test killed midway leaves it changed for
# seconds at most.
source "$(dirname "$0")/lib.sh"

[[ $E2E_PLATFORM == windows ]] || skip "the DPI set here is Wine's registry value"
e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_SIGHTREL
need_program E2E_PROBE
start_xvfb

readonly dpi_key='HKCU\Control Panel\Desktop'
# The value as it was ("" when there was none), put back however the test ends.
original_dpi=$("$E2E_WINE_RUN" reg query "$dpi_key" /v LogPixels 2>/dev/null |
  awk '$1 == "LogPixels" {print $3}' | tr -d '\r')
restore_dpi() {
  if [[ -n $original_dpi ]]; then
    "$E2E_WINE_RUN" reg add "$dpi_key" /v LogPixels /t REG_DWORD /d "$((original_dpi))" /f
  else
    "$E2E_WINE_RUN" reg delete "$dpi_key" /v LogPixels /f
  fi >/dev/null 2>&1 || note "could not put LogPixels back to \"$original_dpi\""
}
# Before lib.sh's clean-up, which stops the prefix's wineserver, and with the test's status.
end_test() {
  local status=$?
  restore_dpi
  (exit "$status")
  e2e_cleanup
}
trap end_test EXIT

folder=$(app_folder)
idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"
sightrel=$(copy_program E2E_SIGHTREL "$folder") || fail "could not copy Sightrel to $folder"
printf '0345\r\n0456\r\n' >"$folder/coordinates.dat"

# client_size_at DPI NAME PROGRAM TITLE EXPECTED: starts PROGRAM at DPI, compares the client
# area of its window with EXPECTED ("W H"), ends it.
client_size_at() {
  local dpi=$1 name=$2 program=$3 title=$4 expected=$5 pid size
  "$E2E_WINE_RUN" reg add "$dpi_key" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
    fail "could not set LogPixels to $dpi"
  start_platform_program "$name-$dpi" "$program"
  pid=$LAST_PID
  wait_for_window "$title" 20 >/dev/null || fail "at $dpi dpi: expected $name's window within 20 s, saw none"
  # The probe is DPI aware at the DPI it starts with: the same as the program's, so it reads
  # physical pixels.
  size=$(run_platform_program "$E2E_PROBE" client "$title" | tr -d '\r') ||
    fail "at $dpi dpi: the probe could not read $name's client area"
  restore_dpi
  assert_eq "$name's client area at $dpi dpi" "$expected" "$size"
  kill -TERM "$pid" 2>/dev/null
  wait_for_exit "$pid" 10 || fail "$name did not end within 10 s of SIGTERM"
  wait_for_no_window "$title" 5 || fail "$name's window stayed after it ended"
}

for dpi in 96 192; do
  factor=$((dpi / 96))
  client_size_at "$dpi" Idlepress "$idlepress" Idlepress "$((21 * factor)) $((21 * factor))"
  client_size_at "$dpi" Sightrel "$sightrel" "Mouse Position" "$((253 * factor)) $((97 * factor))"
done
note "passed"
