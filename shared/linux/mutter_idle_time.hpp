#pragma once

#include <memory>

#include "../desktop_session.hpp"

namespace shared {

// GNOME's idle monitor on the session bus (org.gnome.Mutter.IdleMonitor): the milliseconds since
// the last input the compositor saw, from every device and every window, Wayland's own included.
// The bus is opened at the first question.
std::unique_ptr<DesktopIdleTime> OpenMutterIdleTime();

}  // namespace shared
