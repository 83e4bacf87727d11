#include <limits>

#include "../mutter_idle_time.hpp"
#include "ext-idle-notify-v1-client.h"
#include "idle-client.h"
#include "native_route.hpp"
#include "wayland_client.hpp"
#include "wayland_connection.hpp"

namespace shared::wayland {
namespace {

// The compositor tells when input stops for this long, and when it starts again after such a
// pause: short, so that input right after one of the program's own clicks is the user's.
constexpr std::uint32_t kPauseMs = 100;

// The milliseconds since the user's last input, from the compositor's idle notification. Its
// events are read when the watch asks, once a tick, and while the program's own input is under
// way (which is then not counted): nothing wakes the program meanwhile.
class CompositorIdleTime final : public DesktopIdleTime {
 public:
  explicit CompositorIdleTime(Connection& connection) : connection_(connection) {
    if (connection.idle_notifier) {
      static const ext_idle_notification_v1_listener listener = {
          .idled = [](void* data, ext_idle_notification_v1*) { Idled(data); },
          .resumed = [](void* data, ext_idle_notification_v1*) { Resumed(data); },
      };
      notification_ = ext_idle_notifier_v1_get_idle_notification(connection.idle_notifier, kPauseMs,
                                                                 connection.seat);
      ext_idle_notification_v1_add_listener(notification_, &listener, this);
    } else {
      static const org_kde_kwin_idle_timeout_listener listener = {
          .idle = [](void* data, org_kde_kwin_idle_timeout*) { Idled(data); },
          .resumed = [](void* data, org_kde_kwin_idle_timeout*) { Resumed(data); },
      };
      kde_timeout_ =
          org_kde_kwin_idle_get_idle_timeout(connection.kde_idle, connection.seat, kPauseMs);
      org_kde_kwin_idle_timeout_add_listener(kde_timeout_, &listener, this);
    }
    connection.RoundTrip();
  }
  ~CompositorIdleTime() override {
    if (notification_) ext_idle_notification_v1_destroy(notification_);
    if (kde_timeout_) org_kde_kwin_idle_timeout_release(kde_timeout_);
  }
  CompositorIdleTime(const CompositorIdleTime&) = delete;
  CompositorIdleTime& operator=(const CompositorIdleTime&) = delete;

  std::optional<std::uint64_t> MillisecondsSinceInput() override {
    if (!connection_.DispatchArrived()) return std::nullopt;
    if (user_active_ || !quiet_seen_) return 0;
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - last_user_input_)
            .count());
  }

 private:
  static void Resumed(void* data) {
    auto* self = static_cast<CompositorIdleTime*>(data);
    if (self->connection_.own_input) {
      self->own_active_ = true;
      return;
    }
    self->user_active_ = true;
  }
  // Events are read once a tick: input that ended since the last read is taken to have ended
  // just now, which is all a tick needs to know.
  static void Idled(void* data) {
    auto* self = static_cast<CompositorIdleTime*>(data);
    // A pause after the program's own input alone says nothing of the user's; the first pause
    // ends whatever came before the notification was asked for, which may be the user's.
    if (self->user_active_ || !self->quiet_seen_) {
      self->last_user_input_ = Clock::now() - std::chrono::milliseconds(kPauseMs);
    }
    self->user_active_ = self->own_active_ = false;
    self->quiet_seen_ = true;
  }

  Connection& connection_;
  ext_idle_notification_v1* notification_ = nullptr;
  org_kde_kwin_idle_timeout* kde_timeout_ = nullptr;
  // Input under way since the last pause: the user's, this program's own.
  bool user_active_ = false;
  bool own_active_ = false;
  // A notification starts as if input were under way: until its first pause, the user may be.
  bool quiet_seen_ = false;
  Clock::time_point last_user_input_;
};

}  // namespace

std::unique_ptr<DesktopIdleTime> OpenNativeIdleTime() {
  Connection* const connection = Connection::Get();
  // GNOME's route: mutter offers no idle protocol, but its idle monitor counts all input.
  if (connection && connection->Offers("gtk_shell1")) return OpenMutterIdleTime();
  if (!connection || !connection->seat || !(connection->idle_notifier || connection->kde_idle)) {
    return nullptr;
  }
  return std::make_unique<CompositorIdleTime>(*connection);
}

}  // namespace shared::wayland
