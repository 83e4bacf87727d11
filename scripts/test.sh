#!/usr/bin/env bash
# Usage: scripts/test.sh
# Sets up a fresh Debian 12 machine and runs the whole test suite: unit tests natively, with
# AddressSanitizer and UBSan, and as Windows programs under Wine; end-to-end tests of the real
# programs on a private X server, natively and under Wine; brief fuzzing runs.
# SKIP_INSTALL=1 skips the package install on a machine that already has it.
#
# The presets run in two lanes side by side, each building and then testing its presets in turn:
# most of an end-to-end test is waiting for a program's own timer, which leaves the processor to
# the other lane's compiler. Each lane's output goes to build/test-<lane>.log and is shown when
# the lane ends.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0:) ;;
  *) usage >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."

if [[ ${SKIP_INSTALL:-0} != 1 ]]; then
  scripts/install-deps.sh
fi

# lane PRESET...: configure, build and test each preset in turn; the failed ones are named in
# build/test-<first preset>.failed.
lane() {
  local preset failed=()
  for preset in "$@"; do
    echo "=== $preset: configure and build"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
      failed+=("$preset")
      continue
    fi
    echo "=== $preset: test"
    if ! ctest --preset "$preset"; then failed+=("$preset"); fi
  done
  printf '%s\n' "${failed[@]}" >"build/test-$1.failed"
}

mkdir -p build
rm -f build/test-*.failed
start=$SECONDS
lanes=("linux sanitize" "windows fuzz")
pids=()
for presets in "${lanes[@]}"; do
  # shellcheck disable=SC2086  # the presets are words
  lane $presets >"build/test-${presets%% *}.log" 2>&1 &
  pids+=($!)
done

failed=()
for i in "${!lanes[@]}"; do
  wait "${pids[$i]}" || true
  first=${lanes[$i]%% *}
  echo "################ lane: ${lanes[$i]} (build/test-$first.log)"
  cat "build/test-$first.log"
  if [[ ! -f build/test-$first.failed ]]; then
    failed+=("${lanes[$i]}")
    continue
  fi
  while read -r preset; do
    [[ -n $preset ]] && failed+=("$preset")
  done <"build/test-$first.failed"
done

echo "Took $(((SECONDS - start) / 60)) min $(((SECONDS - start) % 60)) s after the install."
if ((${#failed[@]})); then
  echo "Failed: ${failed[*]}"
  exit 1
fi
echo "All test presets passed: ${lanes[*]}"
