#!/usr/bin/env bash
# A grab onto a full disk (a 64 KiB tmpfs, filled up first) fails with a message naming the file
# and the reason, and leaves the old coordinates.dat as it was and no temporary file; with room
# again, the same grab succeeds.
# usage: full_disk.sh <grab_writer>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$here/common.sh"

if [[ ${1:-} == --in-namespace ]]; then
  writer=$2 folder=$3
  mount -t tmpfs -o size=64k tmpfs "$folder" 2>/dev/null || skip "a tmpfs can't be mounted here"
  "$writer" "$folder" 0001 0002
  dd if=/dev/zero of="$folder/filler" bs=4096 2>/dev/null || true  # stops at "no space left"
  [[ $(stat -f -c %a "$folder") -eq 0 ]] || fail "the disk is not full"
  expect_refused_grab "$folder" "No space left on device" "$writer" "$folder" 0007 0042
  rm "$folder/filler"
  "$writer" "$folder" 0007 0042 || fail "with room again the grab still failed"
  [[ $(cat "$folder/coordinates.dat"; echo .) == $'0007\r\n0042\r\n.' ]] ||
    fail "with room again the grab wrote the wrong file"
  exit 0
fi

writer=$1
make_scratch
mkdir "$scratch/disk"
status=0
in_mount_namespace bash "$0" --in-namespace "$writer" "$scratch/disk" || status=$?
[[ $status -ne $SKIP ]] || skip "no mount namespace with a tmpfs can be made here"
exit "$status"
