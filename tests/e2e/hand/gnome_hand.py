"""The user's mouse and keyboard in a headless GNOME session, for the end-to-end tests.

Holds a remote-desktop session of mutter's, with a cast of the primary monitor (its input needs
one), for as long as it runs: the seat has a pointer only while a virtual device exists. Reads one
command a line on standard input and answers "done" once mutter has taken it:
  move X Y              the pointer to X, Y of the layout (the primary monitor at 0,0)
  button left|right 1|0 press or release a button
  key CODE 1|0          press or release a key (an evdev key code: 28 Return, 4 "3")
"""
import sys

import dbus

SERVICE = "org.gnome.Mutter.RemoteDesktop"
SESSION = SERVICE + ".Session"
BUTTONS = {"left": 0x110, "right": 0x111}

bus = dbus.SessionBus()
remote = bus.get_object(SERVICE, "/org/gnome/Mutter/RemoteDesktop")
session_path = remote.CreateSession(dbus_interface=SERVICE)
session = bus.get_object(SERVICE, session_path)
session_id = session.Get(SESSION, "SessionId", dbus_interface=dbus.PROPERTIES_IFACE)
cast = bus.get_object("org.gnome.Mutter.ScreenCast", "/org/gnome/Mutter/ScreenCast")
cast_path = cast.CreateSession({"remote-desktop-session-id": session_id},
                               dbus_interface="org.gnome.Mutter.ScreenCast")
stream = bus.get_object("org.gnome.Mutter.ScreenCast", cast_path).RecordMonitor(
    "", {}, dbus_interface="org.gnome.Mutter.ScreenCast.Session")
session.Start(dbus_interface=SESSION)
print("ready", session_path, flush=True)

for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    if words[0] == "move":
        session.NotifyPointerMotionAbsolute(stream, float(words[1]), float(words[2]),
                                            dbus_interface=SESSION)
    elif words[0] == "button":
        session.NotifyPointerButton(BUTTONS[words[1]], words[2] == "1", dbus_interface=SESSION)
    elif words[0] == "key":
        session.NotifyKeyboardKeycode(int(words[1]), words[2] == "1", dbus_interface=SESSION)
    else:
        print("unknown command", line.strip(), flush=True)
        continue
    # A round trip: mutter has handled the call by the time it answers the next one.
    session.Get(SESSION, "SessionId", dbus_interface=dbus.PROPERTIES_IFACE)
    print("done", line.strip(), flush=True)
