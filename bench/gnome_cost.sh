#!/usr/bin/env bash
# What GNOME's native route costs, on headless mutter (tests/e2e/lib.sh, E2E_COMPOSITOR=mutter):
#
#   bench/gnome_cost.sh [sequences=3] [seconds=60]
#
# 1. Idlepress clicks SEQUENCES sequences over wev while a bus monitor stamps every call on the
#    session bus: per sequence, how long the tick before the clicks spends opening the cast
#    (CreateSession to Start's answer), when the streams' node came, and each press's time after
#    the tick it was due on; and how far apart wev got the presses. The monitor slows every call.
# 2. Two Idlepress wait side by side for SECONDS, the user's hand moving every 4 s (so neither
#    clicks): one on the native route, one made to fall back to X11 at start (no PipeWire).
#    From 5 s on: CPU time, share of one core, wake-ups (voluntary context switches) a second.
# Needs what scripts/gnome-wayland.sh names; the linux build (cmake --build --preset linux).
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case ${1:-} in
  -h | --help) usage; exit 0 ;;
esac
readonly sequences=${1:-3} seconds=${2:-60}
if (($# > 2)) || ! [[ $sequences =~ ^[1-9][0-9]*$ && $seconds =~ ^[0-9]+$ ]] || ((seconds < 10)); then
  usage >&2
  exit 2
fi
BENCH_PLATFORM=linux # read by bench_lib.sh
# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"
export E2E_COMPOSITOR=mutter E2E_HAND=$bench_repo/tests/e2e/hand/gnome_hand.py

e2e_begin
need_program E2E_IDLEPRESS
start_wayland_session
start_native_window
start_hand
readonly target_x=345 target_y=456 rest_x=900 rest_y=700
folder=$(session_app_folder) || fail "could not make the programs' folder"
idlepress=$(session_copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress"
printf '%04d\r\n%04d\r\n' "$target_x" "$target_y" >"$folder/coordinates.dat"
hand move "$rest_x" "$rest_y"
load_note

# ---- 1. the sequences ----------------------------------------------------------------------
start_session_program monitor dbus-monitor --session
let_time_pass 1
start_session_program idlepress "$idlepress"
idlepress_pid=$LAST_PID
poll_until $((18 * sequences + 10)) eval '(($(native_presses | wc -l) >= 3 * sequences))' ||
  fail "expected $((3 * sequences)) presses in wev, saw $(native_presses | wc -l)"
let_time_pass 1
kill -TERM "$idlepress_pid"
keep_log "$scratch/monitor.out" gnome-bus-monitor.txt
echo
printf 'RESULT gnome_cost sequences=%s\n' "$sequences"
# Per sequence, in ms: the open's length on the tick before (CreateSession to Start's answer),
# the node's arrival after CreateSession, and each click's press after the tick it was due on
# (the ticks keep a beat: the tick before, plus a second for each click).
awk 'function stamp() { match($0, /time=[0-9.]+/); return substr($0, RSTART + 5, RLENGTH - 5) * 1000 }
     /^method call time=|^signal time=/ { now = stamp() }
     /member=GetIdletime/ { tick = now }
     /interface=org.gnome.Mutter.RemoteDesktop; member=CreateSession/ { create = now; before = tick; n++; click = 0 }
     /member=PipeWireStreamAdded/ && create { node = now - create }
     /RemoteDesktop.Session; member=Start/ { match($0, / serial=[0-9]+/); start = substr($0, RSTART + 8, RLENGTH - 8)
         match($0, /sender=[^ ]+/); starter = substr($0, RSTART + 7, RLENGTH - 7) }
     /^method return/ && index($0, "destination=" starter " ") && $0 ~ ("reply_serial=" start "$") {
         open = stamp() - create }
     /member=NotifyPointerButton/ { button = 1; next }
     button && /int32/ { next }
     button && /boolean true/ { button = 0; click++; late[click] = now - before - 1000 * click
         if (click == 3) printf "sequence %d: cast opened in %.1f ms (its node %.1f ms after CreateSession) on the tick before; each press after its tick: %.1f, %.1f, %.1f ms\n", n, open, node, late[1], late[2], late[3] }
     button && /boolean false/ { button = 0 }' "$scratch/monitor.out"
# wev's presses by mutter's own clock (the "time:" of each event), one a serial.
mapfile -t presses < <(awk '/wl_pointer\] button:.*state: 1/ { s = $0; sub(/.*serial: /, "", s); sub(/;.*/, "", s)
    if (!(s in seen)) { seen[s] = 1; t = $0; sub(/.*time: /, "", t); sub(/;.*/, "", t); print t } }' "$scratch/wev.txt")
for ((s = 0; s < sequences; s++)); do
  t1=${presses[3 * s]} t2=${presses[3 * s + 1]} t3=${presses[3 * s + 2]}
  echo "sequence $((s + 1)): wev's presses $((t2 - t1)) ms and $((t3 - t2)) ms apart"
done

# ---- 2. waiting ----------------------------------------------------------------------------
start_session_program native "$idlepress"
native_pid=$LAST_PID
start_session_program x11 env PIPEWIRE_REMOTE=none "$idlepress"
x11_pid=$LAST_PID
# The hand moves every 4 s, so that neither counts up to 15 s; the pointer rests over wev.
(for ((i = 0; i < seconds / 4 + 2; i++)); do
  echo "move $((rest_x + i % 2)) $rest_y" >&"$hand_fd"
  sleep 4
done) &
e2e_pids+=("$!")
sleep 5
read -r n_ns _ _ _ n_vol _ < <(proc_sample "$native_pid") || fail "the native Idlepress ended early"
read -r x_ns _ _ _ x_vol _ < <(proc_sample "$x11_pid") || fail "the X11 Idlepress ended early"
a_ms=$(now_ms)
sleep $((seconds - 5))
read -r n2_ns _ _ _ n2_vol _ < <(proc_sample "$native_pid") || fail "the native Idlepress ended early"
read -r x2_ns _ _ _ x2_vol _ < <(proc_sample "$x11_pid") || fail "the X11 Idlepress ended early"
b_ms=$(now_ms)
grep -q "PipeWire isn't running" "$scratch/x11.err" || fail "the second Idlepress didn't fall back to X11"
assert_eq "presses while waiting" "$((3 * sequences))" "$(native_presses | wc -l)"
load_note
report() {  # NAME CPU_NS SWITCHES
  awk -v name="$1" -v c="$2" -v s="$3" -v w="$((b_ms - a_ms))" 'BEGIN {
    printf "%-28s CPU %.1f ms in %.1f s, %.4f %% of a core, %.2f wake-ups a second\n",
      name, c / 1e6, w / 1000, c / 1e4 / w, s * 1000 / w }'
}
report "waiting, GNOME's route" $((n2_ns - n_ns)) $((n2_vol - n_vol))
report "waiting, X11 (fallback)" $((x2_ns - x_ns)) $((x2_vol - x_vol))
