#!/usr/bin/env bash
# A grab into a folder that can't be written fails with a message naming the file and the reason,
# and leaves the old coordinates.dat as it was and no temporary file; where the user may write the
# file itself, it is written in place. Tried on a read-only mount, which stops root too; as an
# unprivileged user on a folder without write permission (refused for root's file, written in
# place when the file is writable, and a write in place cut short by a file size limit says what
# the file now holds); on a file bind-mounted over coordinates.dat, which can't be renamed over;
# and as root, another user's file in a shared folder stays its owner's (refused or written in
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
  echo "--- a file bind-mounted over coordinates.dat"
  printf '0003\r\n0004\r\n' >"$folder/elsewhere.dat"
  mount --bind "$folder/elsewhere.dat" "$folder/coordinates.dat" || fail "the bind mount failed"
  "$writer" "$folder" 0007 0042 || fail "the grab over a bind-mounted file failed"
  [[ $(cat "$folder/elsewhere.dat"; echo .) == $'0007\r\n0042\r\n.' ]] ||
    fail "the mounted file did not get the grab"
  ! compgen -G "$folder/coordinates.dat.*.tmp" >/dev/null || fail "a temporary file was left behind"
  umount "$folder/coordinates.dat"
  echo "--- on a read-only mount"
  mount -o remount,ro "$folder" || fail "the tmpfs can't be made read-only"
  expect_refused_grab "$folder" "Read-only file system" "$writer" "$folder" 0007 0042
  exit 0
fi

writer=$1
make_scratch
passed=0

echo "--- on a mount of the test's own: bind-mounted file, read-only mount"
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
  chmod 666 "$scratch/locked/coordinates.dat"  # as vim would, the grab writes it in place
  as_unprivileged "$scratch/grab_writer" "$scratch/locked" 0007 0042 ||
    fail "the grab of a file the user may write failed in a folder they may not"
  [[ $(cat "$scratch/locked/coordinates.dat"; echo .) == $'0007\r\n0042\r\n.' ]] ||
    fail "the file written in place holds the wrong bytes"
  # Cut short after its first 1024 bytes, the write in place says what the file holds.
  status=0
  message=$(ulimit -f 1 && trap '' XFSZ && as_unprivileged "$scratch/grab_writer" \
    "$scratch/locked" "$(printf '1%.0s' {1..1500})" 2 2>&1) || status=$?
  echo "the grab said: $message"
  [[ $status -eq 1 ]] || fail "the cut-short grab exited with $status, not 1"
  [[ $message == *"File too large"*"may now hold part of the new point"* ]] ||
    fail "the message does not say what the file now holds"
  [[ $message != *"left as it is"* ]] || fail "the message says the file was left as it is"
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
echo "passed $passed of 3 parts"
