#!/usr/bin/env bash
# Size of the Windows programs and what makes it up.
#
#   bench/exe_size.sh [windows build folder=build/windows]
#
# For each .exe: its size as built, then a second link of the same objects (CMake's own link
# command, with a link map, into a scratch folder) summed per library and per archive member,
# largest first. Last, the standard library features our own objects pull in that weigh most
# (std::filesystem, and the locale machinery that its narrow-path conversions bring along).
#
#   bench/exe_size.sh --flags
#
# What the release hardening costs in size, on both platforms: the programs built again without
# it (ENABLE_HARDENING and REPRODUCIBLE_BUILD off, in build/bench-unhardened/<platform>, the
# programs only) against the linux and windows presets' builds, as built and stripped as in the
# archive. The start-up cost: bench/startup.sh with BENCH_BUILD=build/bench-unhardened/linux.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case $#:${1:-} in
  1:-h | 1:--help) usage; exit 0 ;;
  0: | 1:--flags) ;;
  1:-*) usage >&2; exit 2 ;;
  1:*) ;;
  *) usage >&2; exit 2 ;;
esac
repo=$(cd "$(dirname "$0")/.." && pwd)

if [[ ${1:-} == --flags ]]; then
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  printf '%-8s %-14s %10s %10s %7s %17s %14s %7s\n' platform program without with change \
    "stripped without" "stripped with" change
  for platform in linux windows; do
    plain=$repo/build/bench-unhardened/$platform
    (cd "$repo" &&
      cmake --preset "$platform" -B "$plain" -DENABLE_HARDENING=OFF -DREPRODUCIBLE_BUILD=OFF \
        -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF >"$work/configure.log" &&
      cmake --build "$plain" --target Sightrel Idlepress -j 2 >"$work/build.log") ||
      { echo "the $platform build without the flags failed" >&2; exit 1; }
    strip=strip suffix=""
    [[ $platform == windows ]] && strip=x86_64-w64-mingw32-strip suffix=.exe
    for program in Sightrel Idlepress; do
      hardened=$repo/build/$platform/bin/$program$suffix
      [[ -f $hardened ]] || { echo "$hardened is not built (the $platform preset)" >&2; exit 1; }
      sizes=()
      for file in "$plain/bin/$program$suffix" "$hardened"; do
        cp "$file" "$work/program" && "$strip" "$work/program"
        sizes+=("$(stat -c %s "$file")" "$(stat -c %s "$work/program")")
      done
      printf '%-8s %-14s %10d %10d %+7d %17d %14d %+7d\n' "$platform" "$program$suffix" \
        "${sizes[0]}" "${sizes[2]}" $((sizes[2] - sizes[0])) "${sizes[1]}" "${sizes[3]}" $((sizes[3] - sizes[1]))
    done
  done
  exit 0
fi
build=$(cd "${1:-$repo/build/windows}" && pwd)
nm=x86_64-w64-mingw32-nm
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# map_sizes MAP: "<bytes> <library> <member>" for every input section of code or data.
map_sizes() {
  awk '
    function hex(text, i, value) {
      text = tolower(text); sub(/^0x/, "", text); value = 0
      for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return value
    }
    function take(section, size, file) {
      if (section !~ /^\.(text|rdata|data|xdata|pdata)/) return
      lib = file; sub(/\(.*/, "", lib); sub(/.*\//, "", lib)
      member = file; sub(/.*\//, "", member)
      printf "%d %s %s\n", hex(size), lib, member
    }
    /^Linker script and memory map/ { in_map = 1; next }
    !in_map { next }
    # A section name, its address, size and file on one line...
    /^ \.[^ ]+ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/ { take($1, $3, $4); pending = ""; next }
    # ...or a long name alone, the rest on the next line.
    /^ \.[^ ]+$/ { pending = $1; next }
    pending != "" && /^ +0x[0-9a-f]+ +0x[0-9a-f]+ +[^ ]/ { take(pending, $2, $3) }
    { pending = "" }' "$1"
}

for program in Sightrel Idlepress; do
  exe=$build/bin/$program.exe
  [[ -f $exe ]] || { echo "$exe is not built" >&2; exit 1; }
  case $program in Sightrel) dir=capture ;; Idlepress) dir=clicker ;; esac
  echo "== $program.exe: $(stat -c %s "$exe") bytes"
  link=$(tail -n 1 "$build/$dir/CMakeFiles/$program.dir/link.txt")
  link=${link/-o ..\/bin\/$program.exe/-o $work/$program.exe -Wl,-Map,$work/$program.map}
  link=${link/-Wl,--out-implib,lib$program.dll.a/}
  (cd "$build/$dir" && eval "$link")
  map_sizes "$work/$program.map" >"$work/$program.sizes"
  echo "-- by library (bytes of code and data before stripping)"
  awk '{ s[$2] += $1 } END { for (k in s) printf "%9d %s\n", s[k], k }' "$work/$program.sizes" |
    sort -rn | sed -n 1,8p
  echo "-- largest archive members"
  awk '{ s[$3] += $1 } END { for (k in s) printf "%9d %s\n", s[k], k }' "$work/$program.sizes" |
    sort -rn | sed -n 1,15p
done

echo "== our objects that pull in std::filesystem or a locale facet, and what they use of it"
find "$build/shared" "$build/clicker" "$build/capture" -name '*.obj' | sort | while read -r object; do
  used=$($nm -C -u "$object" |
    sed -nE 's/.*(std::filesystem::(status|remove|current_path|read_symlink)|std::filesystem::__cxx11::path::[A-Za-z_=/+]+|std::codecvt<[^>]*>).*/\1/p' |
    sort -u | tr '\n' ' ')
  [[ -n $used ]] && echo "${object#"$build"/}: $used"
done
exit 0
