#!/usr/bin/env bash
# Every script under scripts/ answers --help with its usage and status 0 within a second, and
# touches neither the package manager nor the network nor a build: stand-ins for those commands
# come first on the PATH and leave a mark if anything calls them.
set -u
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)
fakes=$(mktemp -d)
trap 'rm -rf "$fakes"' EXIT
for command in apt-get apt sudo dpkg cmake ctest curl wget git wine wineboot Xvfb; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/called"\nexit 99\n' "$command" "$fakes" >"$fakes/$command"
  chmod +x "$fakes/$command"
done
failures=0
for script in "$scripts"/*.sh; do
  name=scripts/${script##*/}
  started=$(date +%s%N)
  PATH=$fakes:$PATH timeout 5 "$script" --help >"$fakes/out" 2>&1
  status=$? elapsed_ms=$((($(date +%s%N) - started) / 1000000))
  problem=""
  ((status == 0)) || problem+=" status $status;"
  ((elapsed_ms < 1000)) || problem+=" took $elapsed_ms ms;"
  grep -qi usage "$fakes/out" || problem+=" printed no usage;"
  [[ -f $fakes/called ]] && problem+=" called $(tr '\n' ',' <"$fakes/called")" && rm "$fakes/called"
  if [[ -n $problem ]]; then
    echo "FAIL: $name --help:$problem"
    failures=$((failures + 1))
  else
    echo "ok: $name --help, status 0 in $elapsed_ms ms"
  fi
done
((failures == 0))
