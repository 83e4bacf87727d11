#!/usr/bin/env bash
# Usage: scripts/release.sh   or   scripts/release.sh --verify [--reuse-builds] [linux] [windows]
# Builds both release archives, each a portable folder holding Sightrel and Idlepress, and puts
# them with their checksums in build/release/, the folder to publish:
#   SightrelIdlepress-<version>-linux-x86_64.tar.gz   (built in build/linux/package/)
#   SightrelIdlepress-<version>-windows-x64.zip       (built in build/windows/package/)
#   SHA256SUMS                                         (sha256sum -c SHA256SUMS checks them)
# and prints the version, the commit and the size of each program in them. The version comes
# from the repository (scripts/version.sh): on a commit tagged vX.Y.Z it is X.Y.Z, and the tag
# must then match project()'s VERSION in CMakeLists.txt.
#
#   scripts/release.sh --verify [--reuse-builds] [linux] [windows]
# builds the programs and archives of this checkout twice instead, in two scratch folders of
# different names one after the other, and fails unless the two builds are the same byte for
# byte: each program and each archive. Nothing else (no tests) is built. --reuse-builds takes
# this checkout's own build/<platform> as the first of the two (its package target, so only
# what changed is built, with the version it was configured with): half the time, for the test
# suite, which has built them already.
#
# The archives' file times are the commit's (SOURCE_DATE_EPOCH, when set, wins).
# Installs the Debian packages first (SKIP_INSTALL=1 skips that), like scripts/test.sh.
set -euo pipefail
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
cd "$(dirname "$0")/.."

verify=0 reuse=0
platforms=()
for argument in "$@"; do
  case $argument in
    --verify) verify=1 ;;
    --reuse-builds) reuse=1 ;;
    linux | windows) platforms+=("$argument") ;;
    -h | --help) usage; exit 0 ;;
    *)
      usage >&2
      exit 2
      ;;
  esac
done
((${#platforms[@]})) || platforms=(linux windows)

if [[ ${SKIP_INSTALL:-0} != 1 ]]; then
  scripts/install-deps.sh
fi

export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
if [[ -n $(git status --porcelain --untracked-files=no) ]]; then
  echo "Note: the checkout has changes not committed: this build is not the commit's." >&2
fi

# archive_of PLATFORM [CHECKOUT]: the archive's path below CHECKOUT (this one by default), as the
# build's configure wrote it.
archive_of() {
  echo "build/$1/$(cat "${2:-.}/build/$1/packaging/archive.txt")"
}

if ((!verify)); then
  read -r version commit < <(scripts/version.sh)
  project_version=$(sed -nE 's/^project\([A-Za-z]+ VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
  if tag=$(git describe --exact-match --tags --match 'v[0-9]*' HEAD 2>/dev/null) && [[ $tag != "v$project_version" ]]; then
    echo "FAIL: this commit is tagged $tag, but CMakeLists.txt says VERSION $project_version; see docs/releasing.md" >&2
    exit 1
  fi
  for preset in "${platforms[@]}"; do
    echo "=== $preset: configure, build and package"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target package
  done
  rm -rf build/release
  mkdir -p build/release
  for preset in "${platforms[@]}"; do
    cp "$(archive_of "$preset")" build/release/
  done
  (cd build/release && sha256sum -- * >SHA256SUMS)
  echo "Version $version, commit $commit"
  echo "Release archives and their checksums, in build/release:"
  (cd build/release && ls -l && cat SHA256SUMS)
  echo "The programs in them, in bytes:"
  for preset in "${platforms[@]}"; do
    case $preset in
      linux) tar -tvzf "$(archive_of linux)" | awk '$NF ~ /\/(Sightrel|Idlepress)$/ { print "  " $3 "  " $NF }' ;;
      windows) unzip -l "$(archive_of windows)" | awk '$NF ~ /\/(Sightrel|Idlepress)\.exe$/ { print "  " $1 "  " $NF }' ;;
    esac
  done
  exit 0
fi

# ---- --verify --------------------------------------------------------------------------------
started=$SECONDS
work=$(mktemp -d "${TMPDIR:-/tmp}/release-verify.XXXXXX")
# Two checkouts whose paths differ in name and length: a build path left in a binary shows.
if ((reuse)); then
  checkouts=("$(pwd)" "$work/second-checkout")
else
  checkouts=("$work/a" "$work/second-checkout")
fi
for checkout in "${checkouts[@]}"; do
  [[ $checkout == "$work"/* ]] || continue
  mkdir -p "$checkout"
  # The files git knows of (and new ones not ignored), as they are in this checkout now.
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [[ -e $file ]] && printf '%s\0' "$file"; done |
    tar --null --files-from=- --create --file=- | tar --extract --file=- --directory="$checkout"
done

# The copies have no git history: they get this checkout's version from the environment. With
# --reuse-builds, the version each preset's own build was configured with.
# version_of PRESET: "VERSION COMMIT".
version_of() {
  if ((reuse)) && [[ -f build/$1/packaging/version.txt ]]; then
    cat "build/$1/packaging/version.txt"
  else
    scripts/version.sh
  fi
}

# build_release CHECKOUT PRESET LOG: the programs and the archive of PRESET in CHECKOUT.
build_release() {
  local checkout=$1 preset=$2 log=$3 version commit
  read -r version commit < <(version_of "$preset")
  if [[ $checkout == "$work"/* ]]; then
    (cd "$checkout" && export SOURCE_VERSION=$version SOURCE_COMMIT=$commit &&
      cmake --preset "$preset" -DBUILD_TESTING=OFF -DBUILD_BENCHMARKS=OFF &&
      cmake --build --preset "$preset" --target package) >"$log" 2>&1
  else
    # This checkout's own build, as its preset configured it.
    { [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset"; } >"$log" 2>&1 &&
      cmake --build "build/$preset" --target package >>"$log" 2>&1
  fi
}

for checkout in "${checkouts[@]}"; do
  for preset in "${platforms[@]}"; do
    echo "=== ${checkout#"$work"/}: $preset: configure, build the programs and the archive"
    step=$SECONDS
    log=$work/build-${checkout##*/}-$preset.log
    build_release "$checkout" "$preset" "$log" || {
      echo "FAIL: the $preset build in $checkout failed; its log:" >&2
      tail -n 30 "$log" >&2
      exit 1
    }
    echo "    $((SECONDS - step)) s"
  done
done

different=()
for preset in "${platforms[@]}"; do
  files=("$(archive_of "$preset" "${checkouts[0]}")")
  case $preset in
    linux) files+=(build/linux/bin/Sightrel build/linux/bin/Idlepress) ;;
    windows) files+=(build/windows/bin/Sightrel.exe build/windows/bin/Idlepress.exe) ;;
  esac
  for file in "${files[@]}"; do
    first=${checkouts[0]}/$file second=${checkouts[1]}/$file
    if cmp -s "$first" "$second"; then
      echo "same    $(sha256sum "$first" | cut -d' ' -f1)  $file"
    else
      echo "DIFFERS $file: $(cmp "$first" "$second" 2>&1 | head -n 1); bytes that differ: $(cmp -l "$first" "$second" 2>/dev/null | wc -l)"
      different+=("$file")
    fi
  done
done

if ((${#different[@]})); then
  echo "FAIL: two builds of the same sources differ in ${different[*]}: ${checkouts[*]} (kept)" >&2
  exit 1
fi
rm -rf "$work"
echo "Reproducible: two builds in different folders gave the same bytes (${platforms[*]}; $((SECONDS - started)) s)"
