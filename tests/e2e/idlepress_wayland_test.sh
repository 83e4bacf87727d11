#!/usr/bin/env bash
# Idlepress in a Wayland session (WAYLAND_DISPLAY set), natively on Xvfb, with a stand-in for
# GNOME's idle monitor on a private session bus, and a limit of 3 ticks set through the prompt.
# While the desktop reports input 150 ms ago the X pointer's stillness doesn't count: no click in
# 10 s. Once it reports an hour of idleness the sequence comes within 4.5 s. Idlepress says on
# stderr that it runs in a Wayland session.
# Case "locked": the monitor reports an hour of idleness, and a stand-in for logind on the same
# bus (given as the system bus) holds the session locked: no click in 10 s; once it is unlocked
# the sequence comes a full IdleLimit of ticks later, not sooner (and not a tick later). A hint
# forged by another connection changes nothing; a logind stopped for 2 s and started again locked
# is believed from the next tick on. Last, thirty 100 kB signals fill Idlepress's queue on the bus
# (1 MB here), and the session is locked at once: no click in the 12 s after.
# shellcheck disable=SC2016  # eval expands the poll conditions at each try
source "$(dirname "$0")/lib.sh"

readonly session_case=${1:-idle_time}
e2e_begin
[[ $E2E_PLATFORM == linux ]] || skip "the Wayland session is the native build's"
command -v dbus-daemon >/dev/null || skip "dbus-daemon is not installed"
command -v gdbus >/dev/null || skip "gdbus is not installed"
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is not installed"
need_program E2E_IDLEPRESS
need_program E2E_RECORDER
start_xvfb

# A private session bus whose queue for each connection holds 1 MB, and the stand-in monitor on it.
echo '<busconfig><include>/usr/share/dbus-1/session.conf</include>
  <limit name="max_outgoing_bytes">1000000</limit></busconfig>' >"$scratch/bus.conf"
start_program dbus dbus-daemon --config-file="$scratch/bus.conf" --nofork --nopidfile --print-address
poll_until 10 eval '[[ -s $scratch/dbus.out ]]' || fail "dbus-daemon printed no address within 10 s"
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$scratch/dbus.out")
export DBUS_SESSION_BUS_ADDRESS
readonly monitor=org.gnome.Mutter.IdleMonitor monitor_path=/org/gnome/Mutter/IdleMonitor/Core
start_program monitor /usr/bin/python3 -m dbusmock --session -l "$scratch/monitor.log" \
  "$monitor" "$monitor_path" "$monitor"
poll_until 20 eval 'gdbus call --session --dest org.freedesktop.DBus \
  --object-path /org/freedesktop/DBus --method org.freedesktop.DBus.NameHasOwner "$monitor" \
  2>/dev/null | grep -q true' || fail "the stand-in idle monitor took no name on the bus within 20 s"

# reports_idle MS: the monitor's GetIdletime answers MS from now on.
reports_idle() {
  gdbus call --session --dest "$monitor" --object-path "$monitor_path" \
    --method org.freedesktop.DBus.Mock.AddMethod "$monitor" GetIdletime '' t "ret = $1" \
    >/dev/null || fail "could not set the stand-in's GetIdletime to $1"
  assert_eq "the stand-in's idle time" "(uint64 $1,)" "$(gdbus call --session --dest "$monitor" \
    --object-path "$monitor_path" --method "$monitor.GetIdletime")"
}
session_env=()
if [[ $session_case == locked ]]; then
  readonly logind=org.freedesktop.login1 session=/org/freedesktop/login1/session/e2e7
  # sets_lock true|false: the stand-in logind's session e2e7 says it is locked, or not.
  sets_lock() {
    gdbus call --session --dest "$logind" --object-path "$session" \
      --method "$logind.Session.SetLockedHint" "$1" >/dev/null || fail "could not set LockedHint $1"
  }
  start_logind() {  # holding this user's x11 session e2e7, not locked
    start_program logind env DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" /usr/bin/python3 \
      -m dbusmock --system --template logind -l "$scratch/logind.log"
    logind_pid=$LAST_PID
    poll_until 20 eval 'gdbus call --session --dest "$logind" --object-path /org/freedesktop/login1 \
      --method org.freedesktop.DBus.Mock.AddSession e2e7 seat0 "$(id -u)" e2e true >/dev/null 2>&1' ||
      fail "the stand-in logind took no session within 20 s"
    gdbus call --session --dest "$logind" --object-path "$session" --method \
      org.freedesktop.DBus.Properties.Set "$logind.Session" Type "<'x11'>" >/dev/null || fail "no x11"
  }
  start_logind
  sets_lock true
  reports_idle 3600000
  session_env=(XDG_SESSION_ID=e2e7 DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS")
else
  reports_idle 150
fi

readonly target_x=345 target_y=456 rest_x=640 rest_y=620
clicks=$scratch/clicks.log
start_recorder "$clicks" 200 150 800 600 "Target Recorder"
idlepress_with_target 0345 0456

move_pointer "$rest_x" "$rest_y"
start_program idlepress env WAYLAND_DISPLAY=wayland-e2e "${session_env[@]}" "$idlepress"
idlepress_pid=$LAST_PID
window=$(wait_for_window Idlepress 20) || fail "expected Idlepress's window within 20 s, saw none"
grep -q "Wayland session" "$scratch/idlepress.err" ||
  fail "expected Idlepress to name the Wayland session on stderr, saw \"$(cat "$scratch/idlepress.err")\""
pass "stderr: $(head -n 1 "$scratch/idlepress.err")"
set_idle_limit_by_prompt "$window" 3 "$rest_x" "$rest_y"

# The X pointer stays put throughout; only what the desktop reports changes.
let_time_pass 10
kill -0 "$idlepress_pid" 2>/dev/null || fail "Idlepress ended while the desktop reported input"
assert_eq "clicks in 10 s ($session_case)" 0 "$(line_count "$clicks")"
assert_eq "pointer after 10 s" "$rest_x $rest_y" "$(pointer_location)"
if [[ $session_case == locked ]]; then
  grep -q GetSession "$scratch/logind.log" || fail "Idlepress never asked the stand-in logind"
  sets_lock false
  earliest_ms=1800 latest_ms=3300
else
  grep -q GetIdletime "$scratch/monitor.log" || fail "Idlepress never asked the stand-in monitor"
  reports_idle 3600000
  earliest_ms=0 latest_ms=4500
fi
idle_ms=$(now_ms)
wait_for_lines "$clicks" 3 8 ||
  fail "expected a sequence within 4.5 s of the change, the recorder saw $(line_count "$clicks"): $(tr '\n' ';' <"$clicks")"
read -r t1 x1 y1 b1 < <(click_line "$clicks" 1)
read -r _ x3 y3 b3 < <(click_line "$clicks" 3)
assert_eq "first click (x y button)" "$target_x $target_y 1" "$x1 $y1 $b1"
assert_eq "third click, at the resting place (x y button)" "$rest_x $rest_y 1" "$x3 $y3 $b3"
assert_between "first click after the change" $((t1 - idle_ms)) "$earliest_ms" "$latest_ms" " ms"
[[ $session_case == locked ]] || { note "passed" && exit 0; }

# Another connection, not logind's, tells each of Idlepress's own that the session is locked:
# the next sequence comes all the same.
forged=0
for name in $(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
  --method org.freedesktop.DBus.ListNames | grep -o ":[0-9.]*"); do
  [[ $(gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus --method \
    org.freedesktop.DBus.GetConnectionUnixProcessID "$name") == "(uint32 $idlepress_pid,)" ]] &&
    gdbus emit --session --dest "$name" --object-path "$session" --signal \
      org.freedesktop.DBus.Properties.PropertiesChanged "$logind.Session" \
      "{'LockedHint': <true>}" "@as []" && forged=$((forged + 1))
done
((forged > 0)) || fail "sent no forged signal to Idlepress"
wait_for_lines "$clicks" 6 6 || fail "expected the next sequence within 6 s of the forged signal"

# logind stops for 2 s, then holds the session locked again without a signal; then unlocks it.
sets_lock true
let_time_pass 4
kill "$logind_pid" && wait "$logind_pid" 2>/dev/null
let_time_pass 2
start_logind
sets_lock true
restart_ms=$(now_ms)
let_time_pass 5
assert_eq "clicks from 1 s to 5 s after logind's restart, locked" 0 \
  "$(awk -v t=$((restart_ms + 1000)) '$1 > t' "$clicks" | wc -l)"
locked_lines=$(line_count "$clicks")
sets_lock false
wait_for_lines "$clicks" $((locked_lines + 1)) 6 || fail "no click within 6 s of the unlock"
# A flood of signals to each of Idlepress's connections, then the lock.
/usr/bin/python3 - "$idlepress_pid" "$session" <<'PY' || fail "could not flood Idlepress's queue"
import dbus, os, sys
bus = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
daemon = dbus.Interface(bus.get_object("org.freedesktop.DBus", "/"), "org.freedesktop.DBus")
for name in [n for n in daemon.ListNames() if daemon.GetConnectionUnixProcessID(n) == int(sys.argv[1])]:
    for _ in range(30):
        signal = dbus.lowlevel.SignalMessage("/flood", "e2e.Flood", "Flood")
        signal.set_destination(name)
        signal.append("x" * 100000)
        bus.send_message(signal)
bus.flush()
bus.call_blocking("org.freedesktop.login1", sys.argv[2], "org.freedesktop.login1.Session",
                  "SetLockedHint", "b", (True,))
PY
locked_ms=$(now_ms)
let_time_pass 12
assert_eq "clicks from 0.5 s to 12 s after a flood and the lock" 0 \
  "$(awk -v t=$((locked_ms + 500)) '$1 > t' "$clicks" | wc -l)"
note "passed"
