#!/usr/bin/python3
"""The user's mouse and keyboard on GNOME (mutter), for the end-to-end tests.

Speaks wayland_hand's commands (move, press, release, click, key, type; see wayland_hand.cpp)
through a remote-desktop session of mutter's, kept while it runs, with a cast of the primary
monitor, which absolute moves need. Answers "ok ..." once mutter has handled a command, or
"error ...". Its first line is "ready mutter". It also takes "maximize": Super+Up, GNOME's
shortcut, for the window that has the keyboard.
"""
import sys
import time

import dbus

SERVICE = "org.gnome.Mutter.RemoteDesktop"
SESSION = SERVICE + ".Session"
BUTTONS = {"left": 0x110, "right": 0x111, "middle": 0x112}
KEYS = {"Escape": 1, "-": 12, "BackSpace": 14, "Tab": 15, "Return": 28, ".": 52, "space": 57,
        " ": 57, "0": 11, **{str(d): d + 1 for d in range(1, 10)}}
KEYS.update(zip("qwertyuiop", range(16, 26)))
KEYS.update(zip("asdfghjkl", range(30, 39)))
KEYS.update(zip("zxcvbnm", range(44, 51)))

bus = dbus.SessionBus()
remote = bus.get_object(SERVICE, "/org/gnome/Mutter/RemoteDesktop")
session = bus.get_object(SERVICE, remote.CreateSession(dbus_interface=SERVICE))
session_id = session.Get(SESSION, "SessionId", dbus_interface=dbus.PROPERTIES_IFACE)
cast = bus.get_object("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast")
cast_path = cast.CreateSession({"remote-desktop-session-id": session_id},
                               dbus_interface="org.gnome.Mutter.ScreenCast")
stream = bus.get_object("org.gnome.Mutter.ScreenCast", cast_path).RecordMonitor(
    "", {}, dbus_interface="org.gnome.Mutter.ScreenCast.Session")
session.Start(dbus_interface=SESSION)


def key(code, pressed):
    session.NotifyKeyboardKeycode(dbus.UInt32(code), pressed, dbus_interface=SESSION)


def run(verb, args):
    if verb == "move":
        session.NotifyPointerMotionAbsolute(stream, float(args[0]), float(args[1]),
                                            dbus_interface=SESSION)
    elif verb in ("press", "release", "click"):
        for pressed in {"press": [True], "release": [False], "click": [True, False]}[verb]:
            session.NotifyPointerButton(BUTTONS[args[0]], pressed, dbus_interface=SESSION)
    elif verb in ("key", "type"):
        for name in [" ".join(args)] if verb == "key" else list(" ".join(args)):
            key(KEYS[name], True)
            key(KEYS[name], False)
    elif verb == "maximize":
        for code, pressed in ((125, True), (103, True), (103, False), (125, False)):
            key(code, pressed)
    else:
        raise KeyError(verb)


# The seat has a pointer and a keyboard once the session has sent each: a move and a Shift. Moves
# sent in the devices' first moments landed off target (measured): the hand waits them out.
run("move", ["0", "0"])
key(42, True)
key(42, False)
time.sleep(0.5)
run("move", ["0", "0"])
print("ready mutter", flush=True)
for line in sys.stdin:
    words = line.split()
    try:
        run(words[0], words[1:])
        # A round trip: mutter has handled the calls by the time it answers this one.
        session.Get(SESSION, "SessionId", dbus_interface=dbus.PROPERTIES_IFACE)
        print("ok", line.strip(), flush=True)
    except (KeyError, IndexError, ValueError, dbus.DBusException) as error:
        print("error", line.strip(), error, flush=True)
