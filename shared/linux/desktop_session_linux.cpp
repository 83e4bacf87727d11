#include <cstdlib>
#include <string_view>

#include "../desktop_session.hpp"
#include "logind_session_lock.hpp"
#include "mutter_idle_time.hpp"
#include "wayland/native_route.hpp"

namespace shared {
namespace {

bool InWaylandSession() {
  const char* const display = std::getenv("WAYLAND_DISPLAY");
  if (display && *display) return true;
  const char* const type = std::getenv("XDG_SESSION_TYPE");
  return type && std::string_view(type) == "wayland";
}

}  // namespace

DesktopSession OpenDesktopSession(const Pointer& pointer) {
  if (!pointer.ReadEveryTick()) {
    return {.wayland = false,
            .idle_time = wayland::OpenNativeIdleTime(),
            .lock = OpenLogindSessionLock()};
  }
  const bool wayland = InWaylandSession();
  return {.wayland = wayland,
          .idle_time = wayland ? OpenMutterIdleTime() : nullptr,
          .lock = OpenLogindSessionLock()};
}

}  // namespace shared
