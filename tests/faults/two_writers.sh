#!/usr/bin/env bash
# Two grabs into one folder at the same moment, over and over for a few seconds: each writer's
# every grab succeeds (a shared temporary name made one writer's rename find its file gone, or
# rename the other's), and coordinates.dat always holds one whole grab.
# usage: two_writers.sh <grab_writer> [seconds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$here/common.sh"

writer=$1 seconds=${2:-3}
make_scratch
folder=$scratch/app
mkdir "$folder"
"$writer" "$folder" 0001 0002

"$writer" --alternate "$folder" 0011 0012 0013 0014 >"$scratch/a.out" 2>"$scratch/a.err" &
a=$!
"$writer" --alternate "$folder" 0021 0022 0023 0024 >"$scratch/b.out" 2>"$scratch/b.err" &
b=$!
trap 'kill $a $b 2>/dev/null || true; chmod -R u+rwx "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT

reads=0
end=$((SECONDS + seconds))
while ((SECONDS < end)); do
  bytes=$(cat "$folder/coordinates.dat"; echo .)
  case $bytes in
    # the first grab's file, until a writer's first grab has replaced it
    $'0001\r\n0002\r\n.' | $'0011\r\n0012\r\n.' | $'0013\r\n0014\r\n.' | \
      $'0021\r\n0022\r\n.' | $'0023\r\n0024\r\n.') ;;
    *) fail "coordinates.dat held $(printf %q "${bytes%.}"), not one whole grab" ;;
  esac
  reads=$((reads + 1))
done

for pid in $a $b; do
  kill -0 "$pid" 2>/dev/null ||
    fail "a writer ended: $(cat "$scratch/a.err" "$scratch/b.err")"
done
kill $a $b
wait $a $b 2>/dev/null || true
grabs_a=$(($(wc -c <"$scratch/a.out") - 1))
grabs_b=$(($(wc -c <"$scratch/b.out") - 1))
echo "$grabs_a and $grabs_b grabs at once, all succeeded; $reads reads each saw one whole grab"
((grabs_a > 10 && grabs_b > 10)) || fail "too few grabs overlapped to show anything"
