#!/usr/bin/env bash
# Usage: scripts/gnome-wayland.sh
# Runs the end-to-end test of the programs on GNOME (tests/e2e/gnome_wayland_test.sh): headless
# mutter with Xwayland, PipeWire and WirePlumber on a private session bus, wev as a native
# Wayland window. Builds the linux preset first; prints the test's log and exits with its status
# (77: skipped, a package missing).
#
# It installs nothing. Beside what scripts/install-deps.sh installs:
#   apt-get install --no-install-recommends mutter pipewire wireplumber wev
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0:) ;;
  *) usage >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null && cmake --build --preset linux
export E2E_PLATFORM=linux E2E_WORK=$PWD/build/linux/tests/e2e/work
export E2E_IDLEPRESS=$PWD/build/linux/bin/Idlepress E2E_SIGHTREL=$PWD/build/linux/bin/Sightrel
start=$SECONDS
status=0
bash tests/e2e/gnome_wayland_test.sh || status=$?
echo "Took $((SECONDS - start)) s; status $status."
exit "$status"
