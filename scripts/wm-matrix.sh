#!/usr/bin/env bash
# Usage: scripts/wm-matrix.sh [WM...]
# Runs the end-to-end tests that depend on a window manager (the prompt, Escape, the message
# boxes, the keyboard once the user's program closes, the X on a second workspace, Sightrel's
# grab) under each window manager named, natively: openbox,
# xfwm4, mutter, metacity, kwin, fluxbox, icewm and none (no window manager) when none is named.
# With none, only the prompt's tests. Builds the linux preset first; a manager that isn't
# installed is reported as skipped.
#
# It installs nothing. Beside what scripts/install-deps.sh installs (openbox, fluxbox, icewm):
#   apt-get install --no-install-recommends xfwm4 mutter metacity kwin-x11 kwin-style-breeze
# (mutter, metacity and kwin are run in a private session bus: dbus-daemon).
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
all=(openbox xfwm4 mutter metacity kwin fluxbox icewm none)
case ${1:-} in
  -h | --help) usage; exit 0 ;;
esac
for wm in "$@"; do
  [[ " ${all[*]} " == *" $wm "* ]] || { usage >&2; exit 2; }
done
(($#)) && wms=("$@") || wms=("${all[@]}")
cd "$(dirname "$0")/.."

cmake --preset linux >/dev/null && cmake --build --preset linux
tests='^e2e\.linux\.(idlepress_escape|idlepress_prompt|idlepress_bad_file\.missing|sightrel_grab|grab_then_click)$'
start=$SECONDS
declare -A result
for wm in "${wms[@]}"; do
  echo "=== $wm"
  log=build/wm-matrix-$wm.log
  began=$SECONDS
  # With none the keyboard follows the pointer, and nothing gives it to a program as it opens:
  # only the prompt's tests, where Idlepress hands it over itself.
  regex=$tests
  [[ $wm == none ]] && regex='^e2e\.linux\.(idlepress_escape|idlepress_prompt)$'
  if E2E_WM=$wm ctest --preset linux -R "$regex" --output-on-failure >"$log" 2>&1; then
    if grep -q 'Skipped' "$log"; then result[$wm]="skipped (see $log)"; else result[$wm]=passed; fi
  else
    result[$wm]="FAILED (see $log)"
  fi
  result[$wm]+=" in $((SECONDS - began)) s"
  grep -E 'Test +#|tests passed' "$log" | sed 's/^/  /'
done
echo "Took $((SECONDS - start)) s."
failed=0
for wm in "${wms[@]}"; do
  printf '%-9s %s\n' "$wm" "${result[$wm]}"
  [[ ${result[$wm]} == FAILED* ]] && failed=1
done
exit "$failed"
