#pragma once

#include <cstdint>
#include <string>

#include "pointer_services.hpp"

namespace clicker {

inline constexpr std::int16_t kDefaultIdleLimit = 15;

// The idle watch: once a tick it samples the pointer, counts the ticks it rests on one pixel and,
// when the count reaches the limit, runs the click sequence on three consecutive ticks:
//   step 0: click the target;
//   step 1: click the target again;
//   step 2: put the pointer back where it rested and click there; start counting afresh.
// It owns no timer: the window that owns it calls Timer1_Timer once a second.
class IdleWatch {
 public:
  // The target texts stay as read from the coordinate file; they are converted at each click.
  IdleWatch(shared::Pointer& pointer, std::string target_x, std::string target_y);

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

 private:
  void ClickTarget();

  shared::Pointer& pointer_;
};

}  // namespace clicker
