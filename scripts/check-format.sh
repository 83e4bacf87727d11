#!/usr/bin/env bash
# Usage: scripts/check-format.sh [--fix]
# Fails, naming the lines, when a C++ source differs from what clang-format makes of it with the
# repository's .clang-format.  scripts/check-format.sh --fix rewrites them instead.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0: | 1:--fix) ;;
  *) usage >&2; exit 2 ;;
esac
cd "$(dirname "$0")/.."
mapfile -d '' sources < <(find shared clicker capture tests fuzz bench \
  \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' \) -print0 | sort -z)
if [[ ${1:-} == --fix ]]; then
  exec clang-format -i "${sources[@]}"
fi
exec clang-format --dry-run -Werror "${sources[@]}"
