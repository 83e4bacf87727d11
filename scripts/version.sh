#!/usr/bin/env bash
# Usage: scripts/version.sh
# Prints the version of this checkout and the commit it names, on one line: "VERSION COMMIT".
#   1.1.0                      the commit tagged v1.1.0, with no change since
#   1.1.0-3-g0123456789ab      3 commits after the tag v1.1.0, at commit 0123456789ab
#   1.1.0-g0123456789ab        no tag v* before this commit: the number is project()'s VERSION in
#                              CMakeLists.txt, the release being prepared
#   ...-dirty                  the checkout has changes not committed
# COMMIT is the full commit id. SOURCE_VERSION and SOURCE_COMMIT, when both are set, are printed
# as they are: a copy of the sources without git history (scripts/release.sh --verify builds one)
# gets its version that way. The build (CMakeLists.txt) and scripts/release.sh take the version
# from here, so the archives' names, README.txt, the .exe version resource and the Linux menu
# entries agree.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0:) ;;
  *) usage >&2; exit 2 ;;
esac
cd "$(dirname "$script")/.."

if [[ -n ${SOURCE_VERSION:-} && -n ${SOURCE_COMMIT:-} ]]; then
  echo "$SOURCE_VERSION $SOURCE_COMMIT"
  exit 0
fi
project_version=$(sed -nE 's/^project\([A-Za-z]+ VERSION ([0-9]+\.[0-9]+\.[0-9]+).*/\1/p' CMakeLists.txt)
[[ -n $project_version ]] || { echo "version.sh: no project(... VERSION X.Y.Z in CMakeLists.txt" >&2; exit 1; }
if ! commit=$(git rev-parse --verify -q HEAD 2>/dev/null); then
  echo "version.sh: not a git checkout and SOURCE_VERSION, SOURCE_COMMIT unset: version $project_version-unknown" >&2
  echo "$project_version-unknown unknown"
  exit 0
fi
# A fixed length of the abbreviated commit: git's own default grows with the number of objects,
# and two clones of one commit must print the same.
if described=$(git describe --tags --match 'v[0-9]*' --abbrev=12 --dirty 2>/dev/null); then
  version=${described#v}
else
  version=$project_version-g$(git rev-parse --short=12 HEAD)
  [[ -z $(git status --porcelain --untracked-files=no 2>/dev/null) ]] || version+=-dirty
fi
echo "$version $commit"
