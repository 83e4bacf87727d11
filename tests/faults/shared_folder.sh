#!/usr/bin/env bash
# Programs in a sticky folder every user may write (mode 1777, like /tmp): another user must not
# turn a grab or the start-up against the one who runs them. User 2000 plants a link to user
# 1000's ~/.bashrc, beside which lies an hour-old ~/.bashrc.tmp; 1000's grab refuses the link and
# leaves both. A link 1000 made is followed. A coordinates.dat that 2000 owns, or that others may
# write, stops 1000's Idlepress with a message naming the file, its owner and the fix. Needs root
# to act as the two users.
# usage: shared_folder.sh <grab_writer> <clicker_start>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$here/common.sh"

[[ $(id -u) -eq 0 ]] && can_be_unprivileged || skip "acting as two users needs root and setpriv"
as_user() {
  local uid=$1
  shift
  setpriv --reuid="$uid" --regid="$uid" --clear-groups -- "$@"
}
make_scratch
cp "$1" "$scratch/grab_writer"
cp "$2" "$scratch/clicker_start"
home=$scratch/home && mkdir -m 700 "$home" && chown 1000:1000 "$home"
as_user 1000 bash -c "printf 'alias ls=ls\n' >'$home/.bashrc' && printf 'kept\n' >'$home/.bashrc.tmp'"
touch -d '1 hour ago' "$home/.bashrc.tmp"
shared=$scratch/shared && mkdir -m 1777 "$shared"
file=$shared/coordinates.dat

echo "--- a link another user planted"
as_user 2000 ln -s "$home/.bashrc" "$file"
status=0
message=$(as_user 1000 "$scratch/grab_writer" "$shared" 0005 0006 2>&1) || status=$?
echo "the grab said: $message"
[[ $status -eq 1 ]] || fail "the grab exited with $status, not 1"
[[ $message == *"$file"*"belongs to user"*"2000"*"every user may write"* ]] ||
  fail "the message does not say whose link it is and why it is refused"
[[ $(cat "$home/.bashrc") == "alias ls=ls" ]] || fail "the victim's .bashrc changed"
[[ -e $home/.bashrc.tmp ]] || fail "the victim's .bashrc.tmp was deleted"
[[ -L $file ]] || fail "the link was replaced"

echo "--- a link of the user's own"
rm "$file"
as_user 1000 ln -s "$home/.bashrc" "$file"
as_user 1000 "$scratch/grab_writer" "$shared" 0005 0006 || fail "the user's own link was refused"
[[ $(cat "$home/.bashrc"; echo .) == $'0005\r\n0006\r\n.' ]] || fail "the grab missed the file"
[[ -e $home/.bashrc.tmp ]] || fail "the grab's clean-up deleted .bashrc.tmp"
rm "$file"

echo "--- another user's file, read by Idlepress"
as_user 2000 "$scratch/grab_writer" "$shared" 0100 0200
expect_refused_start() {
  local owner=$1 fix=$2 status=0 message
  message=$(as_user 1000 "$scratch/clicker_start" "$shared" 2>&1 >/dev/null) || status=$?
  echo "the start-up said: $message"
  [[ $status -eq 1 ]] || fail "the start-up exited with $status, not 1"
  [[ $message == *"$file"*"belongs to user"*"$owner"*"$fix"* ]] ||
    fail "the message does not name the file, its owner ($owner) and the fix ($fix)"
}
expect_refused_start 2000 "Delete it"
chmod 666 "$file"
chown 1000:1000 "$file"
expect_refused_start 1000 "chmod go-w"
chmod 644 "$file"
[[ $(as_user 1000 "$scratch/clicker_start" "$shared") == "target 0100 0200" ]] ||
  fail "the user's own file was refused"
