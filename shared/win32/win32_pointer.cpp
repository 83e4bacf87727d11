// Our pointer header first: <windows.h> defines the MOUSEEVENTF_ names as macros.
#include "../system_pointer.hpp"

#include <windows.h>

static_assert(MOUSEEVENTF_LEFTDOWN == 2 && MOUSEEVENTF_LEFTUP == 4);

namespace shared {
namespace {

// user32's pointer. Coordinates are physical pixels: the programs declare per-monitor DPI
// awareness, so no scaling stands between these calls and the screen.
class Win32Pointer final : public Pointer {
 public:
  bool GetCursorPos(POINT& point) override {
    ::POINT position{};
    // Fails while the desktop is locked or a secure prompt holds the input.
    if (!::GetCursorPos(&position)) return false;
    point = {position.x, position.y};
    return true;
  }

  bool SetCursorPos(std::int32_t x, std::int32_t y) override { return ::SetCursorPos(x, y) != 0; }

  bool mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                   std::uintptr_t extra_info) override {
    // mouse_event has no result; SendInput, which it stands for, tells whether UIPI let the
    // input through, but the callers never look either way.
    ::mouse_event(flags, static_cast<DWORD>(dx), static_cast<DWORD>(dy), data, extra_info);
    return true;
  }
};

}  // namespace

std::unique_ptr<Pointer> OpenSystemPointer() { return std::make_unique<Win32Pointer>(); }

}  // namespace shared
