#pragma once

#include <cstdint>
#include <string>

// The pointer as both programs see it: read it, move it, press and release its left button, and
// tell whether the user holds a button down.
// The names are user32's, so the rules read the same as the Windows calls they end up making.
// Include this header before <windows.h>: user32 defines the flags below as macros.
namespace shared {

// A screen position in physical pixels; origin at the primary screen's top-left corner.
struct POINT {
  std::int32_t x = 0;
  std::int32_t y = 0;
  friend bool operator==(const POINT&, const POINT&) = default;
};

inline constexpr std::uint32_t MOUSEEVENTF_LEFTDOWN = 2;
inline constexpr std::uint32_t MOUSEEVENTF_LEFTUP = 4;

class Pointer {
 public:
  virtual ~Pointer() = default;

  // Fills `point` with the pointer's position. Returns false when the platform refuses to tell
  // (a locked desktop, a lost display); `point` is then left as it was.
  virtual bool GetCursorPos(POINT& point) = 0;

  // Moves the pointer to (x, y); the move is done before the call returns.
  virtual bool SetCursorPos(std::int32_t x, std::int32_t y) = 0;

  // Injects a left press (MOUSEEVENTF_LEFTDOWN) or release (MOUSEEVENTF_LEFTUP) where the pointer
  // is now; dx and dy move nothing since no move flag is ever passed. The event has reached the
  // platform's input queue before the call returns.
  virtual bool mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy,
                           std::uint32_t data, std::uintptr_t extra_info) = 0;

  // True while the user holds any mouse button down (left, right, middle, a side button), as far
  // as the platform shows it. Asked right after GetCursorPos, it may answer from that same read.
  virtual bool AnyButtonHeld() = 0;

  // False where reading the pointer costs more than a tick should spend, and the desktop's idle
  // time tells a still desktop instead (a native Wayland session): the idle watch then reads the
  // pointer only when a round of clicks starts, for the place to return to.
  virtual bool ReadEveryTick() const { return true; }

  // False for a point on no monitor, where a move would not land on it (a native Wayland
  // session refuses such a move). Windows and X11 stop a move at the screen's edge instead.
  virtual bool OnScreen(std::int32_t /*x*/, std::int32_t /*y*/) const { return true; }

  // Asked by a program that reads the pointer many times a second for as long as it runs, so
  // that a platform that must set something up to read it keeps that up.
  virtual void FollowContinuously() {}

  // Told before a round of clicks reads the pointer, and when the round has ended or was cut
  // short, so that a platform that needs a session for its clicks holds one only meanwhile.
  virtual void BeginSequence() {}
  virtual void EndSequence() {}

  // How this pointer reaches the desktop, in a sentence for the user where it matters (a Wayland
  // session): which windows it reads and clicks, and what is missing for the others. Empty where
  // there is nothing to tell.
  virtual std::string Route() const { return {}; }
  // Asked right after AnyButtonHeld answered true: whether it did because the buttons can't be
  // read past the window in front (Windows: a program run as administrator, or by another
  // account, has it), rather than because one is held.
  virtual bool ButtonsOutOfReach() { return false; }
};

}  // namespace shared
