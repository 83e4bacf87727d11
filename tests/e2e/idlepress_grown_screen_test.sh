#!/usr/bin/env bash
# A screen that grows while Idlepress runs (a monitor plugged in) is clicked where the target is:
# the screen is 800x600 when Idlepress starts and 1600x1200 when it clicks (1200, 900), which
# must arrive there, not at the old edge (799, 599). Linux only: under Wine the edge is Wine's.
# shellcheck disable=SC2016  # eval expands the poll conditions at each try
source "$(dirname "$0")/lib.sh"

e2e_begin
[[ $E2E_PLATFORM == linux ]] || skip "the native build's own clamping"
command -v xrandr >/dev/null || skip "xrandr is not installed"
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
# Xvfb resizes only within the size it was started with.
start_xvfb 1600x1200x24

screen_size() { xdpyinfo 2>/dev/null | awk '/dimensions:/ {print $2}'; }
# xrandr resizes the screen and then complains that Xvfb's one output is larger: its status
# says nothing, the size it leaves does.
xrandr --fb 800x600 >"$scratch/xrandr.out" 2>&1
poll_until 5 eval '[[ $(screen_size) == 800x600 ]]' ||
  fail "expected an 800x600 screen before Idlepress starts, saw $(screen_size)"

idlepress_with_target 1200 0900
move_pointer 500 400
start_platform_program idlepress "$idlepress"
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"

xrandr --fb 1600x1200 >>"$scratch/xrandr.out" 2>&1
poll_until 5 eval '[[ $(screen_size) == 1600x1200 ]]' ||
  fail "expected a 1600x1200 screen after growing it, saw $(screen_size)"
pass "the screen grew to 1600x1200 while Idlepress ran"

clicks=$scratch/clicks.log
start_recorder "$clicks" 1000 700 500 400 "Grown Area"
edge_clicks=$scratch/edge.log
start_recorder "$edge_clicks" 700 500 100 100 "Old Edge"

# Two still ticks, then the sequence: the target twice, then the resting place (600, 300).
set_idle_limit_by_prompt "$window" 2 600 300
wait_for_lines "$clicks" 2 10 ||
  fail "expected two clicks at 1200,900 within 10 s; the grown area saw $(line_count "$clicks"), the old edge $(line_count "$edge_clicks"): $(tr '\n' ';' <"$edge_clicks")"
read -r _ x1 y1 b1 < <(click_line "$clicks" 1)
read -r _ x2 y2 b2 < <(click_line "$clicks" 2)
assert_eq "first click (x y button)" "1200 900 1" "$x1 $y1 $b1"
assert_eq "second click (x y button)" "1200 900 1" "$x2 $y2 $b2"
assert_eq "clicks at the old edge" 0 "$(line_count "$edge_clicks")"
note "passed"
