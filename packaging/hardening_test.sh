#!/usr/bin/env bash
# Usage: packaging/hardening_test.sh linux|windows COMPILE_COMMANDS_JSON SOURCE_DIR PROGRAM...
# (run by ctest as release.<platform>.hardening)
# The release programs carry their hardening: read from the built files, and from the compile
# commands where a file cannot show it.
#
# Linux (readelf): PIE, full RELRO (a GNU_RELRO segment and BIND_NOW), the stack protector's
# __stack_chk_fail imported, and _FORTIFY_SOURCE seen in the imports: an fprintf-family call
# becomes its __*_chk form whenever the source is fortified, so a plain printf-family import,
# or no __*_chk import at all, means a translation unit went without it.
# Windows (objdump -p; HARDENING_OBJDUMP names the MinGW one): ASLR with high entropy and DEP in
# DllCharacteristics; a load configuration whose DependentLoadFlags keep the imports to System32
# (0x800), and SetDefaultDllDirectories looked up by name, not imported (so it may be missing);
# only DLLs that Windows itself has (those Wine provides), under 400 KB.
# Both: every translation unit of the programs was compiled optimised with
# -fstack-protector-strong, -D_FORTIFY_SOURCE=2 and -Werror=format-security, which the
# binaries cannot tell apart from weaker settings (a stripped .exe shows none of them).
case ${1:-} in
  -h | --help) sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$0"; exit 0 ;;
esac
# shellcheck source=SCRIPTDIR/../tests/e2e/lib.sh
source "$(dirname "$0")/../tests/e2e/lib.sh"
E2E_PLATFORM=${1:?linux or windows}
readonly compile_commands=${2:?compile_commands.json} source_dir=${3:?source folder}
shift 3
(($#)) || fail "no program given"

# ---- the compile commands ------------------------------------------------------------------
[[ -f $compile_commands ]] || fail "$compile_commands is missing (CMAKE_EXPORT_COMPILE_COMMANDS)"
lacking=$(python3 - "$compile_commands" "$source_dir" <<'EOF'
import json, os, re, shlex, sys
commands, source = sys.argv[1], os.path.realpath(sys.argv[2])
program_dirs = [os.path.join(source, d) + os.sep for d in ("shared", "clicker", "capture")]
wanted = ["-fstack-protector-strong", "-D_FORTIFY_SOURCE=2", "-Werror=format-security"]
checked = 0
for entry in json.load(open(commands)):
    file = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
    if not any(file.startswith(d) for d in program_dirs):
        continue
    checked += 1
    words = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    missing = [flag for flag in wanted if flag not in words]
    optimised = [w for w in words if re.fullmatch(r"-O[1-3sz]?|-Ofast", w)]
    if not optimised or optimised[-1] == "-O0":
        missing.append("-O1 or higher")
    # A later -U undoes the definition.
    if "-D_FORTIFY_SOURCE=2" in words and "-U_FORTIFY_SOURCE" in words[words.index("-D_FORTIFY_SOURCE=2"):]:
        missing.append("-D_FORTIFY_SOURCE=2 (undefined again after)")
    if missing:
        print(f"{os.path.relpath(file, source)}: {' '.join(missing)}")
if checked == 0:
    print("no translation unit of shared/, clicker/ or capture/ in the compile commands")
EOF
) || fail "could not read $compile_commands"
[[ -z $lacking ]] || fail "compiled without the hardening flags: ${lacking//$'\n'/; }"
pass "every translation unit of the programs: optimised, -fstack-protector-strong, -D_FORTIFY_SOURCE=2, -Werror=format-security"

# ---- the programs --------------------------------------------------------------------------
check_linux() {
  local program=$1 name dynamic imports plain
  name=$(basename "$program")
  readelf -hW "$program" | grep -Eq 'Type: +DYN' || fail "$name is not position independent (ELF type is not DYN)"
  dynamic=$(readelf -dW "$program")
  grep -Eq 'FLAGS_1.*\bPIE\b' <<<"$dynamic" || fail "$name: no PIE flag in its dynamic section"
  readelf -lW "$program" | grep -q GNU_RELRO || fail "$name has no GNU_RELRO segment (-z relro)"
  grep -Eq '\(FLAGS\).*\bBIND_NOW\b|FLAGS_1.*\bNOW\b' <<<"$dynamic" ||
    fail "$name: no BIND_NOW, so RELRO is only partial (-z now)"
  imports=$(readelf --dyn-syms -W "$program" | awk '$7 == "UND" { sub(/@.*/, "", $8); print $8 }')
  grep -qx __stack_chk_fail <<<"$imports" || fail "$name does not import __stack_chk_fail: no stack protector"
  # sprintf aside: the C++ library linked into the program calls it (in its demangler; GCC builds
  # its own library without _FORTIFY_SOURCE), and the sources here never do.
  plain=$(grep -Ex '(v?f|v?s|v?sn|v?)printf' <<<"$imports" | grep -vx sprintf | tr '\n' ' ' | sed 's/ $//')
  [[ -z $plain ]] || fail "$name imports $plain, not the __*_chk form: not fortified"
  grep -Eqx '__[a-z]+_chk' <<<"$imports" ||
    fail "$name imports no __*_chk function: not fortified, or it calls nothing glibc fortifies"
  pass "$name: PIE, full RELRO, stack protector, fortified ($(grep -Ex '__[a-z]+_chk' <<<"$imports" | tr '\n' ' ' | sed 's/ $//'))"

  # What it needs on the user's machine: only the X11 libraries every desktop has, and glibc 2.34
  # or later (libgcc_s comes with it: glibc loads it itself). FLTK and libstdc++ are linked in,
  # and no search path of the program's own (RPATH, RUNPATH) can bring a library from elsewhere.
  local -r usual='lib(X11|Xext|Xtst|Xft|Xrender|Xfixes|Xcursor|Xinerama|fontconfig|freetype)\.so\.[0-9]+'
  local -r glibc='lib(c|m|dl|pthread|rt)\.so\.[0-9]+|ld-linux-x86-64\.so\.2|libgcc_s\.so\.1'
  local needed others newest
  needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]$/\1/p' <<<"$dynamic")
  others=$(grep -Evx "$usual|$glibc" <<<"$needed" | tr '\n' ' ' | sed 's/ $//')
  [[ -z $others ]] || fail "$name needs $others, beyond the X11 libraries and glibc"
  ! grep -E '\((RPATH|RUNPATH)\)' <<<"$dynamic" || fail "$name carries a library search path (above)"
  newest=$(readelf -VW "$program" | grep -oE 'GLIBC_[0-9]+(\.[0-9]+)+' | sort -uV | tail -n 1)
  [[ -n $newest ]] || fail "$name: readelf shows no GLIBC_ version needed"
  [[ $(printf '%s\n' "$newest" GLIBC_2.34 | sort -V | tail -n 1) == GLIBC_2.34 ]] ||
    fail "$name needs $newest, newer than glibc 2.34: $(objdump -T "$program" | grep -F "($newest)" | awk '{ print $NF }' | tr '\n' ' ')"
  pass "$name: needs $(tr '\n' ' ' <<<"$needed" | sed 's/ $//'); $newest at most; no RPATH or RUNPATH"
}

# A PE image's DependentLoadFlags, the WORD at offset 0x4E of its load configuration (Microsoft's
# PE format page), as 0x%04x; a message and status 1 when the image has no load configuration
# that reaches it. Arguments: the file and its `objdump -p` output.
dependent_load_flags() {
  local -r program=$1 headers=$2 field=0x4E
  local rva size base offset=
  read -r rva size < <(awk '/^Entry a / { print $3, $4 }' <<<"$headers")
  base=$(awk '/^ImageBase/ { print $2 }' <<<"$headers")
  if [[ -z $rva || -z $base ]] || ((0x$size < field + 2)); then
    echo "no load configuration holding DependentLoadFlags (directory size ${size:-none})"
    return 1
  fi
  # The file offset of that address: the section holding it, from the section table (read with
  # the caller's $objdump).
  local -r at=$((0x$base + 0x$rva + field))
  local index section_size vma file_offset
  while read -r index _ section_size vma _ file_offset _; do
    [[ $index =~ ^[0-9]+$ ]] || continue
    if ((at >= 0x$vma && at < 0x$vma + 0x$section_size)); then
      offset=$((0x$file_offset + at - 0x$vma))
      break
    fi
  done < <("$objdump" -h "$program")
  [[ -n $offset ]] || { echo "the load configuration lies in no section"; return 1; }
  printf '0x%04x\n' "$((0x$(od -An -tx2 --endian=little -j "$offset" -N 2 "$program" | tr -d ' ')))"
}

check_windows() {
  local program=$1 name headers characteristics flag dll dlls size load_flags
  local -r objdump=${HARDENING_OBJDUMP:-x86_64-w64-mingw32-objdump}
  local -r system_dlls=${HARDENING_SYSTEM_DLLS:-/usr/lib/x86_64-linux-gnu/wine/x86_64-windows}
  name=$(basename "$program")
  headers=$("$objdump" -p "$program") || fail "$objdump could not read $name"
  # The flag names follow the DllCharacteristics line, one a line, up to the next field.
  characteristics=$(awk '/^DllCharacteristics/ { on = 1; next } on && /^\t\t/ { print $1; next } { on = 0 }' <<<"$headers")
  for flag in DYNAMIC_BASE HIGH_ENTROPY_VA NX_COMPAT; do
    grep -qx "$flag" <<<"$characteristics" ||
      fail "$name: DllCharacteristics lacks $flag (has: $(tr '\n' ' ' <<<"$characteristics" | sed 's/ $//'))"
  done
  load_flags=$(dependent_load_flags "$program" "$headers") || fail "$name: $load_flags"
  [[ $load_flags == 0x0800 ]] ||
    fail "$name: DependentLoadFlags is $load_flags, not 0x0800: its imports may come from its own folder"
  ! grep -Eq $'^\t[0-9a-f]+\t +[0-9]+ +SetDefaultDllDirectories$' <<<"$headers" ||
    fail "$name imports SetDefaultDllDirectories: where it is missing, Windows refuses to start it without saying why"
  grep -aq 'SetDefaultDllDirectories' "$program" ||
    fail "$name does not name SetDefaultDllDirectories: what it loads at run time may come from its own folder"
  [[ -d $system_dlls ]] || skip "Wine's DLLs are not in $system_dlls, nothing to tell system DLLs by"
  dlls=$(sed -n 's/^\tDLL Name: //p' <<<"$headers")
  [[ -n $dlls ]] || fail "$name: objdump shows no imported DLL at all"
  while read -r dll; do
    [[ -n $(find "$system_dlls" -maxdepth 1 -iname "$dll" -print -quit) ]] ||
      fail "$name imports $dll, which Windows does not have: it would have to ship beside the .exe"
  done <<<"$dlls"
  size=$(stat -c %s "$program")
  ((size < 400 * 1024)) || fail "$name is $size bytes, over 400 KB"
  pass "$name: $(tr '\n' ' ' <<<"$characteristics" | sed 's/ $//'); DependentLoadFlags $load_flags; imports $(tr '\n' ' ' <<<"$dlls" | sed 's/ $//'); $size bytes"
}

for program in "$@"; do
  [[ -f $program ]] || fail "$program is not built"
  "check_$E2E_PLATFORM" "$program"
done
note "passed"
