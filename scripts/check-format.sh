#!/usr/bin/env bash
# Fails, naming the lines, when a C++ source differs from what clang-format makes of it with the
# repository's .clang-format.  scripts/check-format.sh --fix rewrites them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -d '' sources < <(find shared clicker capture tests fuzz bench \
  \( -name '*.cpp' -o -name '*.hpp' -o -name '*.h' \) -print0 | sort -z)
if [[ ${1:-} == --fix ]]; then
  exec clang-format -i "${sources[@]}"
fi
exec clang-format --dry-run -Werror "${sources[@]}"
