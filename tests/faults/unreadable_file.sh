#!/usr/bin/env bash
# A coordinates.dat its user may not read stops the start-up with a message naming the file and
# the reason. Root reads every file, so this runs as an unprivileged user: the start-up through
# clicker_start, and the unit test that root skips, which must pass here rather than skip; with
# it the leftovers' test, since only here is there a writer (init) the grab can't ask about, and
# the folder without write permission, which root closes another way.
# usage: unreadable_file.sh <clicker_start> <unit_tests>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$here/common.sh"

can_be_unprivileged || skip "setpriv can't switch to an unprivileged user here"
make_scratch
# Copies the unprivileged user can run wherever the build tree is.
cp "$1" "$scratch/clicker_start"
cp "$2" "$scratch/unit_tests"
folder=$scratch/program
mkdir "$folder"
printf '0123\r\n0456\r\n' >"$folder/coordinates.dat"

chmod 000 "$folder/coordinates.dat"
status=0
message=$(as_unprivileged "$scratch/clicker_start" "$folder" 2>&1 >/dev/null) || status=$?
echo "the start-up said: $message"
[[ $status -eq 1 ]] || fail "the start-up exited with $status, not 1"
[[ $message == *"$folder/coordinates.dat"* ]] || fail "the message does not name the file"
[[ $message == *"Permission denied"* ]] || fail "the message does not say why"

chmod 644 "$folder/coordinates.dat"
[[ $(as_unprivileged "$scratch/clicker_start" "$folder") == "target 0123 0456" ]] ||
  fail "the same user can't start from the readable file"

mkdir -m 1777 "$scratch/tmp"
output=$(TMPDIR=$scratch/tmp as_unprivileged "$scratch/unit_tests" \
  --gtest_filter=HostileFileTest.FileWithoutReadPermission:CoordinateFile.GrabRemovesLeftovers*:CoordinateFile.FolderThatTakesNoNewFile* \
  2>&1) || fail "$output"
echo "$output" | grep -F '[  PASSED  ] 3 tests' || fail "the unit tests did not pass: $output"
if echo "$output" | grep -F 'SKIPPED'; then fail "the unit test skipped as an unprivileged user"; fi
