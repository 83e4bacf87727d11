#!/usr/bin/env bash
# Usage: scripts/fuzz.sh [seconds] [target...]
# Builds the libFuzzer targets (fuzz preset) and runs each (or the ones named: coordinate_reader,
# to_coordinate, interval_entry), one after the other, for the given number of seconds (default
# 60), then prints how many inputs each one ran.
# Each target works on its own corpus in the build tree, seeded from fuzz/corpus/<target>/ and kept
# between runs; the committed seeds are never changed. Inputs that break a target are saved in
# <build>/fuzz/findings/. FUZZ_BUILD_DIR picks another build tree (default build/fuzz).
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
for argument in "$@"; do
  case $argument in
    -h | --help) usage; exit 0 ;;
    -*) usage >&2; exit 2 ;;
  esac
done
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  usage >&2
  exit 2
fi
shift $(($# > 0 ? 1 : 0))
build=${FUZZ_BUILD_DIR:-build/fuzz}

targets=("$@")
if ((${#targets[@]} == 0)); then
  for source in fuzz/*_fuzz.cpp; do
    name=$(basename "$source" .cpp)
    targets+=("${name%_fuzz}")
  done
fi
for target in "${targets[@]}"; do
  if [[ ! -f fuzz/${target}_fuzz.cpp ]]; then
    echo "no fuzz target $target (fuzz/${target}_fuzz.cpp)" >&2
    exit 2
  fi
done

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/%/_fuzz}"

mkdir -p "$build/fuzz/findings"
summary=()
failed=()
for target in "${targets[@]}"; do
  corpus=$build/fuzz/work/$target
  log=$build/fuzz/work/$target.log
  mkdir -p "$corpus"
  cp -n fuzz/corpus/"$target"/* "$corpus"/
  echo "=== $target: ${seconds} s"
  status=0
  started=$(date +%s)
  "$build/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$build/fuzz/findings/$target-" "$corpus" >"$log" 2>&1 || status=$?
  elapsed=$(($(date +%s) - started))
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  line="$target: ${executions:-?} executions in ${elapsed} s, ${coverage:-cov: ?}, $(find "$corpus" -type f | wc -l) inputs in the corpus"
  if ((status != 0)); then
    line+=" -- FAILED (status $status), see $log"
    failed+=("$target")
    grep -E '^(broken|==[0-9]+==ERROR|SUMMARY)|Test unit written' "$log" || true
  fi
  echo "$line"
  summary+=("$line")
done

echo
printf '%s\n' "${summary[@]}"
if ((${#failed[@]})); then
  echo "Failed: ${failed[*]}; the inputs are in $build/fuzz/findings/"
  exit 1
fi
