#!/usr/bin/env bash
# Every script under scripts/ and packaging/ answers --help with its usage and status 0 within a
# second, leaves no file behind, and
# touches neither the package manager nor the network nor a build: stand-ins for those commands
# come first on the PATH and leave a mark if anything calls them.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
fakes=$(mktemp -d)
trap 'rm -rf "$fakes"' EXIT
# A scratch folder the scripts would write their leftovers into (TMPDIR), which must stay empty.
export TMPDIR=$fakes/tmp E2E_WORK=$fakes/tmp
mkdir "$TMPDIR"
for command in apt-get apt sudo dpkg cmake ctest curl wget git wine wineboot Xvfb; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/called"\nexit 99\n' "$command" "$fakes" >"$fakes/$command"
  chmod +x "$fakes/$command"
done
failures=0
for script in "$root"/scripts/*.sh "$root"/packaging/*.sh "$root"/packaging/*/*.sh; do
  name=${script#"$root"/}
  started=$(date +%s%N)
  PATH=$fakes:$PATH timeout 5 "$script" --help >"$fakes/out" 2>&1
  status=$? elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  problem=""
  ((status == 0)) || problem+=" status $status;"
  ((elapsed_ms < 1000)) || problem+=" took $elapsed_ms ms;"
  grep -qi usage "$fakes/out" || problem+=" printed no usage;"
  [[ -f $fakes/called ]] && problem+=" called $(tr '\n' ',' <"$fakes/called")" && rm "$fakes/called"
  [[ -z $(ls -A "$TMPDIR") ]] || problem+=" left $(ls -A "$TMPDIR" | tr '\n' ' ')in TMPDIR;" && rm -rf "${TMPDIR:?}"/*
  if [[ -n $problem ]]; then
    echo "FAIL: $name --help:$problem"
    failures=$((failures + 1))
  else
    echo "ok: $name --help, status 0 in $elapsed_ms ms"
  fi
done
((failures == 0))
