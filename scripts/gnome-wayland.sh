#!/usr/bin/env bash
# Usage: scripts/gnome-wayland.sh
# Runs the end-to-end tests of native Wayland windows under mutter (GNOME's compositor) instead of
# sway: mutter headless with Xwayland, PipeWire and WirePlumber on a private session bus, wev as
# the native window, and tests/e2e/hand/gnome_hand.py, a remote-desktop session of the tests'
# own, as the user's mouse and keyboard. One case stops WirePlumber. Builds the linux preset
# first; prints each test's result and the time taken.
#
# It installs nothing. Beside what scripts/install-deps.sh installs:
#   apt-get install --no-install-recommends mutter pipewire wireplumber
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0:) ;;
  *) usage >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
command -v mutter >/dev/null || { echo "mutter is not installed (package mutter)" >&2; exit 1; }

cmake --preset linux >/dev/null && cmake --build --preset linux
log=build/gnome-wayland.log
start=$SECONDS
status=0
E2E_COMPOSITOR=mutter ctest --preset linux -R '^e2e\.linux\.(idlepress_native|sightrel_native)' \
  --output-on-failure >"$log" 2>&1 || status=1
grep -E 'Test +#|tests passed' "$log" | sed 's/^/  /'
grep -q 'Skipped' "$log" && echo "Some were skipped: see $log."
echo "Took $((SECONDS - start)) s; the tests' output is in $log."
exit "$status"
