#include <systemd/sd-bus.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string_view>

#include "../desktop_session.hpp"

namespace shared {
namespace {

using Clock = std::chrono::steady_clock;

bool InWaylandSession() {
  const char* const display = std::getenv("WAYLAND_DISPLAY");
  if (display && *display) return true;
  const char* const type = std::getenv("XDG_SESSION_TYPE");
  return type && std::string_view(type) == "wayland";
}

// Microseconds left until `deadline`; 0 once it has passed.
std::uint64_t MicrosecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<std::uint64_t>(left.count()) : 0;
}

// GNOME's idle monitor on the session bus: GetIdletime answers the milliseconds since the last
// input the compositor saw, from every device and every window, Wayland's own included.
class MutterIdleTime final : public DesktopIdleTime {
 public:
  MutterIdleTime() = default;
  ~MutterIdleTime() override { Close(); }
  MutterIdleTime(const MutterIdleTime&) = delete;
  MutterIdleTime& operator=(const MutterIdleTime&) = delete;

  std::optional<std::uint64_t> MillisecondsSinceInput() override {
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(kDesktopIdleTimeoutMs);
    if (!Connected(deadline)) {
      Close();
      return std::nullopt;
    }
    // Drops what came in since the last question: a late answer to a call that timed out, the
    // bus's own signals. Nothing here waits.
    while (sd_bus_process(bus_, nullptr) > 0) {
    }

    sd_bus_message* call = nullptr;
    if (sd_bus_message_new_method_call(bus_, &call, "org.gnome.Mutter.IdleMonitor",
                                       "/org/gnome/Mutter/IdleMonitor/Core",
                                       "org.gnome.Mutter.IdleMonitor", "GetIdletime") < 0) {
      return std::nullopt;
    }
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const std::uint64_t left = MicrosecondsLeft(deadline);
    const int called = left > 0 ? sd_bus_call(bus_, call, left, &error, &reply) : -ETIMEDOUT;
    std::uint64_t milliseconds = 0;
    const bool answered = called >= 0 && sd_bus_message_read(reply, "t", &milliseconds) > 0;
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    if (!answered) return std::nullopt;
    return milliseconds;
  }

 private:
  // Opens the session bus if it isn't open, and waits until it has said hello, but no longer
  // than `deadline`: sd_bus_call itself would wait for that without a limit.
  bool Connected(Clock::time_point deadline) {
    if (bus_ && sd_bus_is_open(bus_) <= 0) Close();
    if (!bus_ && sd_bus_open_user(&bus_) < 0) {
      bus_ = nullptr;
      return false;
    }
    for (;;) {
      const int ready = sd_bus_is_ready(bus_);
      if (ready > 0) return true;
      if (ready < 0) return false;
      const int processed = sd_bus_process(bus_, nullptr);
      if (processed < 0) return false;
      if (processed > 0) continue;
      const std::uint64_t left = MicrosecondsLeft(deadline);
      if (left == 0 || sd_bus_wait(bus_, left) < 0) return false;
    }
  }

  void Close() {
    if (bus_) sd_bus_close_unref(bus_);
    bus_ = nullptr;
  }

  sd_bus* bus_ = nullptr;
};

}  // namespace

DesktopSession OpenDesktopSession() {
  if (!InWaylandSession()) return {};
  return {.wayland = true, .idle_time = std::make_unique<MutterIdleTime>()};
}

}  // namespace shared
