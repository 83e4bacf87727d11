#pragma once

#include <memory>
#include <string>

#include "../../desktop_session.hpp"
#include "../../pointer_services.hpp"

// The native route to the pointer in a Wayland session: the compositor's own protocols, where it
// offers them, instead of Xwayland, which sees and clicks X11 windows only.
namespace shared::wayland {

struct NativeRoute {
  // Null where the session offers no native route; the X11 pointer is used then.
  std::unique_ptr<Pointer> pointer;
  // Why there is none, in a sentence for the user; empty outside a Wayland session.
  std::string missing;
};

// Looks at what the compositor in $WAYLAND_DISPLAY offers. Throws nothing.
NativeRoute OpenNativeRoute();

// The compositor's idle notification, on the native route's connection, or GNOME's idle monitor
// on its route: counts every input, a pressed key too. Null where the route has none (then there
// is no native route either).
std::unique_ptr<DesktopIdleTime> OpenNativeIdleTime();

}  // namespace shared::wayland
