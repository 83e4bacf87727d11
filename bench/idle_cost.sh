#!/usr/bin/env bash
# What it costs to leave Idlepress running, against a peer doing the same job the usual way:
# a bash loop asking xdotool for the pointer once a second (bench/peer_clicker.sh).
#
#   bench/idle_cost.sh [seconds=60]
#
# Both run for the same SECONDS at the same time, each on its own private Xvfb with a still
# pointer (so each sees a pointer at rest and clicks every 18 s; neither disturbs the other).
# Reported side by side: CPU time (user+sys; for the peer with every process it started), the
# share of one core, peak RSS, context switches (wake-ups) and, for the peer, processes started.
# Linux programs only: the figures come from /proc and getrusage.
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
readonly run_usage=$BENCH_BUILD/bench/run_usage peer=$bench_repo/bench/peer_clicker.sh
readonly target_x=345 target_y=456 rest_x=640 rest_y=620

e2e_begin
need_program E2E_IDLEPRESS
[[ -x $run_usage ]] || fail "$run_usage is not built (cmake --build $BENCH_BUILD --target run_usage)"

# Two X servers: Idlepress on the first, the peer on the second.
start_xvfb
readonly idle_display=$DISPLAY
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$scratch/peer.display" \
  >"$scratch/peer-xvfb.txt" 2>&1 &
e2e_pids+=("$!")
poll_until 20 grep -q '^[0-9][0-9]*$' "$scratch/peer.display" || fail "the peer's Xvfb did not start"
peer_display=":$(head -n 1 "$scratch/peer.display")"
readonly peer_display
DISPLAY=$peer_display poll_until 10 eval 'xdotool getmouselocation >/dev/null 2>&1' ||
  fail "the peer's X server on $peer_display answers no client"
move_pointer "$rest_x" "$rest_y"
DISPLAY=$peer_display move_pointer "$rest_x" "$rest_y"

folder=$(app_folder)
idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"
printf '%04d\r\n%04d\r\n' "$target_x" "$target_y" >"$folder/coordinates.dat"

# usage_field FILE NAME: a number from run_usage's report line.
usage_field() {
  grep '^usage ' "$1" | tr ' ' '\n' | sed -n "s/^$2=//p"
}

load_note
note "running Idlepress on $idle_display and the peer on $peer_display for $seconds s"
DISPLAY=$idle_display "$run_usage" --pid-file "$scratch/idlepress.pid" -- "$idlepress" \
  2>"$scratch/idlepress.usage" &
idle_runner=$!
e2e_pids+=("$idle_runner")
DISPLAY=$peer_display "$run_usage" -- bash "$peer" "$seconds" "$target_x" "$target_y" \
  2>"$scratch/peer.usage" &
peer_runner=$!
e2e_pids+=("$peer_runner")
started_ms=$(now_ms)

wait_for_file "$scratch/idlepress.pid" 5 || fail "run_usage did not start Idlepress"
idle_pid=$(<"$scratch/idlepress.pid")
wait_for_window Idlepress 20 >/dev/null || fail "expected Idlepress's window within 20 s, saw none"
note "Idlepress's window showed $(($(now_ms) - started_ms)) ms after the start"

# The steady state: from 5 s in (start-up over) to the end. Plain sleeps here on purpose: the
# measured period is the point, and a polling loop would load the machine being measured.
sleep $((5 - ($(now_ms) - started_ms) / 1000)) 2>/dev/null || true
read -r a_ns _ _ _ a_vol a_invol < <(proc_sample "$idle_pid") || fail "Idlepress ended early"
a_ms=$(now_ms)
sleep "$(((started_ms + seconds * 1000 - a_ms) / 1000)).$(printf '%03d' $(((started_ms + seconds * 1000 - a_ms) % 1000)))"
read -r b_ns b_user b_sys idle_hwm b_vol b_invol < <(proc_sample "$idle_pid") ||
  fail "Idlepress ended before the end of the run"
b_ms=$(now_ms)
kill -TERM "$idle_pid"
wait "$idle_runner"
wait_for_exit "$peer_runner" 30 || fail "the peer loop did not end within 30 s of its time"
load_note

# xdotool's own peak, for one call like those the peer makes every second.
DISPLAY=$peer_display "$run_usage" -- xdotool getmouselocation >/dev/null 2>"$scratch/xdotool.usage"

cp "$scratch/idlepress.usage" "$scratch/peer.usage" "$scratch/xdotool.usage" "$BENCH_OUT/" 2>/dev/null ||
  { mkdir -p "$BENCH_OUT" && cp "$scratch"/*.usage "$BENCH_OUT/"; }

idle_wall=$(usage_field "$scratch/idlepress.usage" wall_ms)
idle_cpu_us=$(($(usage_field "$scratch/idlepress.usage" user_us) + $(usage_field "$scratch/idlepress.usage" sys_us)))
idle_switches=$(($(usage_field "$scratch/idlepress.usage" voluntary_switches) + $(usage_field "$scratch/idlepress.usage" involuntary_switches)))
peer_wall=$(usage_field "$scratch/peer.usage" wall_ms)
peer_cpu_us=$(($(usage_field "$scratch/peer.usage" user_us) + $(usage_field "$scratch/peer.usage" sys_us)))
peer_tree_switches=$(($(usage_field "$scratch/peer.usage" voluntary_switches) + $(usage_field "$scratch/peer.usage" involuntary_switches)))
peer_tree_rss=$(usage_field "$scratch/peer.usage" max_rss_kb)
peer_line=$(grep '^peer ' "$scratch/peer.usage") || fail "the peer printed no report: $(cat "$scratch/peer.usage")"
peer_field() { tr ' ' '\n' <<<"$peer_line" | sed -n "s/^$1=//p"; }
shell_hwm=$(peer_field shell_vmhwm_kb)
shell_switches=$(($(peer_field shell_voluntary_switches) + $(peer_field shell_involuntary_switches)))
forks=$(peer_field forks)
xdotool_rss=$(usage_field "$scratch/xdotool.usage" max_rss_kb)
steady_us=$(((b_ns - a_ns) / 1000))
steady_ms=$((b_ms - a_ms))
steady_switches=$((b_vol + b_invol - a_vol - a_invol))

# percent_of_core CPU_US WALL_MS: the share of one core, in % with three decimals.
percent_of_core() { awk -v c="$1" -v w="$2" 'BEGIN { printf "%.3f %%", c / 10 / w }'; }
# ratio A B: A / B with one decimal.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.1f", a / b; else print "inf" }'; }
milliseconds() { awk -v u="$1" 'BEGIN { printf "%.1f ms", u / 1000 }'; }
# The steady-state comparison: CPU per second of the run, Idlepress after start-up against the peer.
peer_per_s=$(awk -v c="$peer_cpu_us" -v w="$peer_wall" 'BEGIN { print c / w }')
steady_per_s=$(awk -v c="$steady_us" -v w="$steady_ms" 'BEGIN { print c / w }')

echo
printf 'RESULT idle_cost seconds=%s\n' "$seconds"
row() { printf '%-40s %16s %24s %7s\n' "$@"; }
row "" "Idlepress" "peer (bash + xdotool)" "ratio"
row "CPU user+sys, whole run" "$(milliseconds "$idle_cpu_us")" "$(milliseconds "$peer_cpu_us")" \
  "$(ratio "$peer_cpu_us" "$idle_cpu_us")"
row "  share of one core" "$(percent_of_core "$idle_cpu_us" "$idle_wall")" \
  "$(percent_of_core "$peer_cpu_us" "$peer_wall")" ""
row "CPU after start-up (5 s on, $((steady_ms / 1000)) s)" "$(milliseconds "$steady_us")" "" ""
row "  share of one core" "$(percent_of_core "$steady_us" "$steady_ms")" \
  "$(percent_of_core "$peer_cpu_us" "$peer_wall")" "$(ratio "$peer_per_s" "$steady_per_s")"
row "peak RSS (VmHWM)" "$idle_hwm KB" "$shell_hwm KB (shell)" ""
row "  largest process the peer started" "" "$peer_tree_rss KB" ""
row "  one xdotool call alone" "" "$xdotool_rss KB" ""
row "context switches, whole run" "$idle_switches" "$peer_tree_switches" \
  "$(ratio "$peer_tree_switches" "$idle_switches")"
row "  the peer's shell alone" "" "$shell_switches" ""
row "  Idlepress after start-up" "$steady_switches" "" ""
row "processes started" 0 "$forks" ""
row "wall time" "$idle_wall ms" "$peer_wall ms" ""
note "Idlepress's user/sys split: $b_user/$b_sys ticks of 10 ms; raw reports in $BENCH_OUT"

cpu_ratio_met=$(awk -v p="$peer_cpu_us" -v i="$idle_cpu_us" 'BEGIN { print (i * 20 < p) ? "met" : "MISSED" }')
core_met=$(awk -v c="$idle_cpu_us" -v w="$idle_wall" 'BEGIN { print (c / 10 / w < 0.05) ? "met" : "MISSED" }')
rss_met=$( ((idle_hwm < 10240)) && echo met || echo MISSED)
note "targets, whole run: under 1/20 of the peer's CPU ($cpu_ratio_met), under 0.05 % of one core ($core_met), RSS under 10 MB ($rss_met)"
