#!/usr/bin/env bash
# A grab into a folder that can't be written fails with a message naming the file and the reason,
# and leaves the old coordinates.dat as it was and no temporary file. Tried two ways: on a
# read-only mount, which stops root too, and as an unprivileged user on a folder without write
# permission. A file bind-mounted over coordinates.dat, which can't be renamed over, is written in
# place. As root, another user's file in a shared folder stays its owner's (refused or written in
# place). Each is skipped where this machine can't set it up, the test if all are.
# usage: read_only_folder.sh <grab_writer>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$here/common.sh"

if [[ ${1:-} == --in-namespace ]]; then
  writer=$2 folder=$3
  mount -t tmpfs -o size=1m tmpfs "$folder" 2>/dev/null || skip "a tmpfs can't be mounted here"
  "$writer" "$folder" 0001 0002
  echo "--- a file bind-mounted over coordinates.dat: written in place"
  echo old >"$folder/elsewhere" && mount --bind "$folder/elsewhere" "$folder/coordinates.dat"
  "$writer" "$folder" 0007 0042 || fail "the grab failed"
  umount "$folder/coordinates.dat"
  [[ $(cat "$folder/elsewhere") == $'0007\r\n0042\r' ]] || fail "the mounted file missed the grab"
  echo "--- a read-only mount"
  mount -o remount,ro "$folder" || fail "the tmpfs can't be made read-only"
  expect_refused_grab "$folder" "Read-only file system" "$writer" "$folder" 0007 0042
  exit 0
fi

writer=$1
make_scratch
passed=0

echo "--- on a tmpfs of the test's own"
mkdir "$scratch/mounted"
status=0
in_mount_namespace bash "$0" --in-namespace "$writer" "$scratch/mounted" || status=$?
case $status in
  0) passed=$((passed + 1)) ;;
  "$SKIP") echo "skipped: no mount namespace with a tmpfs can be made here" ;;
  *) exit "$status" ;;
esac

echo "--- as an unprivileged user, on a folder without write permission"
if can_be_unprivileged; then
  cp "$writer" "$scratch/grab_writer"
  mkdir "$scratch/locked"
  "$writer" "$scratch/locked" 0001 0002
  chmod 555 "$scratch/locked"
  expect_refused_grab "$scratch/locked" "Permission denied" \
    as_unprivileged "$scratch/grab_writer" "$scratch/locked" 0007 0042
  passed=$((passed + 1))
else
  echo "skipped: setpriv can't switch to an unprivileged user here"
fi

echo "--- another user's file, in a folder every user may write"
if [[ $(id -u) -eq 0 ]] && can_be_unprivileged; then
  mkdir -m 777 "$scratch/shared" && file=$scratch/shared/coordinates.dat
  "$writer" "$scratch/shared" 0001 0002 && chown 4242:4242 "$file" && chmod 600 "$file"
  expect_refused_grab "$scratch/shared" "can't be written in place: Permission denied" \
    as_unprivileged "$scratch/grab_writer" "$scratch/shared" 0007 0042
  chmod 666 "$file"  # nobody may write it: in place; then root replaces it
  as_unprivileged "$scratch/grab_writer" "$scratch/shared" 0007 0666 || fail "nobody's grab failed"
  chmod 600 "$file"
  "$writer" "$scratch/shared" 0007 0600 || fail "root's grab failed"
  [[ $(stat -c '%u:%g %a' "$file") == "4242:4242 600" ]] || fail "the file's owner or mode changed"
  [[ $(setpriv --reuid=4242 --regid=4242 --clear-groups -- cat "$file") == $'0007\r\n0600\r' ]] ||
    fail "its owner doesn't read the grab"
  passed=$((passed + 1))
fi

((passed > 0)) || skip "neither a read-only mount nor an unprivileged user is available"
echo "passed $passed of 3 ways"
