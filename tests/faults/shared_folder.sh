#!/usr/bin/env bash
# Programs in a sticky folder every user may write (mode 1777, like /tmp), as root acting as two
# users. User 2000 plants a link to user 1000's ~/.bashrc, beside an hour-old ~/.bashrc.tmp:
# 1000's grab refuses it, naming its owner, and leaves both files; a link of 1000's own is
# followed. A coordinates.dat of 2000's stops 1000's Idlepress, naming the file and its owner.
# usage: shared_folder.sh <grab_writer> <clicker_start>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$here/common.sh"

{ [[ $(id -u) -eq 0 ]] && can_be_unprivileged; } || skip "acting as two users needs root and setpriv"
as() { setpriv --reuid="$1" --regid="$1" --clear-groups -- "${@:2}"; }
make_scratch
cp "$1" "$2" "$scratch/"
home=$scratch/home shared=$scratch/shared
mkdir -m 700 "$home" && chown 1000:1000 "$home" && mkdir -m 1777 "$shared"
as 1000 bash -c "echo mine >'$home/.bashrc' && echo mine >'$home/.bashrc.tmp'"
touch -d '1 hour ago' "$home/.bashrc.tmp"

as 2000 ln -s "$home/.bashrc" "$shared/coordinates.dat"
status=0
message=$(as 1000 "$scratch/grab_writer" "$shared" 5 6 2>&1) || status=$?
echo "the grab said: $message"
[[ $status -eq 1 && $message == *"$shared/coordinates.dat"*"belongs to user"*"2000"* ]] ||
  fail "the planted link was not refused, naming its owner (status $status)"
[[ $(cat "$home/.bashrc" "$home/.bashrc.tmp") == $'mine\nmine' ]] || fail "the victim's files changed"

rm "$shared/coordinates.dat" && as 1000 ln -s "$home/.bashrc" "$shared/coordinates.dat"
as 1000 "$scratch/grab_writer" "$shared" 5 6 || fail "the user's own link was refused"
[[ $(cat "$home/.bashrc" "$home/.bashrc.tmp") == $'5\r\n6\r\nmine' ]] || fail "the grab missed"

rm "$shared/coordinates.dat" && as 2000 "$scratch/grab_writer" "$shared" 1 2
status=0
message=$(as 1000 "$scratch/clicker_start" "$shared" 2>&1) || status=$?
echo "the start-up said: $message"
[[ $status -eq 1 && $message == *"$shared/coordinates.dat\" belongs to user"*"2000"* ]] ||
  fail "another user's file was not refused, naming it and its owner (status $status)"
