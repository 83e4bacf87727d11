#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and runs the whole test suite: unit tests natively, with
# AddressSanitizer and UBSan, and as Windows programs under Wine; end-to-end tests of the real
# programs on a private X server, natively and under Wine; brief fuzzing runs.
# SKIP_INSTALL=1 skips the package install on a machine that already has it.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${SKIP_INSTALL:-0} != 1 ]]; then
  scripts/install-deps.sh
fi

presets=(linux sanitize windows fuzz)
failed=()
for preset in "${presets[@]}"; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
for preset in "${presets[@]}"; do
  echo "=== $preset: test"
  if ! ctest --preset "$preset"; then failed+=("$preset"); fi
done

if ((${#failed[@]})); then
  echo "Failed: ${failed[*]}"
  exit 1
fi
echo "All test presets passed: ${presets[*]}"
