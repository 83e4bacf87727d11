#!/usr/bin/env bash
# Idlepress with no usable coordinates.dat: it tells the user in a message box (and the same on
# standard error, naming the file), ends with a non-zero status once the box is dismissed, and
# never shows its own window.
#   idlepress_bad_file_test.sh missing | not_a_number | one_line
source "$(dirname "$0")/lib.sh"

case ${1:-} in
  missing) content="" ;;
  not_a_number) content='abc\r\n0456\r\n' ;;
  one_line) content='0123\r\n' ;;
  *) fail "usage: $0 missing|not_a_number|one_line" ;;
esac

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

start_recorder "$scratch/clicks.log" 200 150 800 600 "Recorder"
start_wm
move_pointer 777 555
folder=$(app_folder)
idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"
if [[ $1 != missing ]]; then
  printf '%b' "$content" >"$folder/coordinates.dat"
  note "coordinates.dat holds$(od -An -c "$folder/coordinates.dat" | tr -s ' ')"
fi

windows=$scratch/idlepress-windows.log
start_window_watch Idlepress "$windows"
start_platform_program idlepress "$idlepress"
idlepress_pid=$LAST_PID

message=$(wait_for_window Idlepress 20) ||
  fail "expected a message window titled Idlepress within 20 s, saw none (stderr: $(cat "$scratch/idlepress.err"))"
read -r width height < <(window_size "$message")
if idlepress_main_window_like "$width" "$height"; then
  fail "expected a message box, saw a ${width}x$height window: Idlepress's own window"
fi
pass "a ${width}x$height message window showed"

poll_until 5 grep -q coordinates.dat "$scratch/idlepress.err" ||
  fail "expected standard error to name coordinates.dat, saw \"$(cat "$scratch/idlepress.err")\""
pass "standard error: $(head -c 300 "$scratch/idlepress.err")"
kill -0 "$idlepress_pid" 2>/dev/null || fail "expected Idlepress to wait for the message to be dismissed, it has ended"

wait_for_focus "$message" "the message window"
xdotool key Return
wait_for_exit "$idlepress_pid" 10 ||
  fail "Return on the message: expected Idlepress to end within 10 s, it is still running"
[[ $EXIT_STATUS != 0 ]] || fail "expected a non-zero exit status after the failure, saw 0"
pass "exit status $EXIT_STATUS"

# Every window the watch saw must have been the message.
while read -r at id x y w h; do
  if idlepress_main_window_like "$w" "$h"; then
    fail "Idlepress's own window (${w}x$h at $x,$y, window $id) showed at $at; expected only the message"
  fi
done <"$windows"
pass "no Idlepress main window showed ($(cut -d' ' -f2 "$windows" | sort -u | wc -l) window(s) seen in $(wc -l <"$windows") samples)"
assert_eq "clicks on the recorder" 0 "$(line_count "$scratch/clicks.log")"
note "passed"
