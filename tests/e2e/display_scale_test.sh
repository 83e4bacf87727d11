#!/usr/bin/env bash
# Both windows drawn at the display's resolution: with Xft.dpi unset (96), then set with xrdb to
# 144 and 192, Idlepress's client area is 315 twips and Sightrel's 3795 by 1455 twips at that
# resolution, rounded to the pixel; the "How long" prompt is twice as large at 192 as at 96.
# Every window, the prompt included, carries its program's class and icon. Linux only: Xft.dpi
# is an X resource.
source "$(dirname "$0")/lib.sh"

e2e_begin
[[ $E2E_PLATFORM == linux ]] || skip "Xft.dpi scales the Linux windows only"
command -v xrdb >/dev/null || skip "xrdb is not installed"
need_program E2E_IDLEPRESS
need_program E2E_SIGHTREL
start_xvfb

folder=$(app_folder)
idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"
sightrel=$(copy_program E2E_SIGHTREL "$folder") || fail "could not copy Sightrel to $folder"
printf '0345\r\n0456\r\n' >"$folder/coordinates.dat"
move_pointer 700 500

# has_identity WINDOW CLASS: the window carries the class CLASS and an icon.
has_identity() {
  assert_eq "the class of window $1" "WM_CLASS = \"$2\", \"$2\"" "$(xprop -id "$1" -notype WM_CLASS)"
  [[ $(xprop -id "$1" -notype _NET_WM_ICON) == *"Icon (64 x 64)"* ]] ||
    fail "window $1 of $2 has no 64x64 icon: $(xprop -id "$1" -notype _NET_WM_ICON | head -n 1)"
}

# window_size_of TITLE PROGRAM CLASS: starts PROGRAM, leaves its window's size in SIZE ("WxH"),
# and for Idlepress the prompt's in PROMPT_WIDTH and PROMPT_HEIGHT, and ends it.
window_size_of() {
  local title=$1 program=$2 window w h
  start_program "$title" "$program"
  local pid=$LAST_PID
  window=$(wait_for_window "$title" 20) || fail "expected the window \"$title\" within 20 s, saw none"
  read -r w h < <(window_size "$window") || fail "the window \"$title\" has no size"
  SIZE=${w}x$h
  has_identity "$window" "$3"
  if [[ $title == Idlepress ]]; then
    read -r x y < <(idlepress_label_point "$window")
    move_pointer "$x" "$y"
    xdotool click 3
    prompt=$(wait_for_window "How long" 10) || fail "a right press on the X opened no prompt"
    read -r PROMPT_WIDTH PROMPT_HEIGHT < <(window_size "$prompt")
    has_identity "$prompt" "$3"
  fi
  if [[ $title == Idlepress ]]; then
    kill -TERM "$pid"
  else  # with no window manager the keyboard follows the pointer: Return on the window grabs
    read -r x y < <(window_position "$window") && move_pointer $((x + 5)) $((y + 5)) && xdotool key Return
  fi
  wait_for_exit "$pid" 10 || fail "$title did not end within 10 s"
  [[ $title == Idlepress ]] || assert_eq "Sightrel's exit status after Return on its window" 0 "$EXIT_STATUS"
  wait_for_no_window "$title" 5 || fail "the window \"$title\" stayed after its program ended"
}

# dpi  Idlepress   Sightrel
for row in "unset 21x21 253x97" "144 32x32 380x146" "192 42x42 506x194"; do
  read -r dpi idlepress_size sightrel_size <<<"$row"
  if [[ $dpi != unset ]]; then
    xrdb -nocpp -merge <<<"Xft.dpi: $dpi" || fail "xrdb could not set Xft.dpi to $dpi"
  fi
  assert_eq "Xft.dpi on the display" "${dpi/unset/}" \
    "$(xrdb -query | awk '$1 == "Xft.dpi:" {print $2}')"
  window_size_of Idlepress "$idlepress" Idlepress
  assert_eq "Idlepress's window at Xft.dpi $dpi" "$idlepress_size" "$SIZE"
  [[ $dpi == unset ]] && usual_prompt=("$PROMPT_WIDTH" "$PROMPT_HEIGHT")
  window_size_of "Mouse Position" "$sightrel" Sightrel
  assert_eq "Sightrel's window at Xft.dpi $dpi" "$sightrel_size" "$SIZE"
done
# Twice the size within a few pixels: text and lengths are rounded one by one.
assert_between "the prompt's width at 192 dpi, in % of its width at 96" \
  $((PROMPT_WIDTH * 100 / usual_prompt[0])) 195 205 %
assert_between "the prompt's height at 192 dpi, in % of its height at 96" \
  $((PROMPT_HEIGHT * 100 / usual_prompt[1])) 190 210 %
note "passed"
