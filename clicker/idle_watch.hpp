#pragma once

#include <cstdint>
#include <limits>
#include <string>

#include "desktop_session.hpp"
#include "pointer_services.hpp"

namespace clicker {

inline constexpr std::int16_t kDefaultIdleLimit = 15;
inline constexpr std::uint64_t kTickMilliseconds = 1000;

// The idle watch: once a tick it samples the pointer, counts the ticks it rests on one pixel and,
// when the count reaches the limit, runs the click sequence on three consecutive ticks:
//   step 0: click the target;
//   step 1: click the target again;
//   step 2: put the pointer back where it rested and click there; start counting afresh.
// It owns no timer: the window that owns it calls Timer1_Timer once a second.
//
// A tick on which the user holds a mouse button is never a still one, and it ends a sequence
// under way without another move or click: the count starts again from that tick.
//
// Where the desktop tells its own idle time (a Wayland session, in which the X pointer is seen
// only over X11 windows), a tick on which the pointer reads the same pixel but the desktop saw
// input within the last tick is not a still one: it neither counts nor moves the resting place.
// Input no later than the watch's own last click is the watch's own, and holds nothing back.
//
// Where the pointer is not read every tick (a native Wayland session, Pointer::ReadEveryTick),
// the desktop's idle time alone tells a still tick: the user's input within the last tick counts
// as a move, any key included, and the pointer is read only when a sequence starts, for the place
// to return to. A target on no monitor starts no sequence there. The pointer is told of a
// sequence (BeginSequence) on the tick before it is due, where the limit allows, and told again
// (EndSequence) if input comes first.
//
// A tick on which the session is locked (Windows: the pointer can't be read; Linux: the session
// says so) starts the count again from 0 and, where the pointer reads, notes it as the resting
// place: nothing is clicked into a lock screen, and after the unlock exactly a full limit of
// still ticks passes first.
class IdleWatch {
 public:
  // The target texts stay as read from the coordinate file; they are converted at each click.
  // `desktop_idle` and `session_lock` may be null: the pointer alone then decides.
  IdleWatch(shared::Pointer& pointer, std::string target_x, std::string target_y,
            shared::DesktopIdleTime* desktop_idle = nullptr,
            shared::SessionLock* session_lock = nullptr);

  // One tick. Throws RunFailure if a target text isn't a coordinate when it is to be clicked.
  void Timer1_Timer();

  // Takes effect from the next tick; the count is not reset, and a sequence under way finishes.
  void SetIdleLimit(std::int16_t limit) { IdleLimit = limit; }

  // The target as read from the coordinate file, held here alone for the whole run.
  const std::string TargetX;
  const std::string TargetY;
  std::int16_t IdleCount = 0;
  std::int16_t IdleLimit = kDefaultIdleLimit;
  shared::POINT LastPos{};
  bool Clicking = false;
  std::int16_t ClickStep = 0;

  // The desktop was asked for its idle time and couldn't tell, the last time it was asked.
  bool DesktopIdleUnknown = false;
  // The session was asked whether it is locked and couldn't tell, the last time it was asked.
  bool LockStateUnknown = false;
  // The last sequence due didn't start: the pointer couldn't be read for the place to return to.
  bool RestPlaceUnknown = false;
  // The last sequence due didn't start: the target lies on no monitor.
  bool TargetOffScreen = false;
  // The last tick read no buttons because the window in front keeps them from this program.
  bool ButtonsOutOfReach = false;

 private:
  bool StartSequenceAtRest();
  void Prepare();
  void Unprepare();
  void ResetCount();
  void ClickStepDue();
  void ClickTarget();
  void Click(std::int32_t x, std::int32_t y);
  bool DesktopSawUserInput();
  bool SessionLocked();

  shared::Pointer& pointer_;
  shared::DesktopIdleTime* desktop_idle_;
  shared::SessionLock* session_lock_;
  // Ticks since the one on which the watch last clicked, counting this one; stops at its top.
  std::uint32_t ticks_since_own_input_ = std::numeric_limits<std::uint32_t>::max();
  // The pointer was told of a sequence due on the next tick (BeginSequence), not yet begun.
  bool prepared_ = false;
};

}  // namespace clicker
