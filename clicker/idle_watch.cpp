#include "idle_watch.hpp"

#include <limits>
#include <utility>

#include "coordinate_text.hpp"
#include "module1a.hpp"
#include "run_failure.hpp"
#include "shown_text.hpp"

namespace clicker {
namespace {

std::int32_t ConvertTarget(const std::string& text, const char* axis) {
  if (const auto value = shared::ToCoordinate(text)) return *value;
  throw shared::RunFailure(std::string("The target's ") + axis + " coordinate " +
                           shared::ShownText(text) + " is not a whole number of pixels.");
}

}  // namespace

// By the count, the watch's own last click is a whole number of ticks old when the desktop is
// asked. It is younger when the tick that clicked came later than the tick that asks (timers run
// a few milliseconds late, more under load): input up to this much younger is still its own.
constexpr std::uint64_t kOwnInputSlackMs = kTickMilliseconds / 4;

IdleWatch::IdleWatch(shared::Pointer& pointer, std::string target_x, std::string target_y,
                     shared::DesktopIdleTime* desktop_idle, shared::SessionLock* session_lock)
    : TargetX(std::move(target_x)),
      TargetY(std::move(target_y)),
      pointer_(pointer),
      desktop_idle_(desktop_idle),
      session_lock_(session_lock) {}

void IdleWatch::Timer1_Timer() {
  if (ticks_since_own_input_ < std::numeric_limits<std::uint32_t>::max()) ++ticks_since_own_input_;
  shared::POINT current = LastPos;
  const bool seen = !pointer_.ReadEveryTick() || pointer_.GetCursorPos(current);

  // A held button is the user at work with a still pointer (a drag paused over a folder, a press
  // held on a scroll arrow): the count starts again, as for a moved pointer, and no sequence
  // starts or goes on, since a move now would drag what is held and a click would drop it. A
  // locked session is the user away behind a lock screen, which clicks would only wake: the
  // count starts again too, and a sequence under way ends. Either way the pointer is noted where
  // it reads, so the first free tick that finds it there counts as still and a full limit
  // passes, not one tick more, before the next sequence. On Windows a
  // lock shows only as a pointer that can't be read: GetCursorPos needs the input desktop to be
  // the current desktop (Microsoft's GetCursorPos page), and a locked workstation shows a secure
  // desktop instead (the "Winlogon States" page). So an unreadable pointer counts as a lock: it
  // is not a pointer resting at (0, 0), and a sequence doesn't click on behind it.
  const bool held = pointer_.AnyButtonHeld();
  ButtonsOutOfReach = held && pointer_.ButtonsOutOfReach();
  if (held || !seen || SessionLocked()) {
    if (seen) LastPos = current;
    ResetCount();
    return;
  }

  if (!Clicking) {
    if (pointer_.ReadEveryTick()) {
      // The pointer may have left its native route (GNOME's cast failed) since it was told.
      Unprepare();
      // Nor is a pointer at rest that reads still while the user works where the X pointer
      // can't be seen.
      if (current == LastPos && DesktopSawUserInput()) return;
      if (current == LastPos) {
        // Stops at the top instead of overflowing when the limit lies below the count.
        if (IdleCount < std::numeric_limits<std::int16_t>::max()) ++IdleCount;
      } else {
        LastPos = current;
        IdleCount = 0;
      }
      if (IdleCount != IdleLimit) return;
    } else {
      const bool input = DesktopSawUserInput();
      // Without the desktop's word a tick can't be told still.
      if (!desktop_idle_ || DesktopIdleUnknown) {
        IdleCount = 0;
        Unprepare();
        return;
      }
      if (input) {
        IdleCount = 0;
      } else if (IdleCount < std::numeric_limits<std::int16_t>::max()) {
        ++IdleCount;
      }
      // Told a tick ahead, so that a platform that needs a moment to set up the clicks (GNOME's
      // cast) has it before the first click's tick. Not from a count of 0: that would be on
      // every tick with input.
      if (IdleCount > 0 && IdleCount + 1 == IdleLimit) {
        Prepare();
      } else if (IdleCount != IdleLimit) {
        Unprepare();
      }
      if (IdleCount != IdleLimit || !StartSequenceAtRest()) return;
    }
    Clicking = true;
  } else {
    // Past a held button or a lock, the pointer is not watched during a sequence, and the
    // sequence runs to its end even if the limit changed after it began.
    ++ClickStep;
  }
  ClickStepDue();
}

// The tick a sequence is due where the pointer is not read every tick: the place to return to
// is read now, and the target checked, before anything moves. False, with the count started
// again, where the sequence can't run.
bool IdleWatch::StartSequenceAtRest() {
  const std::int32_t x = ConvertTarget(TargetX, "X");
  const std::int32_t y = ConvertTarget(TargetY, "Y");
  Prepare();
  prepared_ = false;
  TargetOffScreen = !pointer_.OnScreen(x, y);
  shared::POINT rest{};
  RestPlaceUnknown = !TargetOffScreen && !pointer_.GetCursorPos(rest);
  if (TargetOffScreen || RestPlaceUnknown) {
    pointer_.EndSequence();
    IdleCount = 0;
    return false;
  }
  LastPos = rest;
  return true;
}

void IdleWatch::Prepare() {
  if (!prepared_) pointer_.BeginSequence();
  prepared_ = true;
}

void IdleWatch::Unprepare() {
  if (prepared_) pointer_.EndSequence();
  prepared_ = false;
}

void IdleWatch::ResetCount() {
  Unprepare();
  if (Clicking) pointer_.EndSequence();
  IdleCount = 0;
  Clicking = false;
  ClickStep = 0;
}

void IdleWatch::ClickStepDue() {
  if (ClickStep < 2) {
    ClickTarget();
  } else {
    Click(LastPos.x, LastPos.y);
    ResetCount();
  }
}

void IdleWatch::ClickTarget() {
  const std::int32_t x = ConvertTarget(TargetX, "X");
  const std::int32_t y = ConvertTarget(TargetY, "Y");
  Click(x, y);
}

void IdleWatch::Click(std::int32_t x, std::int32_t y) {
  ClickAt(pointer_, x, y);
  ticks_since_own_input_ = 0;
}

bool IdleWatch::SessionLocked() {
  if (!session_lock_) return false;
  const std::optional<bool> locked = session_lock_->Locked();
  LockStateUnknown = !locked;
  return locked.value_or(false);
}

bool IdleWatch::DesktopSawUserInput() {
  if (!desktop_idle_) return false;
  const std::optional<std::uint64_t> idle_ms = desktop_idle_->MillisecondsSinceInput();
  DesktopIdleUnknown = !idle_ms;
  if (!idle_ms || *idle_ms >= kTickMilliseconds) return false;
  // The watch's own last click was this many ticks ago; input no later than that is its own.
  const std::uint64_t own_input_ms = std::uint64_t{ticks_since_own_input_} * kTickMilliseconds;
  return *idle_ms + kOwnInputSlackMs < own_input_ms;
}

}  // namespace clicker
