#include "logind_session_lock.hpp"

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "local_bus.hpp"

namespace shared {
namespace {

using sdbus::Clock;

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr std::string_view kLockedHint = "LockedHint";

// After a failure (no system bus, no logind, no session) the next try waits this long, so an
// absent service costs no round trip on every tick.
constexpr auto kRetryAfter = std::chrono::seconds(10);

// Asks once for the session's LockedHint, then keeps it up to date from logind's
// PropertiesChanged signals, which wait on the socket until the next question: a tick reads
// what has come in and waits for nothing.
class LogindSessionLock final : public SessionLock {
 public:
  std::optional<bool> Locked() override {
    const Clock::time_point now = Clock::now();
    const Clock::time_point deadline = now + std::chrono::milliseconds(kDesktopAnswerTimeoutMs);
    if (!watching_) {
      if (now < next_try_) return std::nullopt;
      watching_ = Watch(deadline);
    }
    if (watching_ && bus_.ProcessPending() && (locked_.has_value() || ReadLockedHint(deadline))) {
      return locked_;
    }
    bus_.Close();
    watching_ = false;
    locked_.reset();
    next_try_ = now + kRetryAfter;
    return std::nullopt;
  }

 private:
  bool Watch(Clock::time_point deadline) {
    if (!bus_.Connect(deadline) || !FindSession(deadline)) return false;
    // The signal first, then the value: a change logind makes after its answer comes as a
    // signal. A match the bus refuses closes the connection, which the next tick sees.
    const sdbus::Library& sd = bus_.Functions();
    return sd.match_signal_async(bus_.Bus(), nullptr, kLogind, session_path_.c_str(), kProperties,
                                 "PropertiesChanged", &OnPropertiesChanged, nullptr, this) >= 0 &&
           ReadLockedHint(deadline);
  }

  // The session named by XDG_SESSION_ID where pam_systemd has set it for the program's session;
  // else logind's "auto" session: the caller's own, or the user's display session for a program
  // started outside any session (by a user service, say).
  bool FindSession(Clock::time_point deadline) {
    const sdbus::Library& sd = bus_.Functions();
    std::string id;
    if (const char* const from_environment = std::getenv("XDG_SESSION_ID");
        from_environment && *from_environment) {
      id = from_environment;
    } else {
      const sdbus::Message reply =
          bus_.Call(deadline, kLogind, "/org/freedesktop/login1/session/auto", kProperties, "Get",
                    "ss", kSessionInterface, "Id");
      const char* auto_id = nullptr;
      if (!reply || sd.message_read(reply.get(), "v", "s", &auto_id) <= 0) return false;
      id = auto_id;
    }
    // Signals come from the session's own object only, never from ".../session/auto".
    const sdbus::Message reply =
        bus_.Call(deadline, kLogind, "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                  "GetSession", "s", id.c_str());
    const char* path = nullptr;
    if (!reply || sd.message_read(reply.get(), "o", &path) <= 0) return false;
    session_path_ = path;
    return true;
  }

  bool ReadLockedHint(Clock::time_point deadline) {
    const sdbus::Message reply = bus_.Call(deadline, kLogind, session_path_.c_str(), kProperties,
                                           "Get", "ss", kSessionInterface, kLockedHint.data());
    int locked = 0;
    if (!reply || bus_.Functions().message_read(reply.get(), "v", "b", &locked) <= 0) {
      return false;
    }
    locked_ = locked != 0;
    return true;
  }

  // PropertiesChanged(s interface, a{sv} changed, as invalidated).
  static int OnPropertiesChanged(sd_bus_message* message, void* self_pointer, sd_bus_error*) {
    auto& self = *static_cast<LogindSessionLock*>(self_pointer);
    const sdbus::Library& sd = self.bus_.Functions();
    const char* interface = nullptr;
    if (sd.message_read(message, "s", &interface) <= 0 ||
        interface != std::string_view(kSessionInterface)) {
      return 0;
    }
    // Anything unreadable, or the hint named without its value, is asked for at the next tick.
    bool read = sd.message_enter_container(message, SD_BUS_TYPE_ARRAY, "{sv}") > 0;
    while (read && sd.message_enter_container(message, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
      const char* name = nullptr;
      read = sd.message_read(message, "s", &name) > 0;
      if (read && name == kLockedHint) {
        int locked = 0;
        read = sd.message_read(message, "v", "b", &locked) > 0;
        if (read) self.locked_ = locked != 0;
      } else if (read) {
        read = sd.message_skip(message, "v") >= 0;
      }
      read = read && sd.message_exit_container(message) >= 0;
    }
    read = read && sd.message_exit_container(message) >= 0 &&
           sd.message_enter_container(message, SD_BUS_TYPE_ARRAY, "s") > 0;
    const char* invalidated = nullptr;
    while (read && sd.message_read(message, "s", &invalidated) > 0) {
      if (invalidated == kLockedHint) self.locked_.reset();
    }
    if (!read) self.locked_.reset();
    return 0;
  }

  sdbus::LocalBus bus_{sdbus::LocalBus::Kind::kSystem};
  bool watching_ = false;
  std::string session_path_;
  std::optional<bool> locked_;
  Clock::time_point next_try_{};
};

}  // namespace

std::unique_ptr<SessionLock> OpenLogindSessionLock() {
  return std::make_unique<LogindSessionLock>();
}

}  // namespace shared
