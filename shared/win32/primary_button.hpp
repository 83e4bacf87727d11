#pragma once

#include <cstdint>

// Windows injects button events for the physical buttons: with the buttons swapped for the left
// hand (SM_SWAPBUTTON), an injected left press reaches applications as a secondary (right)
// press. The rules ask for the primary button under the left-button names, so the Windows pointer
// swaps the flags back while the swap is on. No <windows.h> here, so the unit tests call this
// natively too.
namespace shared::win32 {

inline constexpr std::uint32_t kLeftDownFlag = 0x0002;
inline constexpr std::uint32_t kLeftUpFlag = 0x0004;
inline constexpr std::uint32_t kRightDownFlag = 0x0008;
inline constexpr std::uint32_t kRightUpFlag = 0x0010;

// The mouse_event flags that press or release the primary button for `flags`, which name the
// left button: the right-button flags in their place while `buttons_swapped`. Other flags stay.
constexpr std::uint32_t PrimaryButtonFlags(std::uint32_t flags, bool buttons_swapped) {
  if (!buttons_swapped) return flags;
  const std::uint32_t rest = flags & ~(kLeftDownFlag | kLeftUpFlag);
  return rest | ((flags & kLeftDownFlag) ? kRightDownFlag : 0) |
         ((flags & kLeftUpFlag) ? kRightUpFlag : 0);
}

}  // namespace shared::win32
