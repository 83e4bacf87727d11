#!/usr/bin/env bash
# Usage: scripts/wine-run.sh PROGRAM.exe [ARGUMENT...]   or   scripts/wine-run.sh --prepare
# Runs a Windows program under Wine in a throwaway prefix kept in the build tree (or $WINEPREFIX).
# A Wine prefix is the folder that holds one simulated Windows installation (its C: drive and
# registry). wine-run.sh --prepare only makes the prefix, if it isn't there, and waits until Wine
# is idle.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case ${1:-} in
  -h | --help) usage; exit 0 ;;
  "" | -*) [[ ${1:-} == --prepare ]] || { usage >&2; exit 2; } ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wineprefix}
export WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
if [[ ! -d $WINEPREFIX/drive_c ]]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  # Two test runs may race to create the prefix: let one do it.
  exec 9>"$WINEPREFIX.lock"
  flock 9
  [[ -d $WINEPREFIX/drive_c ]] || wineboot --init >/dev/null 2>&1 || true
  flock -u 9
fi
# Debian's fonts-wine holds Wine's own fonts (Marlett draws the caption's buttons), but this Wine
# doesn't look where Debian puts them: the prefix gets copies, or a close box shows as an "r".
fonts=$WINEPREFIX/drive_c/windows/Fonts
if [[ -d $fonts && ! -f $fonts/marlett.ttf ]] && compgen -G "/usr/share/wine/fonts/*.ttf" >/dev/null; then
  cp -n /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
fi
if [[ ${1:-} == --prepare ]]; then
  wineserver -w  # the prefix's first start-up finishes in the background
  exit 0
fi
exec wine "$@"
