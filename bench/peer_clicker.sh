#!/usr/bin/env bash
# The job Idlepress does, done the way a shell user would without it: ask xdotool where the
# pointer is once a second, compare with the last answer, and after 15 still samples click the
# target, click it again a second later, then put the pointer back and click there.
#
#   peer_clicker.sh SECONDS TARGET_X TARGET_Y
#
# Ends by itself after SECONDS and prints, one line on standard error, what the loop shell saw of
# itself: its peak RSS, its context switches, the processes it started, and bash's `times`.
set -u
script=$(realpath "$0")
usage() { sed -n '2,/^[^#]/{/^# shellcheck/d;s/^# \{0,1\}//p}' "$script"; }  # the comment above
case ${1:-} in
  -h | --help) usage; exit 0 ;;
esac
if (($# != 3)); then
  usage >&2
  exit 2
fi
readonly seconds=$1 target_x=$2 target_y=$3 limit=15

# Time from a bash variable, not a command: the loop starts no process of its own.
readonly end_us=$((${EPOCHREALTIME/./} + seconds * 1000000))
last="" still=0 forks=0

# run COMMAND...: runs an external command, counting the process it costs.
run() {
  ((forks += 1))
  "$@"
}

while ((${EPOCHREALTIME/./} < end_us)); do
  ((forks += 1))
  now=$(xdotool getmouselocation)
  if [[ $now == "$last" ]]; then
    ((still += 1))
  else
    last=$now still=0
  fi
  if ((still == limit)); then
    [[ $now =~ x:([0-9]+)\ y:([0-9]+) ]]
    rest_x=${BASH_REMATCH[1]} rest_y=${BASH_REMATCH[2]}
    run xdotool mousemove "$target_x" "$target_y" click 1
    run sleep 1
    run xdotool click 1
    run sleep 1
    run xdotool mousemove "$rest_x" "$rest_y" click 1
    still=0
  fi
  run sleep 1
done

# Read with builtins only: no process started for the report.
hwm="" voluntary="" involuntary=""
while read -r key value _; do
  case $key in
    VmHWM:) hwm=$value ;;
    voluntary_ctxt_switches:) voluntary=$value ;;
    nonvoluntary_ctxt_switches:) involuntary=$value ;;
  esac
done </proc/$$/status
echo "peer shell_vmhwm_kb=$hwm shell_voluntary_switches=$voluntary shell_involuntary_switches=$involuntary forks=$forks" >&2
# The shell's own user and system time, then its children's.
times >&2
