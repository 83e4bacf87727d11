#include "gnome_pointer.hpp"

#include <utility>

namespace shared::gnome {
namespace {

constexpr const char* kNothingSent =
    "GNOME's screen cast sent nothing within a second (is WirePlumber running?).";

}  // namespace

GnomePointer::GnomePointer(std::unique_ptr<Caster> caster, std::unique_ptr<Pointer> fallback,
                           std::function<void(const std::string&)> report)
    : caster_(std::move(caster)), fallback_(std::move(fallback)), report_(std::move(report)) {}

bool GnomePointer::Open(bool input) {
  cast_.reset();
  std::string failure;
  cast_ = caster_->Open(input, failure);
  if (!cast_) {
    Fail(std::move(failure));
    return false;
  }
  cast_input_ = input;
  opened_ = Clock::now();
  monitors_ = cast_->Monitors();
  return true;
}

void GnomePointer::Fail(std::string failure) {
  cast_.reset();
  moved_ = false;
  failure_ = std::move(failure);
  report_(Route());
}

bool GnomePointer::GetCursorPos(POINT& point) {
  if (Fallen()) return fallback_->GetCursorPos(point);
  if (failure_) return false;
  // Outside a round of clicks and without FollowContinuously, a cast is opened for the one read.
  const bool one_read = !cast_ && !following_ && !native_sequence_;
  if (!cast_ && !Open(false)) return fallback_->GetCursorPos(point);
  // Opened a tick before the clicks, the streams have started by now.
  const Cast::Reading reading = cast_->Cursor(opened_ + kStartLimit);
  if (!reading.started) {
    Fail(kNothingSent);
    return Fallen() && fallback_->GetCursorPos(point);
  }
  const bool seen = reading.monitor && *reading.monitor < cast_->Monitors().size();
  if (seen) point = FromStream(cast_->Monitors()[*reading.monitor], reading.x, reading.y);
  if (one_read) cast_.reset();
  return seen;
}

bool GnomePointer::SetCursorPos(std::int32_t x, std::int32_t y) {
  if (Fallen()) return fallback_->SetCursorPos(x, y);
  moved_ = false;
  if (failure_) return false;
  if ((!cast_ || !cast_input_) && !Open(true)) return native_sequence_ ? false : SetCursorPos(x, y);
  const std::optional<std::size_t> monitor = MonitorHolding(cast_->Monitors(), x, y);
  // A point on no monitor is refused rather than clamped to an edge.
  if (!monitor) return false;
  const Monitor& on = cast_->Monitors()[*monitor];
  // Twice: the first move of the remote desktop's new pointer can land off target (measured
  // with no other pointer on the seat).
  if (!cast_->Move(on, ToStream(on, x, y)) || !cast_->Move(on, ToStream(on, x, y))) {
    Fail("GNOME refused to move the pointer through its remote desktop.");
    return false;
  }
  moved_ = true;
  return true;
}

bool GnomePointer::mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                               std::uint32_t data, std::uintptr_t extra_info) {
  if (Fallen()) return fallback_->mouse_event(flags, dx, dy, data, extra_info);
  // Where the move was refused, the press would land wherever the pointer is.
  if (!moved_ || !cast_) return false;
  for (const auto& [flag, pressed] :
       {std::pair{MOUSEEVENTF_LEFTDOWN, true}, std::pair{MOUSEEVENTF_LEFTUP, false}}) {
    if ((flags & flag) && !cast_->Button(pressed)) {
      Fail("GNOME refused a click through its remote desktop.");
      return false;
    }
  }
  return true;
}

// GNOME's cast tells nothing of the buttons.
bool GnomePointer::AnyButtonHeld() { return Fallen() && fallback_->AnyButtonHeld(); }

bool GnomePointer::ReadEveryTick() const { return Fallen() && fallback_->ReadEveryTick(); }

bool GnomePointer::OnScreen(std::int32_t x, std::int32_t y) const {
  if (Fallen()) return fallback_->OnScreen(x, y);
  const std::vector<Monitor>& monitors = cast_ ? cast_->Monitors() : monitors_;
  return monitors.empty() || MonitorHolding(monitors, x, y).has_value();
}

void GnomePointer::FollowContinuously() { following_ = true; }

void GnomePointer::BeginSequence() {
  if (Fallen()) return fallback_->BeginSequence();
  native_sequence_ = (cast_ && cast_input_) || Open(true);
}

void GnomePointer::EndSequence() {
  if (!native_sequence_) return fallback_->EndSequence();
  native_sequence_ = false;
  moved_ = false;
  // Closed at once: GNOME shows its indicator for as long as a cast runs.
  if (!following_) cast_.reset();
}

std::string GnomePointer::Route() const {
  if (failure_) {
    return *failure_ + " Until the program starts again, only X11 windows are seen and clicked.";
  }
  return "Native Wayland windows are reached through GNOME's remote desktop and screen cast; "
         "GNOME shows its screen-sharing indicator while the clicks run.";
}

}  // namespace shared::gnome
