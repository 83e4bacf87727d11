// Our pointer header first: <windows.h> defines the MOUSEEVENTF_ names as macros.
#include "../system_pointer.hpp"

#include <windows.h>

#include <optional>

#include "primary_button.hpp"

static_assert(MOUSEEVENTF_LEFTDOWN == 2 && MOUSEEVENTF_LEFTUP == 4);
static_assert(shared::win32::kLeftDownFlag == MOUSEEVENTF_LEFTDOWN &&
              shared::win32::kLeftUpFlag == MOUSEEVENTF_LEFTUP &&
              shared::win32::kRightDownFlag == MOUSEEVENTF_RIGHTDOWN &&
              shared::win32::kRightUpFlag == MOUSEEVENTF_RIGHTUP);

namespace shared {
namespace {

// The integrity level of a process (a SECURITY_MANDATORY_*_RID), read from its token's
// TokenIntegrityLevel ("GetTokenInformation function (securitybaseapi.h)" and
// "TOKEN_MANDATORY_LABEL structure", Microsoft Learn); nothing when it can't be read.
std::optional<DWORD> IntegrityLevel(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return std::nullopt;
  std::optional<DWORD> level;
  alignas(TOKEN_MANDATORY_LABEL) unsigned char
      buffer[sizeof(TOKEN_MANDATORY_LABEL) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  if (GetTokenInformation(token, TokenIntegrityLevel, buffer, sizeof(buffer), &size)) {
    const PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer)->Label.Sid;
    const UCHAR count = *GetSidSubAuthorityCount(sid);
    if (count > 0) level = *GetSidSubAuthority(sid, count - 1u);
  }
  CloseHandle(token);
  return level;
}

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
    // means the key is down now. It returns 0 when the call fails, which looks like no button:
    // when another desktop is active (the pointer can't be read then either, which the watch
    // counts as a lock), and when UIPI keeps this thread from the foreground thread (same page).
    // The second case is told apart before asking: see ForegroundOutOfReach.
    out_of_reach_ = ForegroundOutOfReach();
    if (out_of_reach_) return true;
    for (const int button : {VK_LBUTTON, VK_RBUTTON, VK_MBUTTON, VK_XBUTTON1, VK_XBUTTON2}) {
      if (GetAsyncKeyState(button) & 0x8000) return true;
    }
    return false;
  }

  bool ButtonsOutOfReach() override { return out_of_reach_; }

 private:
  // Whether the foreground window belongs to a process past whose windows this one can't read
  // the buttons: one at a higher integrity level, which is what UIPI goes by ("Mandatory
  // Integrity Control", Microsoft Learn), or one whose level can't be read. An elevated Task
  // Manager or installer in front is the usual case; a drag held there would read as no button.
  // The buttons are then not read another way: the one documented to fail there is
  // GetAsyncKeyState, and a low-level mouse hook's page (LowLevelMouseProc) doesn't say that it
  // sees input bound for such a window. So such a tick counts as one with a button held: the
  // count starts again and no sequence starts or goes on, and the tip says why. Clicks on such a
  // window would be lost: SendInput "is subject to UIPI" and injects only into processes at an
  // equal or lesser integrity level (its page, Microsoft Learn). But a saved point over another
  // window, beside the one in front, would get its clicks: those are held back all the same,
  // since a drag the user holds in the window in front can't be seen. The cost: no clicks while
  // such a window is in front.
  bool ForegroundOutOfReach() const {
    HWND foreground = GetForegroundWindow();
    if (!foreground) return false;  // no foreground thread to be kept from
    DWORD process_id = 0;
    if (!GetWindowThreadProcessId(foreground, &process_id)) return true;
    if (process_id == GetCurrentProcessId()) return false;
    if (!own_level_) return false;  // nothing to compare with: GetAsyncKeyState alone decides
    // The least right that lets OpenProcessToken read the token ("OpenProcessToken function",
    // Microsoft Learn); a process that refuses even that counts as out of reach.
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    if (!process) return true;
    const std::optional<DWORD> level = IntegrityLevel(process);
    CloseHandle(process);
    return !level || *level > *own_level_;
  }

  const std::optional<DWORD> own_level_ = IntegrityLevel(GetCurrentProcess());
  bool out_of_reach_ = false;  // as the last AnyButtonHeld found
};

}  // namespace

std::unique_ptr<Pointer> OpenSystemPointer() { return std::make_unique<Win32Pointer>(); }

}  // namespace shared
