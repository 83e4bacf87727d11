#!/usr/bin/env bash
# Usage: scripts/kde-wayland.sh
# Runs the end-to-end tests of native Wayland windows under KWin instead of sway: kwin_wayland
# headless (--virtual, with Xwayland), wev as the native window, the tests' hand as the user's
# mouse and keyboard, given fake input by a desktop entry of its own. The programs get theirs from
# add-to-menu.sh, as a user's would; one case starts Idlepress without it. Builds the linux preset
# first; prints each test's result and the time taken.
#
# It installs nothing. Beside what scripts/install-deps.sh installs:
#   apt-get install --no-install-recommends kwin-wayland
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0:) ;;
  *) usage >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
command -v kwin_wayland >/dev/null || { echo "kwin_wayland is not installed (package kwin-wayland)" >&2; exit 1; }

cmake --preset linux >/dev/null && cmake --build --preset linux
log=build/kde-wayland.log
start=$SECONDS
status=0
E2E_COMPOSITOR=kwin ctest --preset linux -R '^e2e\.linux\.(idlepress_native|sightrel_native)' \
  --output-on-failure >"$log" 2>&1 || status=1
grep -E 'Test +#|tests passed' "$log" | sed 's/^/  /'
grep -q 'Skipped' "$log" && echo "Some were skipped: see $log."
echo "Took $((SECONDS - start)) s; the tests' output is in $log."
exit "$status"
