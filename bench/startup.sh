#!/usr/bin/env bash
# Start-up time of both programs: from the fork to the X server mapping the program's window,
# timed by bench/map_watch (CLOCK_MONOTONIC), over N runs; median, min and max.
#
#   bench/startup.sh [runs=20] [linux|windows]
#
# windows runs the .exe files under Wine, in a prefix booted beforehand (its first boot is not
# counted), and is reported apart. One run of each program before the timed ones warms the
# caches, so the figures are for a program started again, not from a cold disk. On linux, last,
# how many relocations the dynamic loader makes before main (one start, LD_DEBUG=statistics).
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case ${1:-} in
  -h | --help) usage; exit 0 ;;
esac
readonly runs=${1:-20}
BENCH_PLATFORM=${2:-linux}
if (($# > 2)) || ! [[ $runs =~ ^[0-9]+$ ]] || ((runs < 1)) || ! [[ $BENCH_PLATFORM =~ ^(linux|windows)$ ]]; then
  usage >&2
  exit 2
fi
# shellcheck source=bench_lib.sh
source "$(dirname "$0")/bench_lib.sh"
# map_watch is a Linux tool: for the Windows programs it comes from the Linux build.
readonly map_watch=${BENCH_MAP_WATCH:-$bench_repo/build/linux/bench/map_watch}

e2e_begin
need_program E2E_IDLEPRESS
need_program E2E_SIGHTREL
[[ -x $map_watch ]] || fail "$map_watch is not built (BENCH_MAP_WATCH names another)"
start_xvfb
boot_wine_prefix

folder=$(app_folder)
idlepress=$(copy_program E2E_IDLEPRESS "$folder") || fail "could not copy Idlepress to $folder"
sightrel=$(copy_program E2E_SIGHTREL "$folder") || fail "could not copy Sightrel to $folder"
printf '0345\r\n0456\r\n' >"$folder/coordinates.dat"
move_pointer 640 620

# time_starts TITLE PROGRAM: prints, for each of RUNS runs, the start-up time and the CPU time
# the program had used by then, in ms, one run a line.
time_starts() {
  local title=$1 program=$2 run line
  local -a command
  mapfile -d '' command < <(platform_command "$program")
  for ((run = 0; run <= runs; run++)); do
    line=$("$map_watch" --title "$title" --timeout 60 -- "${command[@]}" 2>>"$scratch/map_watch.err") ||
      fail "$title: no window mapped in run $run: $(tail -n 3 "$scratch/map_watch.err")"
    wait_for_no_window "$title" 10 || fail "$title: the window of run $run is still there"
    ((run == 0)) && continue # the warm-up run
    sed -E 's/^mapped_ms=([^ ]+) cpu_ms=([^ ]+) .*/\1 \2/' <<<"$line"
  done
}

# summary NAME FILE [COLUMN=1] [PREFIX]: "NAME median min max" of the times in FILE's COLUMN.
summary() {
  cut -d' ' -f"${3:-1}" "$2" | sort -n | awk -v name="$1" -v p="${4:-}" '{ v[NR] = $1 }
    END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
          printf "%s %smedian_ms=%.1f %smin_ms=%.1f %smax_ms=%.1f runs=%d\n", name, p, m, p, v[1], p, v[NR], NR }'
}

load_note
time_starts "Mouse Position" "$sightrel" >"$scratch/sightrel.times"
time_starts Idlepress "$idlepress" >"$scratch/idlepress.times"
load_note
keep_log "$scratch/sightrel.times" "startup-$BENCH_PLATFORM-sightrel.times"
keep_log "$scratch/idlepress.times" "startup-$BENCH_PLATFORM-idlepress.times"

echo
printf 'RESULT startup platform=%s %s\n' "$BENCH_PLATFORM" "$(summary Sightrel "$scratch/sightrel.times")"
printf 'RESULT startup platform=%s %s\n' "$BENCH_PLATFORM" "$(summary Idlepress "$scratch/idlepress.times")"
# The CPU time is the started process's own: under Wine that is only the wine-run.sh script.
if [[ $BENCH_PLATFORM == linux ]]; then
  printf 'RESULT startup_cpu platform=linux %s\n' "$(summary Sightrel "$scratch/sightrel.times" 2 cpu_)"
  printf 'RESULT startup_cpu platform=linux %s\n' "$(summary Idlepress "$scratch/idlepress.times" 2 cpu_)"
fi

# The dynamic loader's share, which full RELRO (-z now) changes: relocations processed before
# main, counted by glibc (LD_DEBUG=statistics) in a start that fails at once for want of a display.
if [[ $BENCH_PLATFORM == linux ]]; then
  for program in "$sightrel" "$idlepress"; do
    LD_DEBUG=statistics DISPLAY=:65535 "$program" 2>&1 >/dev/null |
      awk -v name="$(basename "$program")" '/number of relocations:/ && !/final/ { n = $NF }
        /total startup time in dynamic loader/ { c = $(NF - 1) }
        END { printf "RESULT loader platform=linux %s relocations=%s loader_cycles=%s\n", name, n, c }'
  done
fi
