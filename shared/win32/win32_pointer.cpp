// Our pointer header first: <windows.h> defines the MOUSEEVENTF_ names as macros.
#include "../system_pointer.hpp"

#include <windows.h>

#include "primary_button.hpp"

static_assert(MOUSEEVENTF_LEFTDOWN == 2 && MOUSEEVENTF_LEFTUP == 4);
static_assert(shared::win32::kLeftDownFlag == MOUSEEVENTF_LEFTDOWN &&
              shared::win32::kLeftUpFlag == MOUSEEVENTF_LEFTUP &&
              shared::win32::kRightDownFlag == MOUSEEVENTF_RIGHTDOWN &&
              shared::win32::kRightUpFlag == MOUSEEVENTF_RIGHTUP);

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

  bool SetCursorPos(std::int32_t x, std::int32_t y) override {
    if (!::SetCursorPos(x, y)) return false;
    // A move onto a monitor of another size or scale can land off the point on the first call;
    // the second lands. A point off every screen reads back clamped, and the second call lands
    // on the same clamped pixel, which does no harm.
    ::POINT landed{};
    if (::GetCursorPos(&landed) && (landed.x != x || landed.y != y)) {
      return ::SetCursorPos(x, y) != 0;
    }
    return true;
  }

  bool mouse_event(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::uint32_t data,
                   std::uintptr_t extra_info) override {
    // Read at each event: the user may swap the buttons while the program runs.
    const bool swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
    // mouse_event returns nothing. Neither SendInput's result, which it stands for, nor
    // GetLastError shows input that UIPI blocked on its way to a more privileged window, so
    // there is nothing to check.
    ::mouse_event(win32::PrimaryButtonFlags(flags, swapped), static_cast<DWORD>(dx),
                  static_cast<DWORD>(dy), data, extra_info);
    return true;
  }

  bool AnyButtonHeld() override {
    // "GetAsyncKeyState ... checks on the state of the physical mouse buttons, not on the
    // logical mouse buttons that the physical buttons are mapped to" (GetAsyncKeyState, Remarks,
    // Microsoft Learn), so swapped buttons change nothing here; the most significant bit set
    // means the key is down now. It returns 0, read as not held, when the call fails: another
    // desktop is active, or UIPI or the desktop's access rights keep the foreground thread's
    // state from this one.
    for (const int button : {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2}) {
      if (GetAsyncKeyState(button) & 0x8000) return true;
    }
    return false;
  }
};

}  // namespace

std::unique_ptr<Pointer> OpenSystemPointer() { return std::make_unique<Win32Pointer>(); }

}  // namespace shared
