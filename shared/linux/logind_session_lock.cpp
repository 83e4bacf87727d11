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

// After a failure to reach a logind that never answered (no system bus, no logind, no session)
// the next try waits this long, so an absent service costs no round trip on every tick. Once
// logind has answered, a failure is tried again on the next tick.
constexpr auto kRetryAfter = std::chrono::seconds(10);

// The part of a tick's budget that dropping unasked messages may take; the rest is the question's.
constexpr auto kDropBudget = std::chrono::milliseconds(kDesktopAnswerTimeoutMs / 2);

// Asks logind for the session's LockedHint on every tick. A change signalled once would be lost
// for good when the bus drops it: the bus drops any message to a connection whose queue is full,
// and any local user may fill that queue with signals of their own. A question's answer can't be
// forged either: the bus routes it to the owner of org.freedesktop.login1, which only root may
// own, and passes on no answer but that owner's. Messages nobody asked for are dropped first, so
// the queue the answer comes through is empty when asked. While logind can't be asked, the state
// is unknown.
class LogindSessionLock final : public SessionLock {
 public:
  std::optional<bool> Locked() override {
    const Clock::time_point now = Clock::now();
    const Clock::time_point deadline = now + std::chrono::milliseconds(kDesktopAnswerTimeoutMs);
    if (!found_) {
      if (now < next_try_) return std::nullopt;
      found_ = bus_.Connect(deadline) && FindSession(deadline);
      if (!found_) return Lost(now);
    } else if (!bus_.ProcessPending(now + kDropBudget)) {
      return Lost(now);
    }
    const std::optional<bool> locked = ReadLockedHint(deadline);
    // logind restarted, the session ended, or no answer in time: found again on the next tick, on
    // a new connection with an empty queue.
    if (!locked) return Lost(now);
    answered_ = true;
    return locked;
  }

 private:
  std::optional<bool> Lost(Clock::time_point now) {
    bus_.Close();
    found_ = false;
    if (!answered_) next_try_ = now + kRetryAfter;
    return std::nullopt;
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

  std::optional<bool> ReadLockedHint(Clock::time_point deadline) {
    const sdbus::Message reply =
        Property(deadline, session_path_.c_str(), kSessionInterface, "LockedHint");
    int locked = 0;
    if (!reply || bus_.Functions().message_read(reply.get(), "v", "b", &locked) <= 0) {
      return std::nullopt;
    }
    return locked != 0;
  }

  sdbus::LocalBus bus_{sdbus::LocalBus::Kind::kSystem};
  bool found_ = false;     // connected, with the session to ask about
  bool answered_ = false;  // logind has answered once: a failure is tried again at once
  std::string session_path_;
  Clock::time_point next_try_{};
};

}  // namespace

std::unique_ptr<SessionLock> OpenLogindSessionLock() {
  return std::make_unique<LogindSessionLock>();
}

}  // namespace shared
