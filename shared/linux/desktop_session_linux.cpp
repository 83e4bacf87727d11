#include <cstdlib>
#include <string_view>

#include "../desktop_session.hpp"
#include "local_bus.hpp"
#include "logind_session_lock.hpp"
#include "wayland/native_route.hpp"

namespace shared {
namespace {

using sdbus::Clock;

bool InWaylandSession() {
  const char* const display = std::getenv("WAYLAND_DISPLAY");
  if (display && *display) return true;
  const char* const type = std::getenv("XDG_SESSION_TYPE");
  return type && std::string_view(type) == "wayland";
}

// GNOME's idle monitor on the session bus: GetIdletime answers the milliseconds since the last
// input the compositor saw, from every device and every window, Wayland's own included.
class MutterIdleTime final : public DesktopIdleTime {
 public:
  std::optional<std::uint64_t> MillisecondsSinceInput() override {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(kDesktopAnswerTimeoutMs);
    // Drops what came in since the last question: a late answer to a call that timed out, the
    // bus's own signals. Nothing here waits.
    if (!bus_.Connect(deadline) || !bus_.ProcessPending(deadline)) {
      bus_.Close();
      return std::nullopt;
    }
    const sdbus::Message reply =
        bus_.Call(deadline, "org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                  "org.gnome.Mutter.IdleMonitor", "GetIdletime", "");
    std::uint64_t milliseconds = 0;
    if (!reply || bus_.Functions().message_read(reply.get(), "t", &milliseconds) <= 0) {
      return std::nullopt;
    }
    return milliseconds;
  }

 private:
  sdbus::LocalBus bus_{sdbus::LocalBus::Kind::kSession};
};

}  // namespace

DesktopSession OpenDesktopSession(const Pointer& pointer) {
  if (!pointer.ReadEveryTick()) {
    return {.wayland = false,
            .idle_time = wayland::OpenNativeIdleTime(),
            .lock = OpenLogindSessionLock()};
  }
  const bool wayland = InWaylandSession();
  return {.wayland = wayland,
          .idle_time = wayland ? std::make_unique<MutterIdleTime>() : nullptr,
          .lock = OpenLogindSessionLock()};
}

}  // namespace shared
