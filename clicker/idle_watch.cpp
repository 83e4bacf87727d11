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

IdleWatch::IdleWatch(shared::Pointer& pointer, std::string target_x, std::string target_y)
    : TargetX(std::move(target_x)), TargetY(std::move(target_y)), pointer_(pointer) {}

void IdleWatch::Timer1_Timer() {
  shared::POINT current{};
  const bool seen = pointer_.GetCursorPos(current);

  if (!Clicking) {
    // A pointer that can't be read (a locked desktop) is not a pointer resting at (0, 0): the
    // tick neither counts nor moves the resting place.
    if (!seen) return;
    if (current == LastPos) {
      // Stops at the top instead of overflowing when the limit lies below the count.
      if (IdleCount < std::numeric_limits<std::int16_t>::max()) ++IdleCount;
    } else {
      LastPos = current;
      IdleCount = 0;
    }
    if (IdleCount != IdleLimit) return;
    Clicking = true;
  } else {
    // The pointer is not watched during a sequence, and the sequence runs to its end even if the
    // limit changed after it began.
    ++ClickStep;
  }

  if (ClickStep < 2) {
    ClickTarget();
  } else {
    ClickAt(pointer_, LastPos.x, LastPos.y);
    ClickStep = 0;
    Clicking = false;
    IdleCount = 0;
  }
}

void IdleWatch::ClickTarget() {
  const std::int32_t x = ConvertTarget(TargetX, "X");
  const std::int32_t y = ConvertTarget(TargetY, "Y");
  ClickAt(pointer_, x, y);
}

}  // namespace clicker
