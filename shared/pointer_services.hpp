#pragma once

#include <cstdint>

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

  // Asked right after AnyButtonHeld answered true: whether it did because the buttons can't be
  // read past the window in front (Windows: a program run as administrator, or by another
  // account, has it), rather than because one is held.
  virtual bool ButtonsOutOfReach() { return false; }
};

}  // namespace shared
