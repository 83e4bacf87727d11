#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "pointer_services.hpp"

// What the desktop session itself can tell beside the pointer. In a Wayland session the programs
// are X11 clients of Xwayland: they see the pointer only while it is over an X11 window, so a
// pointer that reads still may be moving over a native Wayland window. The desktop's own idle
// time tells the two apart. And on Linux the pointer reads as usual while the screen is locked:
// only the session's lock state says that clicks would go to the locker.
namespace shared {

class DesktopIdleTime {
 public:
  virtual ~DesktopIdleTime() = default;

  // Milliseconds since the desktop last saw input from the user's keyboard or pointer, or nothing
  // when the desktop can't be asked (no session bus, no idle monitor, no answer in time). Never
  // waits longer than kDesktopAnswerTimeoutMs.
  virtual std::optional<std::uint64_t> MillisecondsSinceInput() = 0;
};

class SessionLock {
 public:
  virtual ~SessionLock() = default;

  // Whether the session's screen is locked, or nothing when that can't be told (no system bus,
  // no login manager, no session found, no answer in time). Never waits longer than
  // kDesktopAnswerTimeoutMs.
  virtual std::optional<bool> Locked() = 0;
};

inline constexpr int kDesktopAnswerTimeoutMs = 100;

struct DesktopSession {
  // A Wayland session reached through Xwayland: the pointer is seen and clicked only over X11
  // windows. False where the compositor's own protocols reach every window.
  bool wayland = false;
  // The desktop's idle time; in a Wayland session only, null elsewhere. Where the pointer is not
  // read every tick (the compositor's own protocols), it alone tells a still desktop.
  std::unique_ptr<DesktopIdleTime> idle_time;
  // The session's lock state; null on Windows, where a locked desktop shows as a pointer that
  // can't be read.
  std::unique_ptr<SessionLock> lock;
};

// Looks at the session the program runs in, beside `pointer`, the system pointer. Opens no bus
// itself: the system bus is opened at the first question about the lock, and in a Wayland
// session the session bus at the first question about the idle time. Throws nothing.
#ifdef _WIN32
// Windows has one kind of session, and the pointer is seen everywhere on it.
inline DesktopSession OpenDesktopSession(const Pointer&) { return {}; }
#else
DesktopSession OpenDesktopSession(const Pointer& pointer);
#endif

}  // namespace shared
