#!/usr/bin/env bash
# What Idlepress costs while it waits on a native Wayland route, against the same build on X11,
# in one run: Idlepress on a headless sway (virtual pointer, idle notification) and Idlepress on
# Xvfb (XTest), side by side for the same SECONDS with a still pointer, so each clicks every 17 s.
#
#   bench/wayland_idle_cost.sh [seconds=60]
#
# Reported for each, from 5 s in (start-up over) to the end: CPU time (user+sys, from
# /proc/<pid>/schedstat), its share of one core, context switches per second (each wake-up is
# one), and peak RSS. The native route must not wake more often than X11: once a tick, and a
# few times more on the ticks that click.
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case ${1:-} in
  -h | --help) usage; exit 0 ;;
esac
readonly seconds=${1:-60}
if (($# > 1)) || ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 10)); then
  usage >&2
  exit 2
fi
BENCH_PLATFORM=linux # read by bench_lib.sh
# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"
export E2E_HAND=$BENCH_BUILD/tests/e2e/wayland_hand

e2e_begin
need_program E2E_IDLEPRESS
start_xvfb
readonly x11_display=$DISPLAY
move_pointer 640 620
x11_folder=$(app_folder)/x11
x11_idlepress=$(copy_program E2E_IDLEPRESS "$x11_folder") || fail "could not copy Idlepress"
printf '0345\r\n0456\r\n' >"$x11_folder/coordinates.dat"

start_wayland_session
start_hand
hand move 640 620
folder=$(session_app_folder) || fail "could not make the programs' folder"
idlepress=$(session_copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress"
printf '0345\r\n0456\r\n' >"$folder/coordinates.dat"

load_note
note "running Idlepress on sway ($WAYLAND_DISPLAY) and on Xvfb ($x11_display) for $seconds s"
start_session_program native "$idlepress"
native_pid=$LAST_PID
DISPLAY=$x11_display WAYLAND_DISPLAY='' start_program x11 "$x11_idlepress"
x11_pid=$LAST_PID
started_ms=$(now_ms)
# Plain sleeps on purpose: the measured period is the point, and polling would load the machine.
sleep 5
read -r na_ns _ _ _ na_vol na_invol < <(proc_sample "$native_pid") || fail "Idlepress on sway ended early"
read -r xa_ns _ _ _ xa_vol xa_invol < <(proc_sample "$x11_pid") || fail "Idlepress on X11 ended early"
a_ms=$(now_ms)
sleep $((seconds - 5))
read -r nb_ns _ _ native_hwm nb_vol nb_invol < <(proc_sample "$native_pid") || fail "Idlepress on sway ended"
read -r xb_ns _ _ x11_hwm xb_vol xb_invol < <(proc_sample "$x11_pid") || fail "Idlepress on X11 ended"
b_ms=$(now_ms)
grep -q "virtual pointer" "$scratch/native.err" || fail "Idlepress on sway took no native route: $(cat "$scratch/native.err")"
load_note

window=$((b_ms - a_ms))
row() { printf '%-34s %18s %18s\n' "$@"; }
share() { awk -v n="$1" -v w="$window" 'BEGIN { printf "%.3f %%", n / 1e4 / w }'; }
per_s() { awk -v n="$1" -v w="$window" 'BEGIN { printf "%.2f", n * 1000 / w }'; }
echo
printf 'RESULT wayland_idle_cost seconds=%s steady_ms=%s\n' "$seconds" "$window"
row "" "sway (native)" "Xvfb (X11)"
row "CPU user+sys after start-up" "$(((nb_ns - na_ns) / 1000000)) ms" "$(((xb_ns - xa_ns) / 1000000)) ms"
row "  share of one core" "$(share $((nb_ns - na_ns)))" "$(share $((xb_ns - xa_ns)))"
row "context switches a second" "$(per_s $((nb_vol + nb_invol - na_vol - na_invol)))" \
  "$(per_s $((xb_vol + xb_invol - xa_vol - xa_invol)))"
row "peak RSS (VmHWM)" "$native_hwm KB" "$x11_hwm KB"
