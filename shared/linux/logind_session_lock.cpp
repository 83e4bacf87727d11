#include "logind_session_lock.hpp"

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "local_bus.hpp"

namespace shared {
namespace {

using sdbus::Clock;

constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSessionInterface = "org.freedesktop.login1.Session";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kBus = "org.freedesktop.DBus";
constexpr std::string_view kLockedHint = "LockedHint";

// logind's owner coming, going or changing, and nothing else: the bus daemon sends the signal,
// and only to a match that asks for it.
constexpr const char* kOwnerMatch =
    "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
    "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='org.freedesktop.login1'";

// After a failure (no system bus, no logind, no session) the next try waits this long, so an
// absent service costs no round trip on every tick.
constexpr auto kRetryAfter = std::chrono::seconds(10);

// The part of a tick's budget that handling signals may take; the rest is left for a question.
constexpr auto kSignalBudget = std::chrono::milliseconds(kDesktopAnswerTimeoutMs / 2);

// Asks once for the session's LockedHint, then keeps it up to date from logind's
// PropertiesChanged signals, which wait on the socket until the next question: a tick reads
// what has come in and waits for nothing.
//
// Only logind may change the answer. A match on a well-known sender lets every connection's
// signal through (sd-bus can't tell who owns the name), and any local user may send a signal to
// a given connection; so a change counts only when its sender is the unique name that owns
// org.freedesktop.login1, as the bus said when asked and as its NameOwnerChanged signals say
// since. When that owner changes or goes (logind restarted: it keeps no LockedHint across a
// restart and signals none), the hint is asked for again at once; while logind can't be
// asked, the state is unknown.
class LogindSessionLock final : public SessionLock {
 public:
  std::optional<bool> Locked() override {
    const Clock::time_point now = Clock::now();
    const Clock::time_point deadline = now + std::chrono::milliseconds(kDesktopAnswerTimeoutMs);
    if (watching_) {
      if (bus_.ProcessPending(now + kSignalBudget) && !owner_changed_ &&
          (locked_.has_value() || ReadLockedHint(deadline))) {
        return locked_;
      }
      const bool ask_again = owner_changed_;
      Stop();
      if (!ask_again) {
        next_try_ = now + kRetryAfter;
        return std::nullopt;
      }
    } else if (now < next_try_) {
      return std::nullopt;
    }
    watching_ = Watch(deadline);
    if (watching_) return locked_;
    Stop();
    next_try_ = now + kRetryAfter;
    return std::nullopt;
  }

 private:
  void Stop() {
    bus_.Close();
    watching_ = false;
    owner_changed_ = false;
    owner_.clear();
    locked_.reset();
  }

  bool Watch(Clock::time_point deadline) {
    if (!bus_.Connect(deadline)) return false;
    const sdbus::Library& sd = bus_.Functions();
    // Each signal's match first, then the value it keeps up to date: a change made after the
    // answer comes as a signal. A match the bus refuses closes the connection, which the next
    // tick sees.
    if (sd.add_match_async(bus_.Bus(), nullptr, kOwnerMatch, &OnOwnerChanged, nullptr, this) < 0) {
      return false;
    }
    const sdbus::Message reply =
        bus_.Call(deadline, kBus, "/org/freedesktop/DBus", kBus, "GetNameOwner", "s", kLogind);
    const char* owner = nullptr;
    if (!reply || sd.message_read(reply.get(), "s", &owner) <= 0) return false;
    owner_ = owner;
    return FindSession(deadline) &&
           sd.match_signal_async(bus_.Bus(), nullptr, kLogind, session_path_.c_str(), kProperties,
                                 "PropertiesChanged", &OnPropertiesChanged, nullptr, this) >= 0 &&
           ReadLockedHint(deadline);
  }

  // Which session's lock stops the clicks:
  //   1. the one XDG_SESSION_ID names, where logind says it is this user's (the variable may be
  //      stale, as in a terminal multiplexer started from an earlier login, or set by hand);
  //   2. otherwise logind's "auto" session: the caller's own, found by its process, or the
  //      user's display session for a program started outside any session (a user service);
  // and that one only when it is graphical (Type x11, wayland or mir): a session from ssh or a
  // text console is never locked, so following it would say "unlocked" for good. Else
  //   3. the user's display session (the User object's Display), when it is graphical.
  // With none of these the state is unknown, and the tip says so.
  bool FindSession(Clock::time_point deadline) {
    std::string path;
    if (const char* const id = std::getenv("XDG_SESSION_ID"); id && *id) {
      path = SessionPath(deadline, id);
      if (!path.empty() && SessionUser(deadline, path) != ::getuid()) path.clear();
    }
    if (path.empty()) {
      const sdbus::Message reply =
          Property(deadline, "/org/freedesktop/login1/session/auto", kSessionInterface, "Id");
      const char* auto_id = nullptr;
      if (reply && bus_.Functions().message_read(reply.get(), "v", "s", &auto_id) > 0) {
        // Signals come from the session's own object only, never from ".../session/auto".
        path = SessionPath(deadline, auto_id);
      }
    }
    if (path.empty() || !Graphical(deadline, path)) path = DisplaySession(deadline);
    if (path.empty() || !Graphical(deadline, path)) return false;
    session_path_ = path;
    return true;
  }

  // One property of one of logind's objects, as a variant to read; null on an error.
  sdbus::Message Property(Clock::time_point deadline, const char* path, const char* interface,
                          const char* name) {
    return bus_.Call(deadline, kLogind, path, kProperties, "Get", "ss", interface, name);
  }

  std::string SessionPath(Clock::time_point deadline, const char* id) {
    const sdbus::Message reply =
        bus_.Call(deadline, kLogind, kManagerPath, kManager, "GetSession", "s", id);
    const char* path = nullptr;
    if (!reply || bus_.Functions().message_read(reply.get(), "o", &path) <= 0) return {};
    return path;
  }

  // The uid the session belongs to; nothing when logind can't tell (no such session).
  std::optional<uid_t> SessionUser(Clock::time_point deadline, const std::string& path) {
    const sdbus::Message reply = Property(deadline, path.c_str(), kSessionInterface, "User");
    std::uint32_t uid = 0;
    const char* user_path = nullptr;
    if (!reply || bus_.Functions().message_read(reply.get(), "v", "(uo)", &uid, &user_path) <= 0) {
      return std::nullopt;
    }
    return static_cast<uid_t>(uid);
  }

  bool Graphical(Clock::time_point deadline, const std::string& path) {
    const sdbus::Message reply = Property(deadline, path.c_str(), kSessionInterface, "Type");
    const char* type = nullptr;
    if (!reply || bus_.Functions().message_read(reply.get(), "v", "s", &type) <= 0) return false;
    const std::string_view kind = type;
    return kind == "x11" || kind == "wayland" || kind == "mir";
  }

  // The session logind names as this user's display: its graphical one, if any.
  std::string DisplaySession(Clock::time_point deadline) {
    const sdbus::Library& sd = bus_.Functions();
    const sdbus::Message user = bus_.Call(deadline, kLogind, kManagerPath, kManager, "GetUser", "u",
                                          static_cast<std::uint32_t>(::getuid()));
    const char* user_path = nullptr;
    if (!user || sd.message_read(user.get(), "o", &user_path) <= 0) return {};
    const sdbus::Message reply =
        Property(deadline, user_path, "org.freedesktop.login1.User", "Display");
    const char* id = nullptr;
    const char* path = nullptr;
    if (!reply || sd.message_read(reply.get(), "v", "(so)", &id, &path) <= 0 || !*id) return {};
    return path;
  }

  bool ReadLockedHint(Clock::time_point deadline) {
    const sdbus::Message reply =
        Property(deadline, session_path_.c_str(), kSessionInterface, kLockedHint.data());
    int locked = 0;
    if (!reply || bus_.Functions().message_read(reply.get(), "v", "b", &locked) <= 0) {
      return false;
    }
    locked_ = locked != 0;
    return true;
  }

  // NameOwnerChanged(s name, s old_owner, s new_owner), from the bus daemon alone: no other
  // connection can send as org.freedesktop.DBus.
  static int OnOwnerChanged(sd_bus_message* message, void* self_pointer, sd_bus_error*) {
    auto& self = *static_cast<LogindSessionLock*>(self_pointer);
    const sdbus::Library& sd = self.bus_.Functions();
    const char* const sender = sd.message_get_sender(message);
    const char* name = nullptr;
    const char* old_owner = nullptr;
    const char* new_owner = nullptr;
    if (!sender || sender != std::string_view(kBus) ||
        sd.message_read(message, "sss", &name, &old_owner, &new_owner) <= 0 ||
        name != std::string_view(kLogind)) {
      return 0;
    }
    // The owner the bus named when asked may come again in a signal sent before the answer.
    if (new_owner != self.owner_) self.owner_changed_ = true;
    return 0;
  }

  // PropertiesChanged(s interface, a{sv} changed, as invalidated), from logind's owner alone.
  static int OnPropertiesChanged(sd_bus_message* message, void* self_pointer, sd_bus_error*) {
    auto& self = *static_cast<LogindSessionLock*>(self_pointer);
    const sdbus::Library& sd = self.bus_.Functions();
    const char* const sender = sd.message_get_sender(message);
    if (!sender || self.owner_.empty() || sender != self.owner_) return 0;
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
  // The unique name that owns org.freedesktop.login1, and whether the bus has said since that
  // another one does, or none.
  std::string owner_;
  bool owner_changed_ = false;
  std::string session_path_;
  std::optional<bool> locked_;
  Clock::time_point next_try_{};
};

}  // namespace

std::unique_ptr<SessionLock> OpenLogindSessionLock() {
  return std::make_unique<LogindSessionLock>();
}

}  // namespace shared
