# shellcheck shell=bash
# A headless GNOME session for the end-to-end tests and benchmarks, sourced after lib.sh:
# mutter with Xwayland, PipeWire and WirePlumber on a private session bus, run as a user other
# than root (nobody when the caller is root), with a folder of their own as XDG_RUNTIME_DIR.
# The programs under test run as that user too (as_session_user), with WAYLAND_DISPLAY, DISPLAY,
# XAUTHORITY and DBUS_SESSION_BUS_ADDRESS, which start_gnome_session exports.
# shellcheck disable=SC2016  # eval expands the poll conditions at each try

as_session_user=()
hand_calls=0

# start_gnome_session: checks the tools (skipping when one is absent), starts the session, the
# hand (the user's mouse and keyboard) and wev (a native Wayland window printing its events).
start_gnome_session() {
  local tool
  for tool in mutter pipewire wireplumber wev dbus-daemon gdbus stdbuf; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
  done
  /usr/bin/python3 -c 'import dbus' 2>/dev/null || skip "python3-dbus is not installed"
  if (($(id -u) == 0)); then
    setpriv --reuid=65534 --regid=65534 --clear-groups -- true 2>/dev/null ||
      skip "setpriv can't switch to an unprivileged user here"
    as_session_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
  fi
  chmod 755 "$scratch"
  mkdir -m 700 "$scratch/run" "$scratch/home"
  (($(id -u) == 0)) && chown 65534:65534 "$scratch/run" "$scratch/home"
  export XDG_RUNTIME_DIR=$scratch/run HOME=$scratch/home
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus WAYLAND_DISPLAY=wayland-e2e
  start_program dbus "${as_session_user[@]}" dbus-daemon --session --nofork --nopidfile \
    --address="$DBUS_SESSION_BUS_ADDRESS"
  poll_until 10 test -S "$XDG_RUNTIME_DIR/bus" || fail "dbus-daemon made no bus within 10 s"
  start_program pipewire "${as_session_user[@]}" pipewire
  poll_until 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || fail "PipeWire made no socket within 10 s"
  start_program wireplumber "${as_session_user[@]}" wireplumber
  wireplumber_pid=$LAST_PID
  # mutter ends when the command after -- ends; the tests end it sooner.
  start_program mutter "${as_session_user[@]}" mutter --headless --wayland \
    --virtual-monitor 1280x1024 --wayland-display="$WAYLAND_DISPLAY" -- sleep 3600
  poll_until 20 grep -q 'Using public X11 display' "$scratch/mutter.err" ||
    fail "mutter started no Xwayland within 20 s: $(tail -n 3 "$scratch/mutter.err")"
  DISPLAY=$(sed -n 's/.*Using public X11 display \(:[0-9]*\).*/\1/p' "$scratch/mutter.err")
  # Xwayland's clients need mutter's cookie; mutter tells no one where it is.
  XAUTHORITY=$(echo "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.*)
  export DISPLAY XAUTHORITY
  poll_until 20 eval 'xdpyinfo >/dev/null 2>&1' || fail "Xwayland on $DISPLAY answered no client in 20 s"
  note "mutter on $WAYLAND_DISPLAY, Xwayland on $DISPLAY"

  mkfifo "$scratch/hand.in"
  exec 9<>"$scratch/hand.in"
  # Not through start_program: a command put in the background reads /dev/null unless its own
  # redirection says otherwise.
  "${as_session_user[@]}" /usr/bin/python3 -u "$(dirname "${BASH_SOURCE[0]}")/hand/gnome_hand.py" \
    <&9 >"$scratch/hand.out" 2>"$scratch/hand.err" &
  e2e_pids+=("$!")
  poll_until 10 grep -q '^ready' "$scratch/hand.out" ||
    fail "the hand opened no remote desktop within 10 s: $(tail -n 3 "$scratch/hand.err")"
  # The seat has a keyboard only once the hand has pressed a key: Shift, which types nothing.
  hand key 42 1
  hand key 42 0
  start_program wev "${as_session_user[@]}" stdbuf -oL wev
  poll_until 20 grep -q 'xdg_surface\] configure' "$scratch/wev.out" ||
    fail "wev showed no window within 20 s: $(tail -n 3 "$scratch/wev.err")"
}

# hand COMMAND...: one command to the hand (see hand/gnome_hand.py), done once it returns.
hand() {
  echo "$*" >&9
  hand_calls=$((hand_calls + 1))
  poll_until 5 eval '(($(grep -c "^done" "$scratch/hand.out") >= hand_calls))' ||
    fail "the hand didn't do \"$*\" within 5 s: $(tail -n 3 "$scratch/hand.err")"
}

# wev_origin: where wev's surface lies in the layout, "X Y", found by moving the hand over it
# twice, 10 pixels apart, until wev's last step is 10 pixels too: the first moves of the hand's
# new pointer landed off target (measured), and wev may not have told the last one yet.
wev_origin() {
  local sx sy try
  for try in 1 2 3 4 5; do
    hand move 640 240
    hand move 650 250
    if poll_until 1 eval '[[ $(native_pointer 2) == "10 10" ]]'; then
      read -r sx sy < <(native_pointer) || return 1
      echo "$((650 - sx)) $((250 - sy))"
      return 0
    fi
  done
  return 1
}

# native_presses: the left and right presses wev got, one a line, "<time_ms> <x> <y> <button>",
# at the surface coordinates of the pointer's last enter or motion before each; the time is
# mutter's, in milliseconds.
native_presses() {
  awk '/wl_pointer\] (enter|motion):/ { split($0, a, "x, y: "); split(a[2], p, ", ");
         x = int(p[1]); y = int(p[2]) }
       /wl_pointer\] button:.*state: 1/ { match($0, /time: [0-9]+/); t = substr($0, RSTART + 6, RLENGTH - 6);
         match($0, /button: [0-9]+/); b = substr($0, RSTART + 8, RLENGTH - 8);
         print t, x, y, (b == 272 ? 1 : b == 273 ? 3 : b) }' "$scratch/wev.out"
}

# native_pointer [2]: where wev last saw the pointer, "X Y"; with 2, how far it went in its last
# step, "DX DY".
native_pointer() {
  awk -v step="${1:-}" '/wl_pointer\] (enter|motion):/ { split($0, a, "x, y: "); split(a[2], p, ", ");
         if (at != "" && (int(p[1]) != x || int(p[2]) != y)) { dx = int(p[1]) - x; dy = int(p[2]) - y }
         x = int(p[1]); y = int(p[2]); at = x " " y }
       END { if (at == "") exit 1; print (step == 2 ? dx " " dy : at) }' "$scratch/wev.out"
}

# cast_sessions: how many remote-desktop and screen-cast sessions mutter holds, "REMOTE CAST".
cast_sessions() {
  local service count=()
  for service in RemoteDesktop ScreenCast; do
    count+=("$("${as_session_user[@]}" gdbus introspect --session --dest "org.gnome.Mutter.$service" \
      --object-path "/org/gnome/Mutter/$service/Session" 2>/dev/null | grep -c '^ \+node ')")
  done
  echo "${count[*]}"
}

# start_session_program NAME EXE: a program of ours in the session, as its user.
start_session_program() {
  start_program "$1" "${as_session_user[@]}" env WAYLAND_DISPLAY="$WAYLAND_DISPLAY" "$2"
}
