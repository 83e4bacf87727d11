#!/usr/bin/env bash
# Usage: packaging/release_test.sh   (run by ctest as release.<platform>.unpacked_programs)
# The release archive as a user gets it: builds the package, unpacks it into a scratch folder,
# checks what it holds, then runs the unpacked programs end to end from that folder: Sightrel
# grabs a point over a click recorder, and Idlepress (two still ticks, set through its prompt)
# clicks exactly that pixel. The Windows zip's programs run under Wine.
#
# ctest passes, besides the end-to-end set-up of tests/e2e/lib.sh:
#   RELEASE_BUILD_DIR  the build folder to package   RELEASE_ARCHIVE  the archive it makes
#   RELEASE_NAME       the archive's one top folder
#   RELEASE_VERSION    the version the build carries  RELEASE_COMMIT   the commit it names
case ${1:-} in
  -h | --help) sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$0"; exit 0 ;;
esac
source "$(dirname "$0")/../tests/e2e/lib.sh"

e2e_begin
need_program E2E_RECORDER
for tool in unzip tar; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[[ -n ${RELEASE_BUILD_DIR:-} && -n ${RELEASE_ARCHIVE:-} && -n ${RELEASE_NAME:-} && -n ${RELEASE_VERSION:-} &&
  -n ${RELEASE_COMMIT:-} ]] || fail "RELEASE_BUILD_DIR, RELEASE_ARCHIVE, RELEASE_NAME, RELEASE_VERSION and RELEASE_COMMIT must be set"
[[ $(basename "$RELEASE_ARCHIVE") == SightrelIdlepress-"$RELEASE_VERSION"-* ]] ||
  fail "the archive's name $(basename "$RELEASE_ARCHIVE") does not start with SightrelIdlepress-$RELEASE_VERSION-"

# ---- the archive ---------------------------------------------------------------------------
rm -f "$RELEASE_ARCHIVE"
cmake --build "$RELEASE_BUILD_DIR" --target package >"$scratch/package.log" 2>&1 ||
  fail "building the package failed: $(tail -n 20 "$scratch/package.log")"
[[ -f $RELEASE_ARCHIVE ]] || fail "expected the package at $RELEASE_ARCHIVE, there is none"
pass "packaged $(basename "$RELEASE_ARCHIVE") ($(stat -c %s "$RELEASE_ARCHIVE") bytes)"

unpacked=$scratch/unpacked
mkdir -p "$unpacked"
windows_files=(Idlepress.exe LICENSE NOTICE-runtime.txt README.txt Sightrel.exe)
linux_files=(Idlepress LICENSE NOTICE-FLTK.txt README.txt Sightrel add-to-menu.sh desktop/idlepress.desktop.in
             desktop/idlepress.png desktop/sightrel.desktop.in desktop/sightrel.png)
if [[ $E2E_PLATFORM == windows ]]; then
  unzip -q "$RELEASE_ARCHIVE" -d "$unpacked" || fail "unzip could not unpack $RELEASE_ARCHIVE"
  expected=("${windows_files[@]}")
  # Words that fit only the other platform: its programs, its scripts and its desktop.
  other_words='\.sh\b|\./|Linux|X11|Wayland|glibc|Xwayland|FLTK|tar\.gz'
  sightrel_name=Sightrel.exe idlepress_name=Idlepress.exe
else
  tar -xzf "$RELEASE_ARCHIVE" -C "$unpacked" || fail "tar could not unpack $RELEASE_ARCHIVE"
  expected=("${linux_files[@]}")
  other_words='\.exe\b|Windows|SmartScreen|certutil|PowerShell|C:\\|\.zip\b|Wine'
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

# The user's guide is this platform's, names the version and the commit, and names no file the
# user can't find: each is in this archive, or is coordinates.dat, which Sightrel writes.
guide=$folder/README.txt
grep -qF "Version $RELEASE_VERSION, built from commit $RELEASE_COMMIT." "$guide" ||
  fail "README.txt does not name version $RELEASE_VERSION and commit $RELEASE_COMMIT: $(head -n 5 "$guide")"
if words=$(grep -noE "$other_words" "$guide"); then
  fail "README.txt speaks of the other platform: $(tr '\n' ' ' <<<"$words")"
fi
named=$(sed -E 's#<?https?://[^ >]*>?##g' "$guide" |
  grep -oE '[A-Za-z0-9_./-]*[A-Za-z0-9_-]\.(sh|txt|md|png|ico|exe|dat|desktop|in|json|cmake|cpp|hpp)\b' | sed 's#^\./##' | sort -u)
for name in $named; do
  [[ " ${expected[*]} coordinates.dat " == *[\ /]"$name "* ]] ||
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
    strings -el "$program" | grep -qx "$RELEASE_VERSION" ||
      fail "$(basename "$program")'s version resource does not hold the version $RELEASE_VERSION"
    strings -el "$program" | grep -qx "Built from commit $RELEASE_COMMIT" ||
      fail "$(basename "$program")'s version resource does not name the commit $RELEASE_COMMIT"
  done
  pass "both .exe files carry the version resource, version $RELEASE_VERSION"
  # The notices of what is linked into the .exe files: winpthreads and the MinGW-w64 runtime.
  for notice in 'mingw-w64-libraries/winpthreads/\*' 'Copyright: 2009-2016 the mingw-w64 project' 'GCC Runtime Library Exception'; do
    grep -q "$notice" "$folder/NOTICE-runtime.txt" || fail "NOTICE-runtime.txt lacks \"$notice\""
  done
  pass "NOTICE-runtime.txt carries the winpthreads, MinGW-w64 and GCC runtime notices"
else
  [[ -x $sightrel && -x $idlepress && -x $folder/add-to-menu.sh ]] ||
    fail "the programs and add-to-menu.sh must be executable after unpacking"
  command -v desktop-file-validate >/dev/null ||
    fail "desktop-file-validate is not installed (package desktop-file-utils, scripts/install-deps.sh): the menu entries can't be checked"
  # The menu entries, written into a scratch home: they name the programs of the folder they were
  # written from, this one and a copy whose name holds each character a desktop entry escapes.
  # Their Exec, Icon and TryExec, read back as the freedesktop.org desktop entry format says (the value's
  # \\ first, then the quoted argument's \", \`, \$, \\ and the doubled %), are the paths.
  value() { sed -n "s/^$1=//p" "$entry" | sed 's/\\\\/\\/g'; } # value KEY: with \\ read back
  odd=$scratch/"my apps 100% é \"q\" 'q' \$x \`b\` back\\slash"
  cp -a "$folder" "$odd"
  for place in "$folder" "$odd"; do
    rm -rf "$scratch/data"
    XDG_DATA_HOME=$scratch/data sh "$place/add-to-menu.sh" >"$scratch/add-to-menu.out" 2>&1 ||
      fail "add-to-menu.sh in $place failed: $(cat "$scratch/add-to-menu.out")"
    for name in sightrel idlepress; do
      entry=$scratch/data/applications/$name.desktop
      desktop-file-validate "$entry" || fail "desktop-file-validate refused $entry, written from $place: $(cat "$entry")"
      assert_eq "$name's Exec, read back" "\"$place/${name^}\"" \
        "$(value Exec | sed -e 's/\\\([\\"`$]\)/\1/g' -e 's/%%/%/g')"
      assert_eq "$name's TryExec, read back" "$place/${name^}" "$(value TryExec)"
      assert_eq "$name's Icon, read back" "$place/desktop/$name.png" "$(value Icon)"
    done
    grep -q "^Comment=.* (version $RELEASE_VERSION)\$" "$entry" ||
      fail "$entry does not name version $RELEASE_VERSION in its Comment: $(grep ^Comment "$entry")"
  done
  rm -rf "$odd"
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
