#!/usr/bin/env bash
# The release archive as a user gets it: builds the package, unpacks it into a scratch folder,
# checks what it holds, then runs the unpacked programs end to end from that folder: Sightrel
# grabs a point over a click recorder, and Idlepress (two still ticks, set through its prompt)
# clicks exactly that pixel. The Windows zip's programs run under Wine.
#
# ctest passes, besides the end-to-end set-up of tests/e2e/lib.sh:
#   RELEASE_BUILD_DIR  the build folder to package   RELEASE_ARCHIVE  the archive it makes
#   RELEASE_NAME       the archive's one top folder
source "$(dirname "$0")/../tests/e2e/lib.sh"

e2e_begin
need_program E2E_RECORDER
for tool in unzip tar; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[[ -n ${RELEASE_BUILD_DIR:-} && -n ${RELEASE_ARCHIVE:-} && -n ${RELEASE_NAME:-} ]] ||
  fail "RELEASE_BUILD_DIR, RELEASE_ARCHIVE and RELEASE_NAME must be set"

# ---- the archive ---------------------------------------------------------------------------
rm -f "$RELEASE_ARCHIVE"
cmake --build "$RELEASE_BUILD_DIR" --target package >"$scratch/package.log" 2>&1 ||
  fail "building the package failed: $(tail -n 20 "$scratch/package.log")"
[[ -f $RELEASE_ARCHIVE ]] || fail "expected the package at $RELEASE_ARCHIVE, there is none"
pass "packaged $(basename "$RELEASE_ARCHIVE") ($(stat -c %s "$RELEASE_ARCHIVE") bytes)"

unpacked=$scratch/unpacked
mkdir -p "$unpacked"
windows_files=(Idlepress.exe LICENSE README.txt Sightrel.exe)
linux_files=(Idlepress LICENSE NOTICE-FLTK.txt README.txt Sightrel add-to-menu.sh desktop/idlepress.desktop.in
             desktop/idlepress.png desktop/sightrel.desktop.in desktop/sightrel.png)
if [[ $E2E_PLATFORM == windows ]]; then
  unzip -q "$RELEASE_ARCHIVE" -d "$unpacked" || fail "unzip could not unpack $RELEASE_ARCHIVE"
  expected=("${windows_files[@]}") other=("${linux_files[@]}")
  sightrel_name=Sightrel.exe idlepress_name=Idlepress.exe
else
  tar -xzf "$RELEASE_ARCHIVE" -C "$unpacked" || fail "tar could not unpack $RELEASE_ARCHIVE"
  expected=("${linux_files[@]}") other=("${windows_files[@]}")
  sightrel_name=Sightrel idlepress_name=Idlepress
fi
assert_eq "the archive's top level" "$RELEASE_NAME" \
  "$(find "$unpacked" -mindepth 1 -maxdepth 1 -printf '%f\n' | tr '\n' ' ' | sed 's/ $//')"
folder=$unpacked/$RELEASE_NAME
assert_eq "the files in $RELEASE_NAME/" "${expected[*]}" \
  "$(cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')"
sightrel=$folder/$sightrel_name
idlepress=$folder/$idlepress_name
without_libraries=() # what the programs are started under, on Linux (below)

# The user's guide names no file the user can't find: each is in this archive, in the other
# platform's (the guide serves both), or is coordinates.dat, which Sightrel writes.
guide=$folder/README.txt
named=$(sed -E 's#<?https?://[^ >]*>?##g' "$guide" |
  grep -oE '[A-Za-z0-9_./-]*[A-Za-z0-9_-]\.(sh|txt|md|png|ico|exe|dat|desktop|in|json|cmake|cpp|hpp)\b' | sed 's#^\./##' | sort -u)
for name in $named; do
  [[ " ${expected[*]} ${other[*]} coordinates.dat " == *[\ /]"$name "* ]] ||
    fail "README.txt names $name, which the archive does not hold"
done
if [[ $E2E_PLATFORM == windows ]]; then
  [[ $(grep -c $'\r$' "$guide") == $(wc -l <"$guide") ]] ||
    fail "README.txt in the zip has lines that don't end in CRLF"
else
  ! grep -q $'\r' "$guide" || fail "README.txt in the .tar.gz has CR line ends"
fi
pass "README.txt names only files in the archive ($(tr '\n' ' ' <<<"$named" | sed 's/ $//'))"

if [[ $E2E_PLATFORM == windows ]]; then
  # The version resource, as UTF-16 strings in the file.
  for program in "$sightrel" "$idlepress"; do
    strings -el "$program" | grep -qx 'Sightrel and Idlepress' ||
      fail "$(basename "$program") carries no product name in a version resource"
    strings -el "$program" | grep -q 'MIT License' ||
      fail "$(basename "$program") carries no licence in its version resource"
  done
  pass "both .exe files carry the version resource"
else
  [[ -x $sightrel && -x $idlepress && -x $folder/add-to-menu.sh ]] ||
    fail "the programs and add-to-menu.sh must be executable after unpacking"
  # The menu entries, written into a scratch home: they name this folder's programs.
  XDG_DATA_HOME=$scratch/data sh "$folder/add-to-menu.sh" >"$scratch/add-to-menu.out" 2>&1 ||
    fail "add-to-menu.sh failed: $(cat "$scratch/add-to-menu.out")"
  for name in sightrel idlepress; do
    entry=$scratch/data/applications/$name.desktop
    program=$folder/${name^}
    grep -qx "Exec=\"$program\"" "$entry" || fail "$entry does not run $program: $(cat "$entry")"
    grep -qx "Icon=$folder/desktop/$name.png" "$entry" || fail "$entry has no icon in $folder"
    if command -v desktop-file-validate >/dev/null; then
      desktop-file-validate "$entry" || fail "desktop-file-validate refused $entry"
    fi
  done
  pass "add-to-menu.sh wrote entries that run the unpacked programs"
  for program in "$sightrel" "$idlepress"; do
    (($(stat -c %s "$program") < 1024 * 1024)) || fail "$(basename "$program") is $(stat -c %s "$program") bytes, 1 MB or more"
  done
  pass "Sightrel $(stat -c %s "$sightrel") bytes, Idlepress $(stat -c %s "$idlepress") bytes: under 1 MB"
  # The programs run as on a desktop without FLTK, the C++ library or libsystemd: each is covered
  # by an empty file in a private mount namespace.
  hidden=$(ldconfig -p | awk '$1 ~ /^lib(fltk[a-z_]*|stdc\+\+|systemd)\.so/ { print $NF }' | xargs -r realpath | sort -u)
  [[ -n $hidden ]] || fail "ldconfig knows no FLTK, libstdc++ or libsystemd to hide"
  without_libraries=(env "HIDDEN=$hidden" unshare --mount)
  ((EUID == 0)) || without_libraries+=(--map-root-user)
  "${without_libraries[@]}" true || skip "unshare can't make a mount namespace here"
  # shellcheck disable=SC2016 # expanded by sh, in the namespace
  without_libraries+=(sh -c 'for library in $HIDDEN; do
    mount --bind /dev/null "$library" && ! [ -s "$library" ] || exit 97; done; exec "$@"' hide)
  note "the programs run below with these out of sight: $(tr '\n' ' ' <<<"$hidden")"
fi

# ---- the unpacked programs, end to end -----------------------------------------------------
start_xvfb
readonly mark_x=432 mark_y=321 rest_x=850 rest_y=650
clicks=$scratch/clicks.log
start_recorder "$clicks" 200 150 800 600 "Target Recorder"
start_wm

move_pointer "$mark_x" "$mark_y"
start_platform_program sightrel "${without_libraries[@]}" "$sightrel"
sightrel_pid=$LAST_PID
window=$(wait_for_window "Mouse Position" 30) ||
  fail "expected the unpacked Sightrel's \"Mouse Position\" window within 30 s, saw none: $(tail -n 3 "$scratch/sightrel.err")"
wait_for_focus "$window" "the unpacked Sightrel's window"
xdotool key Return
wait_for_exit "$sightrel_pid" 10 || fail "Return: expected Sightrel to end within 10 s, it is still running"
assert_eq "Sightrel's exit status" 0 "$EXIT_STATUS"
assert_file_bytes "coordinates.dat beside the unpacked Sightrel" "$folder/coordinates.dat" '0432\r\n0321\r\n'

move_pointer 777 555
start_platform_program idlepress "${without_libraries[@]}" "$idlepress"
window=$(wait_for_window Idlepress 30) ||
  fail "expected the unpacked Idlepress's window within 30 s, saw none: $(tail -n 3 "$scratch/idlepress.err")"
set_idle_limit_by_prompt "$window" 2 "$rest_x" "$rest_y"
wait_for_lines "$clicks" 3 10 ||
  fail "expected 3 clicks within 10 s of the prompt closing, the recorder saw $(line_count "$clicks"): $(tr '\n' ';' <"$clicks")"
read -r _ x1 y1 b1 < <(click_line "$clicks" 1)
read -r _ x2 y2 b2 < <(click_line "$clicks" 2)
read -r _ x3 y3 b3 < <(click_line "$clicks" 3)
assert_eq "first click (x y button)" "$mark_x $mark_y 1" "$x1 $y1 $b1"
assert_eq "second click (x y button)" "$mark_x $mark_y 1" "$x2 $y2 $b2"
assert_eq "third click, at the resting place (x y button)" "$rest_x $rest_y 1" "$x3 $y3 $b3"
note "passed"
