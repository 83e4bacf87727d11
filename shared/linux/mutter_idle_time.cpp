#include "mutter_idle_time.hpp"

#include "local_bus.hpp"

namespace shared {
namespace {

using sdbus::Clock;

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

std::unique_ptr<DesktopIdleTime> OpenMutterIdleTime() { return std::make_unique<MutterIdleTime>(); }

}  // namespace shared
