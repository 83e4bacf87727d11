# shellcheck shell=bash
# Set-up shared by the benchmark scripts: finds a build of the programs and reuses the
# end-to-end helpers (tests/e2e/lib.sh: private Xvfb, windows, pointer, click recorder).
#
#   BENCH_PLATFORM   linux (native programs, the default) or windows (the .exe files under Wine)
#   BENCH_BUILD      the build folder to take the programs from; build/<platform> by default
#   BENCH_WINEPREFIX the Wine prefix for windows runs; build/bench-wineprefix by default
#   BENCH_OUT        where raw logs of a run are kept; build/bench-results by default
# The caller sets BENCH_PLATFORM before sourcing this file.

bench_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BENCH_PLATFORM=${BENCH_PLATFORM:-linux}
BENCH_BUILD=${BENCH_BUILD:-$bench_repo/build/$BENCH_PLATFORM}
BENCH_OUT=${BENCH_OUT:-$bench_repo/build/bench-results}

export E2E_PLATFORM=$BENCH_PLATFORM
export E2E_WORK=${TMPDIR:-/tmp}
export E2E_RECORDER E2E_IDLEPRESS E2E_SIGHTREL E2E_PROBE
if [[ $BENCH_PLATFORM == windows ]]; then
  export WINEPREFIX=${BENCH_WINEPREFIX:-$bench_repo/build/bench-wineprefix}
  export E2E_WINE_RUN=$bench_repo/scripts/wine-run.sh
  E2E_RECORDER=$BENCH_BUILD/tests/e2e/click_recorder.exe
  E2E_IDLEPRESS=$BENCH_BUILD/bin/Idlepress.exe
  E2E_SIGHTREL=$BENCH_BUILD/bin/Sightrel.exe
else
  E2E_RECORDER=$BENCH_BUILD/tests/e2e/click_recorder
  E2E_IDLEPRESS=$BENCH_BUILD/bin/Idlepress
  E2E_SIGHTREL=$BENCH_BUILD/bin/Sightrel
fi

# shellcheck source=../tests/e2e/lib.sh
source "$bench_repo/tests/e2e/lib.sh"

# proc_sample PID: "cpu_ns user_ticks sys_ticks vmhwm_kb voluntary involuntary".
proc_sample() {
  local cpu_ns user sys hwm="" voluntary="" involuntary="" key value
  read -r cpu_ns _ <"/proc/$1/schedstat" || return 1
  read -r user sys < <(sed 's/.*) //' "/proc/$1/stat" | awk '{print $12, $13}')
  while read -r key value _; do
    case $key in
      VmHWM:) hwm=$value ;;
      voluntary_ctxt_switches:) voluntary=$value ;;
      nonvoluntary_ctxt_switches:) involuntary=$value ;;
    esac
  done <"/proc/$1/status"
  echo "$cpu_ns $user $sys $hwm $voluntary $involuntary"
}

# load_note: the machine's load when a measurement starts, so a busy machine shows in the result.
load_note() {
  note "load average $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
}

# keep_log FILE NAME: copies a raw log into BENCH_OUT as NAME.
keep_log() {
  mkdir -p "$BENCH_OUT" && cp "$1" "$BENCH_OUT/$2" && note "raw log kept in $BENCH_OUT/$2"
}

# boot_wine_prefix: creates the Wine prefix now, so no measurement includes its first boot.
boot_wine_prefix() {
  [[ $BENCH_PLATFORM == windows ]] || return 0
  "$E2E_WINE_RUN" cmd /c exit >/dev/null 2>&1 || true
}
