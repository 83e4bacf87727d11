#!/usr/bin/env bash
# Usage: packaging/pack.sh BUILD_DIR SOURCE_DIR TOP_FOLDER ARCHIVE
# Packs a release archive that is the same, byte for byte, whenever and wherever the same commit
# is built: the `package` target runs it (see packaging.cmake).
#
# Installs the build into a scratch folder (stripped), then gives every entry the commit's time
# (SOURCE_DATE_EPOCH, taken from git when unset) and fixed permissions, and packs the entries in
# name order: a .zip with no extra fields (no owner, no local time zone), or a .tar.gz owned by
# root with no access or change times and a gzip header without name or time.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  4:*) ;;
  *) usage >&2; exit 2 ;;
esac
build=$(realpath "$1") source=$2 top=$3 archive=$(realpath -m "$4")
readonly build source top archive

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  if ! SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct 2>/dev/null); then
    # Not a git checkout: zip keeps no time before 1980, so that is the fixed time.
    SOURCE_DATE_EPOCH=315532800
    echo "pack.sh: no git history in $source and SOURCE_DATE_EPOCH unset: entries dated 1980-01-01" >&2
  fi
fi
[[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] || { echo "pack.sh: SOURCE_DATE_EPOCH must be whole seconds" >&2; exit 1; }
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C

stage=$build/packaging/stage
rm -rf "$stage"
mkdir -p "$stage" "$(dirname "$archive")"
cmake --install "$build" --prefix "$stage/$top" --strip >"$build/packaging/install.log"
chmod -R u=rwX,go=rX "$stage/$top"
find "$stage/$top" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

rm -f "$archive"
case $archive in
  *.zip)
    # -X: no extra fields; -D: no folder entries (unzip makes the folders).
    (cd "$stage" && find "$top" -type f | sort | zip -X -D -9 -q "$archive.tmp" -@)
    ;;
  *.tar.gz)
    (cd "$stage" && tar --create --format=posix --sort=name --mtime="@$SOURCE_DATE_EPOCH" \
      --owner=0 --group=0 --numeric-owner --pax-option=exthdr.name=%d/PaxHeaders/%f,delete=atime,delete=ctime \
      "$top") | gzip -9 -n >"$archive.tmp"
    ;;
  *)
    echo "pack.sh: $archive: expected a .zip or .tar.gz name" >&2
    exit 1
    ;;
esac
mv "$archive.tmp" "$archive"
echo "pack.sh: $archive ($(stat -c %s "$archive") bytes, entries dated $(date -u -d "@$SOURCE_DATE_EPOCH" '+%F %T') UTC)"
