#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../../pointer_services.hpp"
#include "monitor_streams.hpp"

// GNOME offers no Wayland protocol for another program's input, but its remote desktop and
// screen cast, on the session bus, move and click the pointer and tell where it is. A cast shows
// GNOME's screen-sharing indicator, so the pointer holds one only for a round of clicks, or for
// the life of a program that follows the pointer all along (Sightrel).
namespace shared::gnome {

using Clock = std::chrono::steady_clock;

// A screen cast of every monitor, with the remote desktop's input where asked for. Ended at once
// when destroyed.
class Cast {
 public:
  virtual ~Cast() = default;

  // The monitors, each with its stream, in the layout's coordinates.
  virtual const std::vector<Monitor>& Monitors() const = 0;

  struct Reading {
    // Whether any stream has sent a frame yet; until one has, nothing is known.
    bool started = false;
    // The monitor whose stream shows the pointer, and its place in that stream; nothing while
    // the pointer is hidden.
    std::optional<std::size_t> monitor;
    std::int32_t x = 0;
    std::int32_t y = 0;
  };
  // What the streams have sent; waits, until `deadline` at most, only while none has started.
  virtual Reading Cursor(Clock::time_point deadline) = 0;

  // Input through the remote desktop: false where it was refused (or the cast has none).
  virtual bool Move(const Monitor& monitor, StreamPoint at) = 0;
  virtual bool Button(bool pressed) = 0;
};

class Caster {
 public:
  virtual ~Caster() = default;
  // Opens a cast, with input or without; null, with `failure` set to a sentence for the user,
  // where GNOME or PipeWire refuses.
  virtual std::unique_ptr<Cast> Open(bool input, std::string& failure) = 0;
};

// The pointer through GNOME's cast. After a failure it is the X11 pointer (`fallback`) for the
// rest of the run, and says why on the tip and through `report`; a round of clicks that was under
// way when it failed clicks nothing more.
class GnomePointer final : public Pointer {
 public:
  GnomePointer(std::unique_ptr<Caster> caster, std::unique_ptr<Pointer> fallback,
               std::function<void(const std::string&)> report);

  bool GetCursorPos(POINT& point) override;
  bool SetCursorPos(std::int32_t x, std::int32_t y) override;
  bool mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                   std::uintptr_t extra_info) override;
  bool AnyButtonHeld() override;
  bool ReadEveryTick() const override;
  bool OnScreen(std::int32_t x, std::int32_t y) const override;
  void FollowContinuously() override;
  void BeginSequence() override;
  void EndSequence() override;
  std::string Route() const override;

  // A cast whose streams have sent nothing this long after it opened counts as a failure.
  static constexpr std::chrono::milliseconds kStartLimit{1000};

 private:
  bool Open(bool input);
  void Fail(std::string failure);
  // Whether calls now go to the X11 pointer: after a failure, except in a round of clicks that
  // began on GNOME's cast, which then clicks nothing more.
  bool Fallen() const { return failure_ && !native_sequence_; }

  std::unique_ptr<Caster> caster_;
  std::unique_ptr<Pointer> fallback_;
  std::function<void(const std::string&)> report_;
  std::unique_ptr<Cast> cast_;
  bool cast_input_ = false;
  Clock::time_point opened_{};
  // The monitors of the last cast, for a point asked about while none is open.
  std::vector<Monitor> monitors_;
  std::optional<std::string> failure_;
  bool following_ = false;
  bool native_sequence_ = false;
  bool moved_ = false;
};

}  // namespace shared::gnome
