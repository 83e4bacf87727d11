# shellcheck shell=bash
# Helpers for the fault scripts; sourced, not run.

SKIP=77  # ctest reads this exit status as "skipped" (SKIP_RETURN_CODE)

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

skip() {
  echo "SKIPPED: $*"
  exit "$SKIP"
}

# A fresh folder every user may enter, removed when the script ends: $scratch.
make_scratch() {
  scratch=$(mktemp -d)
  chmod 755 "$scratch"
  trap 'chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
}

# Whether commands can run as a user without root's rights to every file.
can_be_unprivileged() {
  [[ $(id -u) -ne 0 ]] || setpriv --reuid=65534 --regid=65534 --clear-groups -- true 2>/dev/null
}

# Runs "$@" as such a user: nobody (65534), through setpriv, when we are root.
as_unprivileged() {
  if [[ $(id -u) -eq 0 ]]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups -- "$@"
  else
    "$@"
  fi
}

# Runs "$@" in a mount namespace of its own, where it may mount a tmpfs; its mounts end with it.
# Returns $SKIP where no such namespace can be made.
in_mount_namespace() {
  if [[ $(id -u) -eq 0 ]] && unshare --mount --propagation private true 2>/dev/null; then
    unshare --mount --propagation private "$@"
  elif unshare --user --map-root-user --mount true 2>/dev/null; then
    unshare --user --map-root-user --mount "$@"
  else
    return "$SKIP"
  fi
}

# The file a grab into <folder> holding "0001", "0002" leaves.
OLD_BYTES=$'0001\r\n0002\r\n'

# expect_refused_grab <folder> <reason> <command...>: the command, a grab into <folder>, must
# exit 1 with a message naming <folder>/coordinates.dat and <reason>, and leave the old file as
# it was with no temporary file beside it.
expect_refused_grab() {
  local folder=$1 reason=$2
  shift 2
  local status=0 message
  message=$("$@" 2>&1 >/dev/null) || status=$?
  echo "the grab said: $message"
  [[ $status -eq 1 ]] || fail "the grab exited with $status, not 1"
  [[ $message == *"$folder/coordinates.dat"* ]] || fail "the message does not name the file"
  [[ $message == *"$reason"* ]] || fail "the message does not say \"$reason\""
  [[ $(cat "$folder/coordinates.dat"; echo .) == "$OLD_BYTES." ]] ||
    fail "the old coordinates.dat changed"
  ! compgen -G "$folder/coordinates.dat.*.tmp" >/dev/null || fail "a temporary file was left behind"
}
