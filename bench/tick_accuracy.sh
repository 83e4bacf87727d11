#!/usr/bin/env bash
# Tick accuracy of the real Idlepress, seen from outside as clicks.
#
#   bench/tick_accuracy.sh [ticks=1000] [linux|windows]
#
# With the still-ticks limit set to 1 through the prompt, a pointer resting over a click recorder
# gets one click per tick (target, target, resting place, over and over). The recorder stamps
# each click; tick i's ideal time is the first click's time plus i seconds. Reported: the drift
# (last click against first + (N-1) s) and the worst single deviation from the ideal time.
# The run takes about N seconds.
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case ${1:-} in
  -h | --help) usage; exit 0 ;;
esac
readonly ticks=${1:-1000}
BENCH_PLATFORM=${2:-linux}
if (($# > 2)) || ! [[ $ticks =~ ^[0-9]+$ ]] || ((ticks < 2)) || ! [[ $BENCH_PLATFORM =~ ^(linux|windows)$ ]]; then
  usage >&2
  exit 2
fi
# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb
boot_wine_prefix

readonly target_x=345 target_y=456 rest_x=640 rest_y=620
clicks=$scratch/clicks.log
start_recorder "$clicks" 200 150 800 600 "Target Recorder"
# Under Wine the prompt gets the keyboard from a window manager (natively Idlepress hands it over
# itself where none runs).
[[ $E2E_PLATFORM == windows ]] && start_wm

folder=$(app_folder)
idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"
printf '%04d\r\n%04d\r\n' "$target_x" "$target_y" >"$folder/coordinates.dat"

move_pointer 777 555
start_platform_program idlepress "$idlepress"
window=$(wait_for_window Idlepress 30) || fail "expected Idlepress's window within 30 s, saw none"
set_idle_limit_by_prompt "$window" 1 "$rest_x" "$rest_y"
load_note
note "waiting for $ticks clicks (about $ticks s)"

# Checked once a second, not every 20 ms as the tests poll: the run is long, and the watcher's own
# load should not be what delays a tick.
deadline_ms=$(($(now_ms) + (ticks + 60) * 1000))
while (($(line_count "$clicks") < ticks)); do
  (($(now_ms) < deadline_ms)) ||
    fail "expected $ticks clicks within $((ticks + 60)) s, the recorder saw $(line_count "$clicks")"
  sleep 1
done
load_note
keep_log "$clicks" "tick_accuracy-$BENCH_PLATFORM-$ticks.log"

# Every click is where the sequence puts it: target, target, resting place, repeated.
awk -v tx=$target_x -v ty=$target_y -v rx=$rest_x -v ry=$rest_y -v n="$ticks" '
  NR > n { exit }
  {
    step = (NR - 1) % 3
    want = step < 2 ? tx " " ty : rx " " ry
    if ($2 " " $3 != want || $4 != 1) { printf "click %d at %s %s button %s, expected %s\n", NR, $2, $3, $4, want; bad = 1 }
  }
  END { exit bad }' "$clicks" || fail "clicks out of the target, target, resting place order"

read -r _ drift worst worst_at min_gap max_gap over_20 < <(
  head -n "$ticks" "$clicks" | awk '
    NR == 1 { first = $1 }
    {
      deviation = $1 - (first + (NR - 1) * 1000)
      if (deviation > 20 || deviation < -20) over_20++
      if (deviation < 0 ? -deviation > worst : deviation > worst) { worst = deviation < 0 ? -deviation : deviation; worst_at = NR }
      if (NR > 1) { gap = $1 - last; if (min == "" || gap < min) min = gap; if (gap > max) max = gap }
      last = $1; drift = deviation
    }
    END { print first, drift, worst + 0, worst_at + 0, min, max, over_20 + 0 }')

printf '\nRESULT tick_accuracy platform=%s ticks=%s drift_ms=%s worst_deviation_ms=%s (tick %s) over_20ms=%s gap_min_ms=%s gap_max_ms=%s\n' \
  "$BENCH_PLATFORM" "$ticks" "$drift" "$worst" "$worst_at" "$over_20" "$min_gap" "$max_gap"
within_drift=$(( (drift < 0 ? -drift : drift) < 50 ))
within_worst=$((worst <= 20))
note "targets: drift under 50 ms ($([[ $within_drift == 1 ]] && echo met || echo MISSED)), each click within 20 ms ($([[ $within_worst == 1 ]] && echo met || echo MISSED))"
